// SPDX-License-Identifier: MIT
#pragma once

#include "emulateddevice.h"
#include "i2cdriverprofile.h"
#include "simcy22150.h"

#include <QtGlobal>

#include <array>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// One message of an I2C_RDWR: its address, the I2C_M_* flags and, for a write, the bytes; for a
// read, `bytes` has the message's length and receives what was read.
struct EmulatedI2cMessage {
    quint16 address = 0;
    quint16 flags = 0;
    std::vector<quint8> bytes;

    bool isRead() const { return flags & ReadFlag; }
    static constexpr quint16 ReadFlag = 0x0001;  // I2C_M_RD
};

// One I2C_RDWR as the bus saw it: the messages (read ones with what was read) and the result, the
// number of messages or the negative errno.
struct I2cTransferRecord {
    bool injected = false;  // another program's transaction, put in by the kernel-traffic model
    std::vector<EmulatedI2cMessage> messages;
    int result = 0;
};

// Where an emulated I2C bus sits and what answers on it.
struct I2cBusSetup {
    int number = 1;  // the N of i2c-N
    const I2cDriverProfile* driver = &I2cDrivers::bcm2835();
    // A CY22150 at this address holding chipRegisters after power-on; nullopt: no chip, so no
    // address is acknowledged. An i2c-tiny-usb bus has the adapter's own chip instead.
    std::optional<quint8> chipAddress = 0x69;
    std::array<quint8, SimCy22150::RegisterCount> chipRegisters{};
    bool nodeAccessible = true;  // false: the node's mode lets nobody open it (EACCES)
    bool i2cDevLoaded = true;    // false: the adapter alone, no i2c-dev class entry and no node
};

// The bus behind an emulated /dev/i2c-N: the driver's transfer function with its limits and error
// codes, and the chip. On an i2c-tiny-usb bus each message goes to the emulated USB adapter as the
// kernel driver sends it (an I/O request, then a status query), so its chip and its transfer
// log are the adapter's; it answers only while the kernel driver is bound.
//
// The kernel-traffic model: with an injection set, another program's transaction runs on the
// bus before every transfer but the first, as the kernel may order two programs' ioctls; the
// traffic log shows the interleaving.
//
// Transfers arrive on umockdev's worker thread while tests look from theirs: every member function
// takes the bus's lock.
class EmulatedI2cBus {
public:
    // `adapter`: the i2c-tiny-usb adapter for a bus of that driver, else null.
    EmulatedI2cBus(const I2cBusSetup& setup, std::shared_ptr<EmulatedDevice> adapter);

    int number() const { return setup_.number; }
    std::string busName() const { return "i2c-" + std::to_string(setup_.number); }
    std::string node() const { return "/dev/" + busName(); }
    const I2cDriverProfile& driver() const { return *setup_.driver; }
    const I2cBusSetup& setup() const { return setup_; }
    std::shared_ptr<EmulatedDevice> adapter() const { return adapter_; }

    // I2C_FUNCS: the adapter's functionality, or a negative errno.
    qint64 functionality();
    // I2C_RDWR after i2c-dev's own checks: the number of messages, or a negative errno.
    int transfer(std::vector<EmulatedI2cMessage>& messages);
    // Whether the adapter is there: an i2c-tiny-usb bus is gone while its kernel driver is not
    // bound.
    bool present() const;

    // The other program's transaction, or none.
    void injectBetweenTransfers(std::optional<std::vector<EmulatedI2cMessage>> transaction);
    std::vector<I2cTransferRecord> traffic() const;
    // USB control transfers the kernel driver sent to an i2c-tiny-usb adapter (0 for others).
    int kernelUsbTransfers() const;
    // Back to the power-on registers, no traffic and no injection; an i2c-tiny-usb bus
    // power-cycles its adapter.
    void powerCycle();

    std::array<quint8, SimCy22150::RegisterCount> chipRegisters() const;
    quint8 chipRegister(int reg) const;
    void setChipRegister(int reg, quint8 value);

private:
    int run(std::vector<EmulatedI2cMessage>& messages);
    int runOnChip(std::vector<EmulatedI2cMessage>& messages);
    int runOnAdapter(std::vector<EmulatedI2cMessage>& messages);
    std::optional<quint32> adapterFunctionality();

    const I2cBusSetup setup_;
    const std::shared_ptr<EmulatedDevice> adapter_;
    mutable std::mutex mutex_;
    std::unique_ptr<SimCy22150> chip_;  // a bus of its own; an i2c-tiny-usb bus uses the adapter's
    std::optional<std::vector<EmulatedI2cMessage>> injection_;
    bool transferredBefore_ = false;
    std::vector<I2cTransferRecord> traffic_;
};
