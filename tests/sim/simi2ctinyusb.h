// SPDX-License-Identifier: MIT
#pragma once

#include "simcy22150.h"

#include <QtGlobal>

#include <memory>

// The firmware of an i2c-tiny-usb adapter with a SimCy22150 on its bus: it answers the control
// requests that the transport sends and keeps the status of the last I2C transfer. Any other
// request, or one with a value, index or length the transport never uses, is stalled.
class SimI2cTinyUsb {
public:
    // Status byte of request 3.
    static constexpr quint8 StatusIdle = 0;
    static constexpr quint8 StatusAck = 1;
    static constexpr quint8 StatusNak = 2;

    explicit SimI2cTinyUsb(std::shared_ptr<SimCy22150> chip) : chip_(std::move(chip)) {}

    // Returns the bytes moved in the data stage, or the USB library's pipe error (a stall).
    int controlTransfer(quint8 requestType, quint8 request, quint16 value, quint16 index,
                        unsigned char* data, quint16 length);

    quint8 status() const { return status_; }
    SimCy22150& chip() { return *chip_; }

private:
    void setStatus(bool acknowledged) { status_ = acknowledged ? StatusAck : StatusNak; }

    std::shared_ptr<SimCy22150> chip_;
    quint8 status_ = StatusIdle;
};
