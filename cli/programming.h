// SPDX-License-Identifier: MIT
#pragma once

#include "cli/adapters.h"
#include "cli/context.h"
#include "frequency/chiprules.h"
#include "registers/registerimage.h"
#include "usb/i2ctinyusb.h"

#include <functional>
#include <optional>

// Writes a configuration to the open adapter in the safe order and, with `verify`, reads the chip
// back and compares. With `listDifferences` (not while --json keeps stdout for its document),
// differences are listed on out, one register a line. Returns true on success, else false with
// the "Error: " line in `error`.
bool programChip(AdapterConnection& c, const RegisterImage& image, bool verify,
                 bool listDifferences, const CliContext& cli, QString& error);

// How a command that programs the chip from what it holds (solve --write, plan --write) runs.
struct ProgramFromChip {
    bool verify = true;
    bool force = false;  // --force: program even a configuration that breaks the chip's rules
    bool json = false;   // stdout keeps the document: no difference lines, no findings on stderr
    double referenceHz = 0;
    BoardFacts board;
    QTextStream* programmedNote = nullptr;  // where "Programmed the chip." goes; null: nowhere
};

// Reads the chip on the chosen adapter, lets `change` turn what it holds into the configuration to
// write (an exit code from `change` stops the run with nothing written; it has reported why),
// refuses a configuration that breaks the chip's rules unless forced, and programs the rest as
// write does. Returns the exit code.
using ConfigurationChange = std::function<std::optional<int>(RegisterImage&)>;
int programFromChip(const CliContext& cli, const AdapterOptions& adapters,
                    const ProgramFromChip& how, const ConfigurationChange& change);
