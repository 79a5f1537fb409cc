// SPDX-License-Identifier: MIT
#pragma once

#include "cli/context.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <optional>

// Parsing of a command's arguments and of the values of its options.

// Parses `arguments` (the command name first) with `parser`, which gets a --help option here.
// Returns std::nullopt when the command may go on; otherwise the exit code, after printing the
// help or the error.
std::optional<int> parseCommand(QCommandLineParser& parser, const QString& usage,
                                const QStringList& arguments, const CliContext& cli);

// A frequency as every frequency option and argument takes it (frequency/typedfrequency): hertz,
// a positive finite number, with an optional k (kHz, also K) or M (MHz) right after it: "25M",
// "14.31818M", "100k", "48000000". A result within a millionth of a hertz of whole hertz is that
// whole number.
std::optional<double> parseFrequency(const QString& text);
// The same; the name plan has used.
std::optional<double> parseScaledFrequency(const QString& text);
// An I2C address as the window offers them: "0x00" .. "0x7F".
std::optional<quint8> parseI2cAddress7(const QString& text);
// "BUS:DEV", both decimal.
struct BusDevice {
    int bus = 0;
    int device = 0;
};
std::optional<BusDevice> parseBusDevice(const QString& text);
// A non-negative decimal integer.
std::optional<int> parseCount(const QString& text);
// A byte as i2cset takes a register or a value: hexadecimal "0x00".."0xFF" or decimal 0..255
// (without a leading zero, which i2cset would read as octal).
std::optional<quint8> parseByte(const QString& text);
