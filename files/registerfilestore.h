#pragma once

#include "files/registerfile.h"

#include <QString>

// Register files on disk by name.

// Reads and decodes the file; false with `reason` ("cannot be read: ..." or the codec's reason)
// when it cannot be used.
bool loadRegisterFileAt(const QString& path, RegisterFileContents& contents, QString& reason);

// Whether `path` may be replaced by a register file: it does not exist, or it holds one that
// the codec accepts. Anything else is someone's other data and is never overwritten.
bool mayReplaceWithRegisterFile(const QString& path, QString& reason);

// Replaces the file by a complete new one (written beside it, renamed at the end), so that a
// failure leaves an earlier file as it was.
bool saveRegisterFileAt(const QString& path, const RegisterFileContents& contents, QString& reason);
