// SPDX-License-Identifier: MIT
#pragma once

#include "simcy22150.h"
#include "simfirmware.h"

#include <QtGlobal>

#include <memory>

// The firmware of an i2c-tiny-usb adapter with a SimCy22150 on its bus, as a profile of
// SimFirmware describes it. Requests: 0 echo, 1 functionality, 2 set delay, 3 status of the last
// I2C IO, 4..7 I2C IO (4 plain, +1 begin, +2 end; value the message's flags, bit 0 set reads;
// index the 7-bit address; the data stage the bytes).
//
// Each I2C IO sends a START before the address: a repeated START without the begin flag, a
// START with it; but with the begin flag on a bus whose last transaction was never ended the
// START is not made (the start condition assumes an idle bus), so the address and the bytes
// reach the chip as data of the open transaction. The end flag sends a STOP. The status is the
// chip's acknowledge of the address; a data byte the chip refuses is not reported.
//
// A request of a type the profile does not answer, an unknown request, or one whose direction
// does not fit it, is stalled.
class SimI2cTinyUsb {
public:
    // Status byte of request 3.
    static constexpr quint8 StatusIdle = 0;
    static constexpr quint8 StatusAck = 1;
    static constexpr quint8 StatusNak = 2;

    explicit SimI2cTinyUsb(std::shared_ptr<SimCy22150> chip,
                           const SimFirmwareProfile& profile = SimFirmware::original())
        : chip_(std::move(chip)), profile_(&profile) {}

    // Returns the bytes moved in the data stage, or the USB library's pipe error (a stall).
    int controlTransfer(quint8 requestType, quint8 request, quint16 value, quint16 index,
                        unsigned char* data, quint16 length);

    quint8 status() const { return status_; }
    // Whether a transaction began and was not ended: no STOP since the last START.
    bool transactionOpen() const { return busOpen_; }
    quint16 delay() const { return delay_; }
    const SimFirmwareProfile& profile() const { return *profile_; }
    SimCy22150& chip() { return *chip_; }

private:
    bool answersType(quint8 requestType) const;
    int io(quint8 request, quint16 value, quint16 index, unsigned char* data, quint16 length);

    std::shared_ptr<SimCy22150> chip_;
    const SimFirmwareProfile* profile_;
    quint8 status_ = StatusIdle;
    quint16 delay_ = 10;  // the I2C clock's half period in microseconds; not simulated further
    bool busOpen_ = false;
};
