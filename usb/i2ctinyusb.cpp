// SPDX-License-Identifier: MIT
#include "usb/i2ctinyusb.h"

#include "common/printabletext.h"
#include "usb/deviceid.h"
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

// Remembers a failure for i2c_error_text with the library's text of this moment, so that a later
// failing library call (an open, an enumeration) shows its own text instead.
void remember(AdapterConnection& c, const std::string& text) {
    c.failure.library = c.usb->lastError();
    c.failure.text = text.empty() ? c.failure.library : text;
}

// For a failure where the library reported none, what failed, naming the chip.
std::string chipText(const char* before, quint8 i2cAddress, const char* after = "") {
    return before + i2cAddressText(i2cAddress).toStdString() + after;
}

// Whether a transfer moved data; if not, remembers why: the library's text for a negative code,
// otherwise `noDataBefore` and the chip's address. The text is made only for a failure: a read
// checks 256 transfers.
bool moved(AdapterConnection& c, int result, const char* noDataBefore, quint8 i2cAddress) {
    if (result >= 1) {
        return true;
    }
    remember(c, result < 0 ? std::string() : chipText(noDataBefore, i2cAddress));
    return false;
}

// The status query: sets `result` to what the transfer returned, returns the status as
// i2c_get_status does.
int queryStatus(AdapterConnection& c, int& result) {
    unsigned char status = 0;
    result = transfer(c, RequestTypeIn, RequestStatus, 0, 0, &status, 1);
    if (result < 0) {
        return result;
    }
    if (result == 0) {
        return I2cStatusNoByte;
    }
    return status < 0x80 ? int(status) : int(status) - 0x100;  // sign-extended
}

// Whether the chip acknowledged the last I2C transfer; if not, remembers why.
bool acknowledged(AdapterConnection& c, quint8 i2cAddress) {
    int result = 0;
    const int status = queryStatus(c, result);
    if (status == StatusAcknowledged) {
        return true;
    }
    if (result < 1) {
        moved(c, result, "the adapter returned no status for the chip at I2C address ", i2cAddress);
    } else {
        remember(c, chipText("the chip at I2C address ", i2cAddress, " did not acknowledge"));
    }
    return false;
}

void reportProgress(const AdapterConnection& c, int done, int count) {
    if (c.progress != nullptr) {
        c.progress->readProgress(done, count);
    }
}
}  // namespace

int progressBarValue(int done, int count, int maximum) {
    if (count <= 0) {
        return 0;
    }
    return int(qint64(done) * maximum / count);
}

void i2c_init(AdapterConnection& c, UsbBackend* usb, TransportObserver* progress) {
    c.usb = usb;
    c.progress = progress;
    c.failure = {};
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
    c.failure = {};
    return 0;
}

int i2c_get_status(AdapterConnection& c) {
    if (!adapterOpen(c)) {
        return 0;
    }
    int result = 0;
    return queryStatus(c, result);
}

int i2c_write_register(AdapterConnection& c, quint8 i2cAddress, quint8 reg, quint8 value) {
    if (!adapterOpen(c)) {
        return I2cResult::Ok;
    }
    c.failure = {};
    unsigned char data[2] = {reg, value};
    if (!moved(c, transfer(c, RequestTypeOut, RequestWrite, ValueWrite, i2cAddress, data, 2),
               "the adapter accepted no data for the chip at I2C address ", i2cAddress)) {
        return I2cResult::SetupFailed;
    }
    return acknowledged(c, i2cAddress) ? I2cResult::Ok : I2cResult::NoAcknowledge;
}

int i2c_read_registers(AdapterConnection& c, quint8 i2cAddress, quint8 first, int count,
                       quint8* buffer) {
    if (!adapterOpen(c)) {
        return I2cResult::Ok;
    }
    c.failure = {};
    if (count < 1) {
        return I2cResult::BadCount;
    }
    unsigned char pointer = first;
    if (!moved(c,
               transfer(c, RequestTypeOut, RequestSetPointer, ValueWrite, i2cAddress, &pointer, 1),
               "the adapter accepted no data for the chip at I2C address ", i2cAddress)) {
        return I2cResult::SetupFailed;
    }
    if (!acknowledged(c, i2cAddress)) {
        return I2cResult::NoAcknowledge;
    }
    // The chip has 256 registers; a longer read would only repeat them and overrun the image.
    count = std::min(count, MaxReadCount);
    for (int i = 0; i < count; ++i) {
        reportProgress(c, i, count);
        const bool last = i == count - 1;
        const quint8 request = last ? RequestReadLast : RequestReadByte;
        if (!moved(c, transfer(c, RequestTypeIn, request, ValueRead, i2cAddress, buffer + i, 1),
                   "the adapter returned no data from the chip at I2C address ", i2cAddress)) {
            return last ? I2cResult::LastByteFailed : I2cResult::ByteFailed;
        }
        if (!acknowledged(c, i2cAddress)) {
            return I2cResult::ReadNotAcknowledged;
        }
    }
    if (!acknowledged(c, i2cAddress)) {
        return I2cResult::ReadNotAcknowledged;
    }
    reportProgress(c, count, count);
    return I2cResult::Ok;
}

QString i2c_error_text(const AdapterConnection& c) {
    const std::string library = c.usb != nullptr ? c.usb->lastError() : std::string();
    // A library call that failed after the transfer has a text of its own.
    const bool transferFailed = !c.failure.text.empty() && c.failure.library == library;
    QString message = QStringLiteral("Error: ") +
                      QString::fromStdString(transferFailed ? c.failure.text : library);
    return cutWhole(message, MaxMessageLength);
}
