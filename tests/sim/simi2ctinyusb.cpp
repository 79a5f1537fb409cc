// SPDX-License-Identifier: MIT
#include "simi2ctinyusb.h"

#include "simusberror.h"

namespace {
constexpr quint8 Out = 0x20;  // host to device, class, recipient device
constexpr quint8 In = 0xA0;   // device to host, class, recipient device
}  // namespace

int SimI2cTinyUsb::controlTransfer(quint8 requestType, quint8 request, quint16 value, quint16 index,
                                   unsigned char* data, quint16 length) {
    // Only 7-bit addresses reach the bus.
    const bool validAddress = index <= 0x7F;
    if (requestType == In && request == 3 && value == 0 && index == 0 && length == 1) {
        data[0] = status_;
        return 1;
    }
    if (requestType == Out && request == 7 && value == 0 && validAddress && length == 2) {
        setStatus(chip_->writeRegister(quint8(index), data[0], data[1]));
        return 2;
    }
    if (requestType == Out && request == 5 && value == 0 && validAddress && length == 1) {
        setStatus(chip_->setPointer(quint8(index), data[0]));
        return 1;
    }
    if (requestType == In && (request == 4 || request == 6) && value == 1 && validAddress &&
        length == 1) {
        quint8 byte = 0;
        setStatus(chip_->readByte(quint8(index), byte));
        data[0] = byte;
        return 1;
    }
    return SimUsbErrors::Pipe.code;
}
