// SPDX-License-Identifier: MIT
#pragma once

#include "frequency/frequencymodel.h"
#include "registers/registerimage.h"

// The exhaustive search for the settings that come closest to the targets: every PLL setting
// (Q 2..129 with a comparison frequency of at least 250 kHz, P 8..2055, the PLL within the
// range), both divider sources, every divider, and every crosspoint route for LCLK1 and LCLK2.
// The F1 error is minimised first, then the F2 error; among equal errors a PLL setting without
// a charge-pump warning and within the normal range wins, then the lowest Q and P.

struct OptimalInputs {
    double reference = 0;  // Hz
    double targetF1 = 0;
    double targetF2 = 0;
    bool f2Enabled = false;  // false: LCLK2 is left alone
    PllRange range = NormalPllRange;
};

// One divider bank (DIV1 or DIV2) as the solution sets it; an unused bank is left alone.
struct DividerBank {
    bool used = false;
    bool fromReference = false;
    int n = 0;  // DIVxN
};

struct OptimalSettings {
    bool found = false;  // false only when no PLL setting is valid for the reference
    int pTotal = 0;
    int qTotal = 0;
    DividerBank div1;
    DividerBank div2;
    int code1 = 0;   // crosspoint code of LCLK1
    int code2 = -1;  // crosspoint code of LCLK2, -1 while F2 is disabled
    double pll = 0;  // Hz
    double f1 = 0;   // achieved frequencies and their errors, Hz
    double f2 = 0;
    double error1 = 0;
    double error2 = 0;
    int pllSettings = 0;  // distinct PLL settings examined
};

OptimalSettings solveOptimal(const OptimalInputs& inputs);

// Puts the settings into the image: PLL, charge pump, the used divider banks and the LCLK1 (and
// LCLK2) crosspoints; everything else is kept.
void applyOptimalSettings(const OptimalSettings& settings, RegisterImage& image);
