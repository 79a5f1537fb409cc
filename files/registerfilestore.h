// SPDX-License-Identifier: MIT
#pragma once

#include "files/registerfile.h"

#include <QString>

// Register files on disk by name. Reading one is readRegisterFileAt (files/registerfile.h).

// Whether `path` may be replaced by a register file: it does not exist, or it holds one that the
// codec accepts. Anything else is someone's other data and is never overwritten.
bool mayReplaceWithRegisterFile(const QString& path, QString& reason);

// Writes a register file in place of `path`. The file is replaced only by a complete new one, so
// a failure at any step leaves an earlier file as it was; `reason` then says why.
bool saveRegisterFileAt(const QString& path, const RegisterFileContents& contents, QString& reason);
