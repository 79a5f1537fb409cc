// SPDX-License-Identifier: MIT
#pragma once

#include "cli/exitcodes.h"

#include <QStringList>

class QTextStream;
class UsbBackend;

// Runs one vantrel-cli command line (arguments[0] is the program) on `usb` and returns the exit
// code. Results go to `out`; errors to `err` as one line starting "Error: ".
int runCli(const QStringList& arguments, UsbBackend& usb, QTextStream& out, QTextStream& err,
           const CliEnvironment& env);
