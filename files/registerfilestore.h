#pragma once

#include "files/registerfile.h"

#include <QString>

// Writes a register file in place of `path`. The file is replaced only by a complete new one, so
// a failure at any step leaves an earlier file as it was; `reason` then says why.
bool writeRegisterFile(const QString& path, const RegisterFileContents& contents, QString& reason);
