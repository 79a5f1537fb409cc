// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

#include <string>

// The little of Linux's i2c-dev interface that the I2C-bus transport needs: open /dev/i2c-N,
// ask for its functionality (I2C_FUNCS), run one combined transaction (I2C_RDWR), close. The
// production implementation makes the system calls; the tests put a simulated bus behind it.

// One message of a transaction: a write of `length` bytes from `data`, or a read into it.
struct I2cMessage {
    quint16 address = 0;  // 7-bit address
    bool read = false;
    quint8* data = nullptr;
    quint16 length = 0;
};

// The functionality bit of plain I2C transfers (I2C_FUNC_I2C), without which I2C_RDWR is refused.
constexpr unsigned long I2cFunctionPlainI2c = 0x00000001;

class I2cBusBackend {
public:
    virtual ~I2cBusBackend() = default;
    // Opens the node for reading and writing; a handle >= 0, or -errno.
    virtual int open(const std::string& node) = 0;
    virtual void close(int handle) = 0;
    // I2C_FUNCS: 0 with the mask set, or -errno.
    virtual int functionality(int handle, unsigned long& mask) = 0;
    // I2C_RDWR: the messages as one transaction, the kernel holding the bus throughout, with a
    // repeated START between two messages and a STOP after the last. >= 0 on success, -errno.
    virtual int transfer(int handle, I2cMessage* messages, int count) = 0;
};

// The system's i2c-dev, one object for the process.
I2cBusBackend& systemI2cBus();
