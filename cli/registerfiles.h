// SPDX-License-Identifier: MIT
#pragma once

#include "cli/context.h"
#include "files/registerfile.h"

#include <functional>
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
// SIGINT, SIGTERM and SIGHUP wait while the file is written and takes its name: an interruption
// takes effect once the new file is whole, and no temporary file is left beside it. `beforeCommit`
// is saveRegisterFileAt's.
std::optional<int> saveOutputFile(const QString& path, const CliContext& cli,
                                  const RegisterFileContents& contents,
                                  const std::function<void()>& beforeCommit = nullptr);
