// SPDX-License-Identifier: MIT
#pragma once

#include "cli/context.h"
#include "files/registerfile.h"

#include <optional>

// Register files named on the command line. Each returns std::nullopt when the command may go
// on, otherwise the exit code after the error line.

// Reads an input file; an unreadable or refused file is bad input.
std::optional<int> loadInputFile(const QString& path, const CliContext& cli,
                                 RegisterFileContents& contents);
// The command's one positional argument, a register file, read as loadInputFile does.
std::optional<int> loadFileArgument(const QStringList& positional, const char* command,
                                    const CliContext& cli, RegisterFileContents& contents);
// Checked before anything else happens: an existing file that is not a register file is never
// overwritten.
std::optional<int> checkOutputFile(const QString& path, const CliContext& cli);
std::optional<int> saveOutputFile(const QString& path, const CliContext& cli,
                                  const RegisterFileContents& contents);
