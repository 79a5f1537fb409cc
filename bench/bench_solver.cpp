// SPDX-License-Identifier: MIT
// Times the divider search on the inputs that make it walk longest.
//
// The walk makes about 425 MHz * Q / reference passes per Q in the extended range, summed up to
// Qmax = reference / 250 kHz (at most 129). That grows with the reference until Qmax reaches
// 129 at 32.25 MHz, and shrinks beyond. Targets that are never hit exactly, with F2 enabled,
// keep every pass busy with two dividers and the weighted error.

#include "frequency/frequencymodel.h"
#include "frequency/solver.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {
struct Case {
    const char* name;
    double reference;
    double f1;
    double f2;
    bool f2Enabled;
    PllRange range;
};

void run(const Case& c) {
    SolverRecord record;
    record.refFrequency = c.reference;
    record.targetF1 = c.f1;
    record.targetF2 = c.f2;
    record.f1Preferred = 1;

    using Clock = std::chrono::steady_clock;
    constexpr int Rounds = 7;
    constexpr int SolvesPerRound = 20;
    std::vector<double> perSolveUs;
    volatile double sink = 0;  // keeps the results alive
    int passes = 0;
    for (int round = 0; round < Rounds; ++round) {
        const auto start = Clock::now();
        for (int i = 0; i < SolvesPerRound; ++i) {
            const SolverRecord result =
                searchDividers(record, c.f2Enabled, c.range.low, c.range.high);
            sink = sink + result.bestError;
            passes = result.iterations;
        }
        const std::chrono::duration<double, std::micro> elapsed = Clock::now() - start;
        perSolveUs.push_back(elapsed.count() / SolvesPerRound);
    }
    std::sort(perSolveUs.begin(), perSolveUs.end());
    std::printf("%-44s passes %7d   median %9.1f us/solve   best %9.1f us/solve\n", c.name, passes,
                perSolveUs[perSolveUs.size() / 2], perSolveUs.front());
}
}  // namespace

int main() {
    const Case cases[] = {
        {"worst: 32.25 MHz ref, extended, F1+F2", 32250000.0, 33333333.3, 7777777.7, true,
         ExtendedPllRange},
        {"worst, no candidate: 32.25 MHz ref, 1 GHz", 32250000.0, 1e9, 1e9, true, ExtendedPllRange},
        {"default: 10 MHz ref, normal, 1 GHz", 10000000.0, 1e9, 0.0, false, NormalPllRange},
        {"default: 10 MHz ref, normal, 100 MHz", 10000000.0, 1e8, 0.0, false, NormalPllRange},
    };
    for (const Case& c : cases)
        run(c);
    return 0;
}
