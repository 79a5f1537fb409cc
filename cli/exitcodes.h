// SPDX-License-Identifier: MIT
#pragma once

// What every part of the command line shares: where it runs and what its exit codes mean.

class I2cBusBackend;

// What the command line knows about where it runs.
struct CliEnvironment {
    bool stderrIsTerminal = false;  // the read progress bar is drawn only on a terminal
    I2cBusBackend* buses =
        nullptr;  // the i2c-dev that --bus and the kernel's path use; null: the system's
};

namespace ExitCode {
constexpr int Done = 0;
constexpr int Failure = 1;  // a device, transfer or verify failure
constexpr int Usage = 2;    // bad usage or bad input
// check and diff answer as diff(1) does: 0 clean or alike, 1 findings or differences, 2 trouble
// (bad usage or input, a device or transfer failure).
constexpr int Findings = 1;
constexpr int Trouble = 2;
}  // namespace ExitCode
