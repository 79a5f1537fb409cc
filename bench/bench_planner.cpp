// SPDX-License-Identifier: MIT
// Times the planner on the requests that make it work hardest, and on typical ones: the wall
// time of a plan (median and slowest of five) and the CPU time of the median one.
//
// The PLL settings it walks grow with the Q that keep the comparison frequency at 250 kHz or
// more and with the P span of the grade's range: most at a crystal near 30 MHz on a commercial
// part. What each setting costs grows with the worst error of the best plan, since a bank setting
// counts while it serves an output within that error: six unrelated targets that no PLL serves
// well at once cost most, and so do targets that crowd the same divider bank.

#include "benchmeasure.h"
#include "frequency/planner.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
struct Case {
    const char* name;
    double reference;
    std::vector<std::pair<int, double>> targets;
    BoardFacts board;
};

const BoardFacts Driven{PartGrade::Commercial, LclkSupply::V3_3, ReferenceKind::DrivenClock};

void run(const Case& c) {
    PlanRequest request;
    request.referenceHz = c.reference;
    request.board = c.board;
    request.current.applyStartupDefaults();
    for (const auto& [output, hz] : c.targets)
        request.targets[std::size_t(output)] = {true, hz, std::nullopt};
    constexpr int Rounds = 5;
    std::vector<double> wallMs;
    std::vector<double> cpuMs;
    Plan plan;
    for (int round = 0; round < Rounds; ++round) {
        const bench::Stopwatch watch;
        plan = planOutputs(request);
        wallMs.push_back(watch.wall() * 1e3);
        cpuMs.push_back(watch.cpu() * 1e3);
    }
    std::sort(wallMs.begin(), wallMs.end());
    std::sort(cpuMs.begin(), cpuMs.end());
    std::printf(
        "%-62s settings %6lld  worst %10.3f ppm  wall %7.1f ms (slowest %7.1f)  CPU %7.1f "
        "ms\n",
        c.name, plan.pllSettingsExamined, plan.worstErrorPpm, wallMs[wallMs.size() / 2],
        wallMs.back(), cpuMs[cpuMs.size() / 2]);
}
}  // namespace

int main() {
    const Case cases[] = {
        // The slowest two found: a random search over a few hundred requests (references 20..133
        // MHz, four to six targets, spread, crowded or below what the PLL reaches) found none
        // slower.
        {"slowest: 27 MHz crystal, six targets, two below the PLL's reach",
         27e6,
         {{0, 3100920}, {1, 118008110}, {2, 120820}, {3, 9574645}, {4, 136250343}, {5, 575089}},
         {}},
        {"slowest: 20 MHz crystal, six crowded targets",
         20e6,
         {{0, 5018303}, {1, 3972942}, {2, 4519097}, {3, 4226622}, {4, 3568305}, {5, 5114063}},
         {}},
        {"29.4912 MHz crystal, six crowded targets",
         29491200,
         {{0, 10e6}, {1, 10.5e6}, {2, 11e6}, {3, 11.5e6}, {4, 12e6}, {5, 12.5e6}},
         {}},
        {"30 MHz crystal, six unrelated targets",
         30e6,
         {{0, 25e6}, {1, 33.333e6}, {2, 48e6}, {3, 14.31818e6}, {4, 27e6}, {5, 12.288e6}},
         {}},
        {"133 MHz driven clock, six unrelated targets",
         133e6,
         {{0, 25e6}, {1, 33.333e6}, {2, 48e6}, {3, 14.31818e6}, {4, 27e6}, {5, 12.288e6}},
         Driven},
        {"25 MHz crystal, three targets two banks cannot serve",
         25e6,
         {{0, 33.333e6}, {2, 48e6}, {3, 14.31818e6}},
         {}},
        {"typical: 25 MHz crystal, 100 + 33.333 + 25 + 12.5 MHz",
         25e6,
         {{0, 100e6}, {1, 33.333e6}, {4, 25e6}, {5, 12.5e6}},
         {}},
        {"typical: 27 MHz crystal, 74.25 MHz", 27e6, {{0, 74.25e6}}, {}},
        {"typical: 10 MHz crystal, 25 MHz + 20 MHz (exact)", 10e6, {{0, 25e6}, {1, 20e6}}, {}},
        {"typical: 14.31818 MHz crystal, 48 + 12 + 3.6864 MHz",
         14318180,
         {{0, 48e6}, {1, 12e6}, {5, 3.6864e6}},
         {}},
    };
    for (const Case& c : cases)
        run(c);
    return 0;
}
