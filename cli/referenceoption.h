// SPDX-License-Identifier: MIT
#pragma once

#include "cli/context.h"

#include <QCommandLineParser>

#include <optional>

// --ref and --extended: the reference frequency and the PLL range that frequencies, warnings and
// saved files use.
struct ReferenceSettings {
    double hz = 10000000;  // the window's start-up reference
    bool extended = false;
};

// The window's reference box takes whole hertz from 1 MHz to 200 MHz.
constexpr double LowestReference = 1000000;
constexpr double HighestReference = 200000000;

void addReferenceOptions(QCommandLineParser& parser);
std::optional<int> readReferenceOptions(const QCommandLineParser& parser, const CliContext& cli,
                                        ReferenceSettings& settings);
