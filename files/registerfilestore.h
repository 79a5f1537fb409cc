// SPDX-License-Identifier: MIT
#pragma once

#include "files/registerfile.h"

#include <QString>

#include <functional>

// Register files on disk by name. Reading one is readRegisterFileAt (files/registerfile.h).

// Whether `path` may be replaced by a register file: it does not exist, or it holds one that the
// codec accepts. Anything else is someone's other data and is never overwritten.
bool mayReplaceWithRegisterFile(const QString& path, QString& reason);

// Writes a register file in place of `path`. The file is replaced only by a complete new one, so
// a failure at any step leaves an earlier file as it was; `reason` then says why.
// `beforeCommit`, when given, runs after the bytes are written and before the file takes the name:
// the moment an interruption would leave a temporary file beside it.
bool saveRegisterFileAt(const QString& path, const RegisterFileContents& contents, QString& reason,
                        const std::function<void()>& beforeCommit = nullptr);
