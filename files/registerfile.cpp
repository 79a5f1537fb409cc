// SPDX-License-Identifier: MIT
#include "files/registerfile.h"

#include "frequency/frequencymodel.h"

#include <QBuffer>
#include <QByteArray>
#include <QDataStream>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <cmath>
#include <limits>

namespace {
constexpr int BlockSize = 256;
// A byte-array length of all ones is the stream's encoding of a null array, i.e. no bytes.
constexpr quint32 NullArrayLength = 0xFFFFFFFF;

// The layout is fixed, so the stream's encodings are pinned rather than left to the Qt version
// that happens to build the tool.
void pinLayout(QDataStream& stream) {
    stream.setVersion(QDataStream::Qt_6_0);
    stream.setByteOrder(QDataStream::BigEndian);
    stream.setFloatingPointPrecision(QDataStream::DoublePrecision);
}

// Skips the part of an over-long register block without holding it in memory.
bool skipBytes(QDataStream& in, quint64 count) {
    while (count > 0) {
        const int step = int(std::min<quint64>(count, std::numeric_limits<int>::max()));
        if (in.skipRawData(step) != step)
            return false;
        count -= quint64(step);
    }
    return true;
}

QString hertz(double value) {
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QString notFinite(const char* what) {
    return QStringLiteral("the %1 is not a finite number").arg(QLatin1String(what));
}

QString endsEarly() {
    return QStringLiteral("the file ends before its last field");
}

// Checks the numbers that the window applies; empty when they are all usable.
QString unusableNumber(const RegisterFileContents& c) {
    if (!std::isfinite(c.fRef))
        return notFinite("reference frequency");
    // sbFreference shows whole hertz within its range; a value outside it could not be shown.
    if (c.fRef < ReferenceMinimumHz || c.fRef > ReferenceMaximumHz)
        return QStringLiteral("the reference frequency %1 Hz is out of range").arg(hertz(c.fRef));
    if (!std::isfinite(c.f1Number))
        return notFinite("F1 frequency");
    if (!std::isfinite(c.f2Number))
        return notFinite("F2 frequency");
    if (!std::isfinite(c.targetF1))
        return notFinite("F1 target");
    if (!std::isfinite(c.targetF2))
        return notFinite("F2 target");
    return {};
}

// The stream writes into memory; the caller puts the bytes on disk.
void writeFields(QIODevice& device, const RegisterFileContents& contents) {
    QDataStream out(&device);
    pinLayout(out);
    const QByteArray block(reinterpret_cast<const char*>(contents.registers.data()), BlockSize);
    out << block << contents.fRef << contents.flags << contents.f1Number << contents.f2Number
        << contents.targetF1 << contents.targetF2;
}
}  // namespace

QByteArray encodeRegisterFile(const RegisterFileContents& contents) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    writeFields(buffer, contents);
    return bytes;
}

bool readRegisterFile(QIODevice& device, RegisterFileContents& contents, QString& reason) {
    QDataStream in(&device);
    pinLayout(in);

    // The register block is read by hand instead of as a byte array, so that a hostile length
    // never makes us allocate more than the 256 bytes that are used.
    quint32 length = 0;
    in >> length;
    if (in.status() != QDataStream::Ok) {
        reason = endsEarly();
        return false;
    }
    if (length == NullArrayLength)
        length = 0;
    if (length < BlockSize) {
        reason = QStringLiteral("the register block holds only %1 bytes instead of %2")
                     .arg(length)
                     .arg(BlockSize);
        return false;
    }
    RegisterFileContents read;
    if (in.readRawData(reinterpret_cast<char*>(read.registers.data()), BlockSize) != BlockSize ||
        !skipBytes(in, length - BlockSize)) {
        reason = endsEarly();
        return false;
    }

    in >> read.fRef >> read.flags >> read.f1Number >> read.f2Number >> read.targetF1 >>
        read.targetF2;
    if (in.status() != QDataStream::Ok) {
        reason = endsEarly();
        return false;
    }
    reason = unusableNumber(read);
    if (!reason.isEmpty())
        return false;
    // The window takes the reference as sbFreference shows it, in whole hertz: a fraction is
    // dropped here, once, so that no part of the program keeps a value the box does not show.
    read.fRef = std::trunc(read.fRef);
    contents = read;
    return true;
}

bool readRegisterFileAt(const QString& path, RegisterFileContents& contents, QString& reason) {
    // QFile would warn on stderr about a missing name before it failed.
    if (path.isEmpty()) {
        reason = QStringLiteral("the file name is empty");
        return false;
    }
    // Checked before the open: opening a FIFO for reading waits for a writer.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        reason = QStringLiteral("it is not a regular file");
        return false;
    }
    if (info.size() > RegisterFileMaxSize) {
        reason =
            QStringLiteral("it is %1 bytes long, longer than a register file can be (%2 bytes)")
                .arg(info.size())
                .arg(RegisterFileMaxSize);
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        reason = file.errorString();
        return false;
    }
    // Bounded even if the file has grown since it was looked at.
    const QByteArray bytes = file.read(RegisterFileMaxSize + 1);
    if (file.error() != QFileDevice::NoError) {
        reason = file.errorString();
        return false;
    }
    if (bytes.size() > RegisterFileMaxSize) {
        reason = QStringLiteral("it is longer than a register file can be (%1 bytes)")
                     .arg(RegisterFileMaxSize);
        return false;
    }
    return decodeRegisterFile(bytes, contents, reason);
}

bool decodeRegisterFile(const QByteArray& bytes, RegisterFileContents& contents, QString& reason) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return readRegisterFile(buffer, contents, reason);
}

double targetFieldNumber(const QString& text) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0.0;
}
