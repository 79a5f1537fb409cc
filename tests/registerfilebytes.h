// SPDX-License-Identifier: MIT
#pragma once

#include "files/registerfile.h"

#include <QByteArray>

#include <cstring>

// Register file bytes built and read by hand from the layout, not through QDataStream, so that
// the tests check the codec against an independent construction.
namespace FileBytes {
inline void appendBigEndian(QByteArray& out, quint64 value, int size) {
    for (int i = size - 1; i >= 0; --i)
        out.append(char((value >> (8 * i)) & 0xFF));
}

inline void appendDouble(QByteArray& out, double value) {
    quint64 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    appendBigEndian(out, bits, 8);
}

// The file of `c`; a longer register block carries `blockTail` after the 256 registers.
inline QByteArray encode(const RegisterFileContents& c, quint32 blockLength = 256,
                         const QByteArray& blockTail = {}) {
    QByteArray out;
    appendBigEndian(out, blockLength, 4);
    out.append(reinterpret_cast<const char*>(c.registers.data()), 256);
    out.append(blockTail);
    appendDouble(out, c.fRef);
    appendBigEndian(out, quint32(c.flags), 4);
    appendDouble(out, c.f1Number);
    appendDouble(out, c.f2Number);
    appendDouble(out, c.targetF1);
    appendDouble(out, c.targetF2);
    return out;
}

inline quint64 readBigEndian(const QByteArray& in, int offset, int size) {
    quint64 value = 0;
    for (int i = 0; i < size; ++i)
        value = (value << 8) | quint8(in[offset + i]);
    return value;
}

inline double readDouble(const QByteArray& in, int offset) {
    const quint64 bits = readBigEndian(in, offset, 8);
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}
}  // namespace FileBytes
