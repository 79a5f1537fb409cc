// SPDX-License-Identifier: MIT
#include "usb/chipprogram.h"

#include "usb/chipreading.h"

namespace {
QString withoutPrefix(const QString& error) {
    return error.startsWith(QLatin1String("Error: ")) ? error.mid(7) : error;
}
}  // namespace

std::optional<QString> writeRegister(AdapterConnection& c, const RegisterImage& image,
                                     quint8 address) {
    if (i2c_write_register(c, c.i2cAddress, address, image[address]) < 0)
        return i2c_error_text(c);
    return std::nullopt;
}

ProgramResult writeConfiguration(AdapterConnection& c, const RegisterImage& image) {
    for (quint8 address : SafeWriteOrder) {
        if (const std::optional<QString> error = writeRegister(c, image, address))
            return {false, address, *error};
    }
    return {};
}

std::vector<RegisterDifference> compareConfiguration(const RegisterImage& expected,
                                                     const RegisterImage& read) {
    std::vector<RegisterDifference> differences;
    for (quint8 address : SafeWriteOrder) {
        if (expected[address] != read[address])
            differences.push_back({address, expected[address], read[address]});
    }
    return differences;
}

QString writeFailureText(quint8 address, const QString& error) {
    return QString::asprintf("Error: writing register 0x%02X failed: ", address) +
           withoutPrefix(error);
}

QString verifyFailureText(std::size_t differing, std::size_t compared) {
    return QStringLiteral("Error: verify failed: %1 of %2 registers differ")
        .arg(differing)
        .arg(compared);
}

ProgramOutcome programRegisters(AdapterConnection& c, const RegisterImage& image,
                                const std::vector<quint8>& registers, bool verify) {
    ProgramOutcome outcome;
    for (quint8 address : registers) {
        if (const std::optional<QString> error = writeRegister(c, image, address)) {
            outcome.error = writeFailureText(address, *error);
            return outcome;
        }
        outcome.written.push_back(address);
    }
    if (!verify) {
        outcome.ok = true;
        return outcome;
    }
    RegisterImage readBack;
    if (!readWholeChip(c, readBack, "reading back", outcome.error))
        return outcome;
    for (quint8 address : registers) {
        if (image[address] != readBack[address])
            outcome.differences.push_back({address, image[address], readBack[address]});
    }
    if (!outcome.differences.empty()) {
        outcome.error = verifyFailureText(outcome.differences.size(), registers.size());
        return outcome;
    }
    outcome.ok = outcome.verified = true;
    return outcome;
}

ProgramOutcome programConfiguration(AdapterConnection& c, const RegisterImage& image, bool verify) {
    return programRegisters(
        c, image, std::vector<quint8>(SafeWriteOrder.begin(), SafeWriteOrder.end()), verify);
}
