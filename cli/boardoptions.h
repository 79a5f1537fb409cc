// SPDX-License-Identifier: MIT
#pragma once

#include "cli/context.h"
#include "frequency/chiprules.h"
#include "registers/registerimage.h"

#include <QCommandLineParser>
#include <QStringList>

#include <optional>

// The chip's own rules on the command line: the board facts every checking command takes
// (--grade, --supply, --driven, --board-load), --force for the commands that program the chip, and
// the guard that keeps a configuration the chip cannot run from being written.

// Adds --grade, --supply, --driven and --board-load.
void addBoardOptions(QCommandLineParser& parser);
// Reads them after parsing; an unknown grade or supply is a usage error (its exit code is
// returned).
std::optional<int> readBoardOptions(const QCommandLineParser& parser, const CliContext& cli,
                                    BoardFacts& board);

// Adds --force: program the chip even when the configuration breaks one of its rules; and --log
// FILE (cli/commandlog.h), which every command that programs the chip takes.
void addForceOption(QCommandLineParser& parser);
bool forceGiven(const QCommandLineParser& parser);

// The findings as a section of a configuration's description: "Chip rules:" and one line per
// finding, or "Chip rules: no findings".
QStringList describeFindings(const Findings& findings);

// Checks `image` and puts each finding on `stream`, one line each; returns the findings.
Findings reportFindings(const RegisterImage& image, double referenceHz, const BoardFacts& board,
                        QTextStream& stream);

// Before anything is written: the findings of `image` for the reference and the board go to
// stderr, one line each. With an error among them and without `force`, the configuration is
// refused: the "Error: " line follows and the exit code is returned, and the caller writes
// nothing. Otherwise returns std::nullopt and the caller may write. Under --json the findings
// go into the document instead (listFindings false), so that stderr holds the error line alone.
std::optional<int> refuseBrokenRules(const RegisterImage& image, double referenceHz,
                                     const BoardFacts& board, bool force, const CliContext& cli,
                                     bool listFindings = true);
