// SPDX-License-Identifier: MIT
#pragma once

#include "frequency/frequencymodel.h"
#include "registers/registerimage.h"

#include <QStringList>

#include <array>

// Everything the chip's registers make of a reference: the PLL, the six outputs and the PLL
// warnings, in the order a front end shows them.
struct FrequencyReadout {
    double fPll = 0;
    std::array<double, OutputCount> outputs{};
    QStringList pllWarnings;
};

// The reference enters the PLL as whole hertz. The divider sources, PB, PO, the Q counter and the
// crosspoints come from the image; div1N and div2N are passed apart, since the window divides by
// its own copies of them.
FrequencyReadout readFrequencies(const RegisterImage& r, double fRef, int div1N, int div2N,
                                 const PllRange& range);
// The same with DIV1N and DIV2N as the image holds them.
FrequencyReadout readFrequencies(const RegisterImage& r, double fRef, const PllRange& range);
