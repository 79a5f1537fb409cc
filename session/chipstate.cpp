// SPDX-License-Identifier: MIT
#include "session/chipstate.h"

void ChipState::takeRead(const RegisterImage& read) {
    for (int address = 0; address < RegisterImage::Size; ++address)
        known_[std::size_t(address)] = read[address];
}

bool ChipState::unknown() const {
    for (quint8 address : SafeWriteOrder) {
        if (known_[address])
            return false;
    }
    return true;
}

bool ChipState::differs(const RegisterImage& image, quint8 address) const {
    return known_[address] != image[address];
}

std::vector<quint8> ChipState::differingRegisters(const RegisterImage& image) const {
    std::vector<quint8> registers;
    for (quint8 address : SafeWriteOrder) {
        if (differs(image, address))
            registers.push_back(address);
    }
    return registers;
}

QString chipStateSummary(const ChipState& chip, const RegisterImage& image) {
    if (chip.unknown())
        return QStringLiteral("Chip: unknown");
    const std::size_t differing = chip.differingRegisters(image).size();
    if (differing == 0)
        return QStringLiteral("Chip: in step");
    return QStringLiteral("Chip: %1 registers differ").arg(differing);
}

QString chipHoldsText(const ChipState& chip, quint8 address) {
    if (const std::optional<quint8> value = chip.value(address))
        return QString::asprintf("chip holds 0x%02X", *value);
    return QStringLiteral("chip holds an unknown value");
}
