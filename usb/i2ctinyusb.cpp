#include "usb/i2ctinyusb.h"

#include "usb/usbbackend.h"

#include <algorithm>
#include <string>

namespace {
// The adapter's control requests on endpoint 0.
constexpr quint8 RequestTypeOut = 0x20;  // host to device, class, recipient device
constexpr quint8 RequestTypeIn = 0xA0;   // device to host, class, recipient device
constexpr quint8 RequestStatus = 3;      // status of the last I2C transfer
constexpr quint8 RequestReadByte = 4;    // I2C data, inside a transaction
constexpr quint8 RequestSetPointer = 5;  // I2C data, begins a transaction
constexpr quint8 RequestReadLast = 6;    // I2C data, ends a transaction
constexpr quint8 RequestWrite = 7;       // I2C data, begins and ends a transaction
constexpr quint16 ValueWrite = 0;
constexpr quint16 ValueRead = 1;
constexpr int StatusAcknowledged = 1;

constexpr int MaxReadCount = 256;
constexpr int MaxMessageLength = 255;

bool adapterOpen(const AdapterConnection& c) {
    return c.handle != nullptr && c.usb != nullptr;
}

int transfer(AdapterConnection& c, quint8 requestType, quint8 request, quint16 value, quint16 index,
             unsigned char* data, quint16 length) {
    return c.usb->controlTransfer(c.handle, requestType, request, value, index, data, length,
                                  I2cTimeoutMs);
}

void reportProgress(const AdapterConnection& c, int done, int count) {
    if (c.form != nullptr) {
        c.form->readProgress(done, count);
    }
}
}  // namespace

int progressBarValue(int done, int count, int maximum) {
    if (count <= 0) {
        return 0;
    }
    return int(qint64(done) * maximum / count);
}

void i2c_init(AdapterConnection& c, UsbBackend* usb, TransportObserver* form) {
    c.usb = usb;
    c.form = form;
    if (usb != nullptr) {
        usb->init();
    }
}

int i2c_close(AdapterConnection& c) {
    if (c.handle != nullptr) {
        if (c.usb != nullptr) {
            c.usb->close(c.handle);
        }
        c.handle = nullptr;
    }
    return 0;
}

int i2c_get_status(AdapterConnection& c) {
    if (!adapterOpen(c)) {
        return 0;
    }
    unsigned char status = 0;
    const int moved = transfer(c, RequestTypeIn, RequestStatus, 0, 0, &status, 1);
    if (moved < 0) {
        return moved;
    }
    if (moved == 0) {
        return I2cStatusNoByte;
    }
    return status < 0x80 ? int(status) : int(status) - 0x100;  // sign-extended
}

int i2c_write_register(AdapterConnection& c, quint8 i2cAddress, quint8 reg, quint8 value) {
    if (!adapterOpen(c)) {
        return I2cResult::Ok;
    }
    unsigned char data[2] = {reg, value};
    if (transfer(c, RequestTypeOut, RequestWrite, ValueWrite, i2cAddress, data, 2) < 1) {
        return I2cResult::SetupFailed;
    }
    return i2c_get_status(c) == StatusAcknowledged ? I2cResult::Ok : I2cResult::NoAcknowledge;
}

int i2c_read_registers(AdapterConnection& c, quint8 i2cAddress, quint8 first, int count,
                       quint8* buffer) {
    if (!adapterOpen(c)) {
        return I2cResult::Ok;
    }
    if (count < 1) {
        return I2cResult::BadCount;
    }
    unsigned char pointer = first;
    if (transfer(c, RequestTypeOut, RequestSetPointer, ValueWrite, i2cAddress, &pointer, 1) < 1) {
        return I2cResult::SetupFailed;
    }
    if (i2c_get_status(c) != StatusAcknowledged) {
        return I2cResult::NoAcknowledge;
    }
    // The chip has 256 registers; a longer read would only repeat them and overrun the image.
    count = std::min(count, MaxReadCount);
    for (int i = 0; i < count; ++i) {
        reportProgress(c, i, count);
        const bool last = i == count - 1;
        const quint8 request = last ? RequestReadLast : RequestReadByte;
        if (transfer(c, RequestTypeIn, request, ValueRead, i2cAddress, buffer + i, 1) < 1) {
            return last ? I2cResult::LastByteFailed : I2cResult::ByteFailed;
        }
        if (i2c_get_status(c) != StatusAcknowledged) {
            return I2cResult::ReadNotAcknowledged;
        }
    }
    if (i2c_get_status(c) != StatusAcknowledged) {
        return I2cResult::ReadNotAcknowledged;
    }
    reportProgress(c, count, count);
    return I2cResult::Ok;
}

QString i2c_error_text(const AdapterConnection& c) {
    const std::string library = c.usb != nullptr ? c.usb->lastError() : std::string();
    QString message = QStringLiteral("Error: ") + QString::fromStdString(library);
    if (message.size() > MaxMessageLength) {
        int length = MaxMessageLength;
        if (message.at(length - 1).isHighSurrogate()) {
            --length;  // never leave half a character
        }
        message.truncate(length);
    }
    return message;
}
