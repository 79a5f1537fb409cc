// SPDX-License-Identifier: MIT
#pragma once

#include <QStringList>

class QTextStream;
class UsbBackend;

// What the command line knows about where it runs.
struct CliEnvironment {
    bool stderrIsTerminal = false;  // the read progress bar is drawn only on a terminal
};

namespace ExitCode {
constexpr int Done = 0;
constexpr int Failure = 1;  // a device, transfer or verify failure
constexpr int Usage = 2;    // bad usage or bad input
}  // namespace ExitCode

// Runs one vantrel-cli command line (arguments[0] is the program) on `usb` and returns the exit
// code. Results go to `out`; errors to `err` as one line starting "Error: ".
int runCli(const QStringList& arguments, UsbBackend& usb, QTextStream& out, QTextStream& err,
           const CliEnvironment& env);
