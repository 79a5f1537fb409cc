// SPDX-License-Identifier: MIT
// Times the planner on the requests that make it work hardest, and on typical ones.
//
// The PLL settings it walks grow with the Q that keep the comparison frequency at 250 kHz or
// more and with the P span of the grade's range: most at a crystal near 30 MHz on a commercial
// part. What each setting costs grows with the worst error of the best plan, since a bank setting
// counts while it serves an output within that error: six unrelated targets that no PLL serves
// well at once cost most, and so do targets that crowd the same divider bank.

#include "frequency/planner.h"

#include <algorithm>
#include <chrono>
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
    using Clock = std::chrono::steady_clock;
    PlanRequest request;
    request.referenceHz = c.reference;
    request.board = c.board;
    request.current.applyStartupDefaults();
    for (const auto& [output, hz] : c.targets)
        request.targets[std::size_t(output)] = {true, hz, std::nullopt};
    constexpr int Rounds = 5;
    std::vector<double> perPlanMs;
    Plan plan;
    for (int round = 0; round < Rounds; ++round) {
        const auto start = Clock::now();
        plan = planOutputs(request);
        const std::chrono::duration<double, std::milli> elapsed = Clock::now() - start;
        perPlanMs.push_back(elapsed.count());
    }
    std::sort(perPlanMs.begin(), perPlanMs.end());
    std::printf("%-58s settings %6lld  worst %10.3f ppm  median %8.2f ms  slowest %8.2f ms\n",
                c.name, plan.pllSettingsExamined, plan.worstErrorPpm,
                perPlanMs[perPlanMs.size() / 2], perPlanMs.back());
}
}  // namespace

int main() {
    const Case cases[] = {
        {"worst: 30 MHz crystal, six unrelated targets",
         30e6,
         {{0, 25e6}, {1, 33.333e6}, {2, 48e6}, {3, 14.31818e6}, {4, 27e6}, {5, 12.288e6}},
         {}},
        {"29.4912 MHz crystal, six crowded targets",
         29491200,
         {{0, 10e6}, {1, 10.5e6}, {2, 11e6}, {3, 11.5e6}, {4, 12e6}, {5, 12.5e6}},
         {}},
        {"133 MHz driven clock, six unrelated targets",
         133e6,
         {{0, 25e6}, {1, 33.333e6}, {2, 48e6}, {3, 14.31818e6}, {4, 27e6}, {5, 12.288e6}},
         Driven},
        {"8 MHz crystal, six targets spread wide",
         8e6,
         {{0, 199e6}, {1, 81e3}, {2, 3.579545e6}, {3, 66.666e6}, {4, 1.8432e6}, {5, 150e6}},
         {}},
        {"typical: 25 MHz crystal, 33.333 + 48 + 14.31818 MHz",
         25e6,
         {{0, 33.333e6}, {2, 48e6}, {3, 14.31818e6}},
         {}},
        {"typical: 27 MHz crystal, 74.25 MHz", 27e6, {{0, 74.25e6}}, {}},
        {"typical: 10 MHz crystal, 25 MHz + 20 MHz (exact)", 10e6, {{0, 25e6}, {1, 20e6}}, {}},
        {"typical: 14.31818 MHz crystal, 32.768 kHz * 3 + 48 MHz",
         14318180,
         {{4, 98304}, {5, 48e6}},
         {}},
    };
    for (const Case& c : cases)
        run(c);
    return 0;
}
