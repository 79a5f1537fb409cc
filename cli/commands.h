// SPDX-License-Identifier: MIT
#pragma once

#include "cli/context.h"

#include <QStringList>

// The subcommands. Each takes its arguments with the command name first and returns the exit
// code.
int runListCommand(const QStringList& arguments, const CliContext& cli);
int runReadCommand(const QStringList& arguments, const CliContext& cli);
int runWriteCommand(const QStringList& arguments, const CliContext& cli);
int runShowCommand(const QStringList& arguments, const CliContext& cli);
int runExportCommand(const QStringList& arguments, const CliContext& cli);
int runSolveCommand(const QStringList& arguments, const CliContext& cli);
int runCheckCommand(const QStringList& arguments, const CliContext& cli);
int runPlanCommand(const QStringList& arguments, const CliContext& cli);
int runDiffCommand(const QStringList& arguments, const CliContext& cli);
int runGetCommand(const QStringList& arguments, const CliContext& cli);
int runSetCommand(const QStringList& arguments, const CliContext& cli);
