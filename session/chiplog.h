// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

// One register the window wrote to the chip, or one that read back wrong after a write.
struct ChipLogEntry {
    enum class Kind { Write, ReadBack };
    Kind kind = Kind::Write;
    QDateTime time;
    QString adapter;  // the adapter as the device list names it
    quint8 i2cAddress = 0x69;
    quint8 address = 0;
    std::optional<quint8> old;  // what the chip was known to hold before; unknown: none
    quint8 value = 0;           // written; for a read-back failure, what was expected
    bool ok = true;
    QString result;  // "ok", the write's error line, or "read back 0xNN"
};

// The chip's traffic of one session, in order: every register written (acknowledged or not) and
// every read-back failure. Plain data; the window shows it and saves it.
class ChipLog {
public:
    // Consecutive entries of one adapter share its name's text: a long session keeps one copy.
    void add(ChipLogEntry entry);
    const std::vector<ChipLogEntry>& entries() const { return entries_; }

    // One line per entry: time, adapter, I2C address, register, old -> new value, result.
    QString text() const;
    // A POSIX shell script that repeats the acknowledged writes with i2c-tools, in their order:
    // "i2cset -y $BUS 0x69 0xRR 0xVV", the I2C bus number being the script's first argument.
    QString shellScript() const;

private:
    std::vector<ChipLogEntry> entries_;
};

// One entry as text() writes it.
QString chipLogLine(const ChipLogEntry& entry);
