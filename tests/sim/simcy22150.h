// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

#include <array>

// A CY22150 as its I2C bus sees it: 256 plain registers, a 7-bit address and a register pointer.
// Each operation says whether the chip acknowledged its address; a chip that does not keeps its
// registers and pointer. Knows nothing about USB, so any adapter model can put it on its bus.
class SimCy22150 {
public:
    static constexpr int RegisterCount = 256;

    explicit SimCy22150(quint8 i2cAddress = 0x69) : address_(i2cAddress) {}

    quint8 i2cAddress() const { return address_; }
    void setI2cAddress(quint8 address) { address_ = address; }

    // A write transaction: the register number, then the value.
    bool writeRegister(quint8 address, quint8 reg, quint8 value);
    // A write transaction of the register number alone: sets the pointer for the reads.
    bool setPointer(quint8 address, quint8 reg);
    // One byte of a read transaction, from the pointer, which then moves on (0xFF wraps to 0).
    // A chip that does not answer leaves the bus high: 0xFF.
    bool readByte(quint8 address, quint8& value);

    quint8 pointer() const { return pointer_; }
    quint8 registerValue(int reg) const { return registers_[std::size_t(reg & 0xFF)]; }
    void setRegisterValue(int reg, quint8 value) { registers_[std::size_t(reg & 0xFF)] = value; }
    const std::array<quint8, RegisterCount>& registers() const { return registers_; }

private:
    bool addressed(quint8 address) const { return address == address_; }

    quint8 address_;
    quint8 pointer_ = 0;
    std::array<quint8, RegisterCount> registers_{};
};
