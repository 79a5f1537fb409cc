// SPDX-License-Identifier: MIT
#include "simi2ctinyusb.h"

#include "simusberror.h"

namespace {
constexpr quint8 DirectionIn = 0x80;
constexpr quint8 TypeMask = 0x60;
constexpr quint8 TypeClass = 0x20;
constexpr quint8 TypeVendor = 0x40;

constexpr quint8 RequestEcho = 0;
constexpr quint8 RequestFunctionality = 1;
constexpr quint8 RequestSetDelay = 2;
constexpr quint8 RequestStatus = 3;
constexpr quint8 RequestIo = 4;
constexpr quint8 FlagBegin = 1;
constexpr quint8 FlagEnd = 2;
constexpr quint16 ValueRead = 1;
}  // namespace

bool SimI2cTinyUsb::answersType(quint8 requestType) const {
    switch (requestType & TypeMask) {
        case TypeClass:
            return profile_->answersClassRequests;
        case TypeVendor:
            return profile_->answersVendorRequests;
        default:
            return false;
    }
}

int SimI2cTinyUsb::controlTransfer(quint8 requestType, quint8 request, quint16 value, quint16 index,
                                   unsigned char* data, quint16 length) {
    const int stall = SimUsbErrors::Pipe.code;
    if (!answersType(requestType))
        return stall;
    const bool in = (requestType & DirectionIn) != 0;
    switch (request) {
        case RequestEcho:
            if (!in || length < 2)
                return stall;
            data[0] = quint8(value & 0xFF);
            data[1] = quint8(value >> 8);
            return 2;
        case RequestFunctionality:
            if (!in || length < 4)
                return stall;
            for (int i = 0; i < 4; ++i)
                data[i] = quint8(profile_->functionality >> (8 * i));
            return 4;
        case RequestSetDelay:
            if (in)
                return stall;
            delay_ = value;
            return 0;
        case RequestStatus:
            if (!in || length < 1)
                return stall;
            data[0] = status_;
            return 1;
        case RequestIo:
        case RequestIo | FlagBegin:
        case RequestIo | FlagEnd:
        case RequestIo | FlagBegin | FlagEnd:
            // The value carries the I2C message's flags; the firmware looks at the read flag
            // alone (Linux's driver also sends the kernel's own flag for DMA-safe buffers).
            if (in != ((value & ValueRead) != 0) || index > 0x7F)
                return stall;
            return io(request, value, index, data, length);
        default:
            return stall;
    }
}

int SimI2cTinyUsb::io(quint8 request, quint16 value, quint16 index, unsigned char* data,
                      quint16 length) {
    const bool begin = (request & FlagBegin) != 0;
    const bool end = (request & FlagEnd) != 0;
    const bool read = (value & ValueRead) != 0;
    // The start condition pulls SDA low while SCL is high; in the middle of a transaction SCL is
    // low, so the firmware's START for a begin flag makes none.
    if (!(begin && busOpen_))
        chip_->start();
    busOpen_ = true;
    const bool addressAcknowledged = chip_->write(quint8(index << 1 | (read ? 1 : 0)));
    status_ = addressAcknowledged ? StatusAck : StatusNak;
    for (int i = 0; i < length; ++i) {
        if (read)
            data[i] = chip_->read(!(end && i == length - 1));
        else
            chip_->write(data[i]);  // its acknowledge is not kept
    }
    if (end) {
        chip_->stop();
        busOpen_ = false;
    }
    return length;
}
