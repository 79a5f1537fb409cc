// SPDX-License-Identifier: MIT
#pragma once

#include "cli/context.h"
#include "frequency/chiprules.h"

#include <QCommandLineParser>

#include <optional>

// --grade commercial|industrial, --supply 3.3|2.5 and --driven: the board facts that the chip's
// rules need and the registers do not hold. Without them: commercial, 3.3 V, a crystal.
void addBoardOptions(QCommandLineParser& parser);
// Reads them after parsing; an unknown value is a usage error (its exit code is returned).
std::optional<int> readBoardOptions(const QCommandLineParser& parser, const CliContext& cli,
                                    BoardFacts& board);
