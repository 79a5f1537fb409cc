// SPDX-License-Identifier: MIT
#pragma once

#include "cli/adapters.h"
#include "cli/context.h"
#include "frequency/chiprules.h"
#include "registers/registerimage.h"
#include "usb/i2ctinyusb.h"

#include <functional>
#include <optional>
#include <vector>

// The one path of every command that programs the chip (write, solve --write, plan --write,
// set): choose the adapter (runOnAdapters), refuse a configuration that breaks the chip's rules
// unless forced, write in the safe order and verify (programRegisters, usb/chipprogram), and
// report on the terminal and in the log (--log, cli/commandlog.h): a command that adds
// addForceOption and parses with parseCommand gets the log with this path.

// How a command programs the chip.
struct ProgramFromChip {
    bool verify = true;
    bool force = false;  // --force: program even a configuration that breaks the chip's rules
    bool json = false;   // stdout keeps the document: no difference lines, no findings on stderr
    double referenceHz = 0;
    BoardFacts board;
    QTextStream* programmedNote = nullptr;  // where "Programmed the chip." goes; null: nowhere
    // The registers to write, in this order; empty: the eleven of a configuration, 0x09 last.
    std::vector<quint8> registers;
    QString file;  // the register file written, for the log; empty: the command's request
};

// What a command says once an adapter has been programmed; write names the adapter.
using ProgrammedReport = std::function<void(const AdapterConnection& c, const ListedDevice&)>;

// Programs `image`: refused before any adapter is opened when it breaks the chip's rules (and
// --force is not given), else written on the adapter(s) the options name. `report` runs after
// each adapter that succeeded; null: the programmed note of `how`. Returns the exit code.
int programImage(const CliContext& cli, const AdapterOptions& adapters, const ProgramFromChip& how,
                 const RegisterImage& image, const ProgrammedReport& report = nullptr);

// Reads the chip on the chosen adapter, lets `change` turn what it holds into the configuration to
// write (an exit code from `change` stops the run with nothing written; it has reported why),
// refuses a configuration that breaks the chip's rules unless forced, and programs the rest as
// write does. Returns the exit code.
using ConfigurationChange = std::function<std::optional<int>(RegisterImage&)>;
int programFromChip(const CliContext& cli, const AdapterOptions& adapters,
                    const ProgramFromChip& how, const ConfigurationChange& change);
