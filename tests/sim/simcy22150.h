// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

#include <array>

// A CY22150 as its I2C bus sees it, bit-level conditions and bytes: 256 plain registers, a 7-bit
// address and a register pointer. After a START (or repeated START) it listens for its address;
// addressed for writing, it takes the first byte as the pointer and stores every further byte at
// the pointer, which moves on; addressed for reading, it sends the register at the pointer, which
// moves on. A chip that was not addressed ignores the bus until the next START and leaves it
// high. Knows nothing about USB, so any adapter model can put it on its bus.
class SimCy22150 {
public:
    static constexpr int RegisterCount = 256;

    explicit SimCy22150(quint8 i2cAddress = 0x69) : address_(i2cAddress) {}

    quint8 i2cAddress() const { return address_; }
    void setI2cAddress(quint8 address) { address_ = address; }

    // --- the bus ---
    void start();  // START or repeated START
    void stop();   // STOP
    // A byte the master clocks out; returns whether the chip acknowledged it (pulled SDA low).
    bool write(quint8 byte);
    // A byte the master clocks in, acknowledging it (more to come) or not (the last).
    quint8 read(bool masterAcknowledges);

    // From now on the chip refuses every data byte written to it (does not acknowledge it and
    // keeps its registers), while it still acknowledges its address: a chip in trouble.
    void setRefusesData(bool refuses) { refusesData_ = refuses; }

    // --- what the chip holds ---
    quint8 pointer() const { return pointer_; }
    quint8 registerValue(int reg) const { return registers_[std::size_t(reg & 0xFF)]; }
    void setRegisterValue(int reg, quint8 value) { registers_[std::size_t(reg & 0xFF)] = value; }
    const std::array<quint8, RegisterCount>& registers() const { return registers_; }

private:
    enum class State {
        Idle,          // ignores the bus until a START
        Address,       // after a START: the next byte is an address
        Pointer,       // addressed for writing: the next byte is the register number
        Receiving,     // addressed for writing: the next bytes are register values
        Transmitting,  // addressed for reading
    };
    void store(quint8 byte);

    quint8 address_;
    bool refusesData_ = false;
    State state_ = State::Idle;
    quint8 pointer_ = 0;
    std::array<quint8, RegisterCount> registers_{};
};
