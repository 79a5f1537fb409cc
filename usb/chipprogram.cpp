// SPDX-License-Identifier: MIT
#include "usb/chipprogram.h"

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
    const QString cause = error.startsWith(QLatin1String("Error: ")) ? error.mid(7) : error;
    return QString::asprintf("Error: writing register 0x%02X failed: ", address) + cause;
}

QString verifyFailureText(std::size_t differing) {
    return QStringLiteral("Error: verify failed: %1 of %2 registers differ")
        .arg(differing)
        .arg(SafeWriteOrder.size());
}
