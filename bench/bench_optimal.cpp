// SPDX-License-Identifier: MIT
// Times the exhaustive solver on the inputs that make it examine the most PLL settings.
//
// It examines about (high - low) * Q / reference settings for each Q up to
// min(129, reference / 250 kHz): most at a 32.25 MHz reference in the extended range, where Q
// reaches 129 while P still spans the whole range. Targets that are never hit exactly, with F2
// enabled, make every setting evaluate both outputs.

#include "frequency/frequencymodel.h"
#include "frequency/optimalsolver.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {
struct Case {
    const char* name;
    OptimalInputs inputs;
};

void run(const Case& c) {
    using Clock = std::chrono::steady_clock;
    constexpr int Rounds = 5;
    std::vector<double> perSolveMs;
    volatile double sink = 0;  // keeps the results alive
    int settings = 0;
    for (int round = 0; round < Rounds; ++round) {
        const auto start = Clock::now();
        const OptimalSettings result = solveOptimal(c.inputs);
        const std::chrono::duration<double, std::milli> elapsed = Clock::now() - start;
        sink = sink + result.error1;
        settings = result.pllSettings;
        perSolveMs.push_back(elapsed.count());
    }
    std::sort(perSolveMs.begin(), perSolveMs.end());
    std::printf("%-52s settings %7d   median %8.1f ms   worst %8.1f ms\n", c.name, settings,
                perSolveMs[perSolveMs.size() / 2], perSolveMs.back());
}
}  // namespace

int main() {
    const Case cases[] = {
        {"worst: 32.25 MHz ref, extended, F1+F2",
         {32250000, 33333333.3, 7777777.7, true, ExtendedPllRange}},
        {"32.25 MHz ref, extended, F1 only", {32250000, 33333333.3, 0, false, ExtendedPllRange}},
        {"32.25 MHz ref, normal, F1+F2", {32250000, 33333333.3, 7777777.7, true, NormalPllRange}},
        {"10 MHz ref, extended, F1+F2", {10000000, 14318181.8, 3686399.9, true, ExtendedPllRange}},
        {"200 MHz ref, extended, F1+F2",
         {200000000, 66666666.6, 1234567.8, true, ExtendedPllRange}},
        {"1 MHz ref, extended, F1+F2", {1000000, 123456789.0, 98765.4, true, ExtendedPllRange}},
        {"exact: 10 MHz ref, 25 MHz + 20 MHz", {10000000, 25e6, 20e6, true, NormalPllRange}},
    };
    for (const Case& c : cases)
        run(c);
    return 0;
}
