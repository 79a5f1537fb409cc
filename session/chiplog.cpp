// SPDX-License-Identifier: MIT
#include "session/chiplog.h"

#include "common/printabletext.h"

namespace {
QString byteText(std::optional<quint8> value) {
    return value ? QString::asprintf("0x%02X", *value) : QStringLiteral("unknown");
}
}  // namespace

QString chipLogLine(const ChipLogEntry& e) {
    const QString what =
        e.kind == ChipLogEntry::Kind::Write ? QStringLiteral("write") : QStringLiteral("read-back");
    return QStringLiteral("%1  %2  %3  %4  %5 -> %6  %7")
        .arg(e.time.toString(Qt::ISODateWithMs), printableText(e.adapter),
             QString::asprintf("I2C 0x%02X", e.i2cAddress),
             what + QString::asprintf(" 0x%02X", e.address), byteText(e.old), byteText(e.value),
             printableText(e.result));
}

void ChipLog::add(ChipLogEntry entry) {
    if (!entries_.empty() && entries_.back().adapter == entry.adapter)
        entry.adapter = entries_.back().adapter;
    entries_.push_back(std::move(entry));
}

QString ChipLog::text() const {
    QString text;
    for (const ChipLogEntry& entry : entries_)
        text += chipLogLine(entry) + QLatin1Char('\n');
    return text;
}

QString ChipLog::shellScript() const {
    QString script = QStringLiteral(
        "#!/bin/sh\n"
        "# The register writes the chip acknowledged, in their order. Usage: sh SCRIPT I2C-BUS\n"
        "set -e\n"
        "BUS=\"${1:?usage: $0 I2C-BUS-NUMBER}\"\n");
    for (const ChipLogEntry& e : entries_) {
        if (e.kind == ChipLogEntry::Kind::Write && e.ok)
            script += QString::asprintf("i2cset -y \"$BUS\" 0x%02X 0x%02X 0x%02X\n", e.i2cAddress,
                                        e.address, e.value);
    }
    return script;
}
