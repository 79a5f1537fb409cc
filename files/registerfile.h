// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtGlobal>

#include <array>

class QByteArray;
class QIODevice;

// One register file: the whole register image with the frequency settings of the window.
// On disk it is 304 bytes, big-endian, without header: the register block as a byte array
// (32-bit length 256, then the bytes), fRef, the option flags, the numbers of leF1 and leF2,
// and the solver's two targets; doubles are 8-byte IEEE 754 values.
struct RegisterFileContents {
    std::array<quint8, 256> registers{};
    double fRef = 0;      // Hz
    qint32 flags = 0;     // RegisterFileFlag bits
    double f1Number = 0;  // the number in the text of leF1
    double f2Number = 0;  // the number in the text of leF2
    double targetF1 = 0;  // the solver's own targets
    double targetF2 = 0;
};

namespace RegisterFileFlag {
constexpr qint32 PllExtended = 8;  // cbPLL_extend
constexpr qint32 F1Preferred = 4;  // cbF1_pref
constexpr qint32 F2Preferred = 2;  // cbF2_pref
constexpr qint32 F2Enabled = 1;    // cbF2_enable
}  // namespace RegisterFileFlag

constexpr int RegisterFileSize = 304;
// The largest file that is read at all: far above the 304 bytes Vantrel writes, so that a file
// whose register block is longer still loads, and small enough to read at once.
constexpr qint64 RegisterFileMaxSize = 65536;
constexpr char RegisterFileExtension[] = ".cy22150.bin";

// The 304 bytes of the file.
QByteArray encodeRegisterFile(const RegisterFileContents& contents);

// Reads a file from an open device. A file that is incomplete or holds numbers the window cannot
// apply (among them a reference frequency outside ReferenceMinimumHz..ReferenceMaximumHz) is
// refused: the result is false and `reason` says why in words for the status bar; `contents` is
// then left as it was. A reference with a fraction of a hertz comes back truncated to whole
// hertz, as the window's reference box takes it.
bool readRegisterFile(QIODevice& device, RegisterFileContents& contents, QString& reason);
bool decodeRegisterFile(const QByteArray& bytes, RegisterFileContents& contents, QString& reason);

// Reads the register file at `path` (symbolic links followed) as readRegisterFile does. Anything
// that is not a regular file (a directory, a FIFO, a device) is refused before it is opened, and
// so is a file larger than RegisterFileMaxSize; no more than that is ever read. On failure the
// result is false, `reason` says why in words (QFile's errorString when the file cannot be
// opened or read) and `contents` is left as it was.
bool readRegisterFileAt(const QString& path, RegisterFileContents& contents, QString& reason);

// The number in the text of a target field: surrounding white space is ignored, and a text that
// is not a finite number gives 0.
double targetFieldNumber(const QString& text);
