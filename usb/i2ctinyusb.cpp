// SPDX-License-Identifier: MIT
#include "usb/i2ctinyusb.h"

#include "common/printabletext.h"
#include "usb/deviceid.h"
#include "usb/i2cbustransport.h"
#include "usb/usbbackend.h"

#include <algorithm>
#include <string>

namespace {
// The adapter's control requests on endpoint 0, recipient device.
constexpr quint8 DirectionOut = 0x00;
constexpr quint8 DirectionIn = 0x80;
constexpr quint8 TypeClass = 0x20;
constexpr quint8 TypeVendor = 0x40;
constexpr quint8 RequestStatus = 3;  // status of the last I2C transfer
// I2C I/O: the address, then the data stage's bytes; +1 begins a transaction with a START, +2
// ends it with a STOP.
constexpr quint8 RequestIo = 4;
constexpr quint8 FlagBegin = 1;
constexpr quint8 FlagEnd = 2;
constexpr quint8 RequestSetPointer = RequestIo | FlagBegin;
constexpr quint8 RequestReadByte = RequestIo;
constexpr quint8 RequestReadLast = RequestIo | FlagEnd;
constexpr quint8 RequestEnd = RequestIo | FlagEnd;  // with no data: repeated START, address, STOP
constexpr quint8 RequestWrite = RequestIo | FlagBegin | FlagEnd;
constexpr quint16 ValueWrite = 0;
constexpr quint16 ValueRead = 1;
constexpr int StatusAcknowledged = 1;

constexpr int MaxReadCount = 256;
constexpr int MaxMessageLength = 255;

bool usbOpen(const AdapterConnection& c) {
    return c.handle != nullptr && c.usb != nullptr;
}

bool adapterOpen(const AdapterConnection& c) {
    return usbOpen(c) || (c.path == ChipPath::I2cDev && c.bus.handle >= 0);
}

// The interface claimed when the kernel driver had to be detached.
constexpr int AdapterInterface = 0;

// One request in the adapter's request type. A class request stalled at once goes again as a
// vendor request; if that one is answered, the adapter keeps the vendor type until it is closed.
int transfer(AdapterConnection& c, quint8 direction, quint8 request, quint16 value, quint16 index,
             unsigned char* data, quint16 length) {
    const bool vendor = c.requestType == AdapterRequestType::Vendor;
    const int result =
        c.usb->controlTransfer(c.handle, quint8(direction | (vendor ? TypeVendor : TypeClass)),
                               request, value, index, data, length, I2cTimeoutMs);
    if (result != UsbStall || vendor) {
        return result;
    }
    const int asVendor = c.usb->controlTransfer(c.handle, quint8(direction | TypeVendor), request,
                                                value, index, data, length, I2cTimeoutMs);
    if (asVendor >= 0) {
        c.requestType = AdapterRequestType::Vendor;
    }
    return asVendor;
}

// Ends the I2C transaction that a failed sequence began, so that the next one starts on an idle
// bus. Its own failure is of no interest: the failure remembered stays the one reported.
void endTransaction(AdapterConnection& c, quint8 i2cAddress) {
    transfer(c, DirectionOut, RequestEnd, ValueWrite, i2cAddress, nullptr, 0);
    c.failure.library = c.usb->lastError();
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
    result = transfer(c, DirectionIn, RequestStatus, 0, 0, &status, 1);
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

AdapterHold::AdapterHold(AdapterConnection& c) : c_(c), locked_(adapterOpen(c)) {
    if (!locked_) {
        return;
    }
    held_ = c.lock.acquire(c.busyWaitMs);
    if (!held_) {
        c.failure.library = c.usb != nullptr ? c.usb->lastError() : std::string();
        c.failure.text =
            (c.usbBacked ? "the adapter " + deviceIdentification(c.device).toStdString()
                         : "the bus i2c-" + std::to_string(c.bus.number)) +
            " is in use by another program";
    }
}

AdapterHold::~AdapterHold() {
    if (held_) {
        c_.lock.release();
    }
}

int i2c_open(AdapterConnection& c, const UsbDeviceInfo& device) {
    i2c_close(c);
    if (c.usb == nullptr) {
        return I2cResult::OpenFailed;
    }
    UsbHandle* handle = c.usb->open(device);
    if (handle == nullptr) {
        return I2cResult::OpenFailed;
    }
    c.handle = handle;
    c.device = device;
    c.lock.attach(c.usb->lockPath(device));
    int result = chooseAdapterPath(c);
    if (result == I2cResult::Ok) {
        const AdapterHold hold(c);
        if (hold.ok()) {
            // Only the USB path can find a transaction that an earlier program left open.
            if (c.path != ChipPath::I2cDev)
                endTransaction(c, c.i2cAddress);
            c.failure = {};
            return I2cResult::Ok;
        }
        result = I2cResult::Busy;
    }
    const TransportFailure failed = c.failure;
    i2c_close(c);
    c.failure = failed;
    return result;
}

int i2c_close(AdapterConnection& c) {
    if (c.handle != nullptr) {
        if (c.usb != nullptr) {
            // Giving the interface back lets the detached kernel driver bind again.
            if (c.path == ChipPath::UsbDetached)
                c.usb->releaseInterface(c.handle, AdapterInterface);
            c.usb->close(c.handle);
        }
        c.handle = nullptr;
    }
    busClose(c);
    c.path = ChipPath::Usb;
    c.usbBacked = true;
    c.lock.detach();
    c.requestType = AdapterRequestType::Class;
    c.device = {};
    c.failure = {};
    return 0;
}

bool i2c_is_open(const AdapterConnection& c) {
    return adapterOpen(c);
}

int i2c_get_status(AdapterConnection& c) {
    if (!usbOpen(c)) {
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
    const AdapterHold hold(c);
    if (!hold.ok()) {
        return I2cResult::Busy;
    }
    if (c.path == ChipPath::I2cDev) {
        return busWriteRegister(c, i2cAddress, reg, value);
    }
    unsigned char data[2] = {reg, value};
    if (!moved(c, transfer(c, DirectionOut, RequestWrite, ValueWrite, i2cAddress, data, 2),
               "the adapter accepted no data for the chip at I2C address ", i2cAddress)) {
        // Whether the adapter got as far as the STOP is unknown.
        endTransaction(c, i2cAddress);
        return I2cResult::SetupFailed;
    }
    // The transaction ended with the write itself: a lost status leaves nothing open.
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
    const AdapterHold hold(c);
    if (!hold.ok()) {
        return I2cResult::Busy;
    }
    if (c.path == ChipPath::I2cDev) {
        return busReadRegisters(c, i2cAddress, first, count, buffer);
    }
    // From the set-up on, every failure before the last byte's transfer went through leaves the
    // transaction open: it is ended before the failure is returned.
    unsigned char pointer = first;
    if (!moved(c, transfer(c, DirectionOut, RequestSetPointer, ValueWrite, i2cAddress, &pointer, 1),
               "the adapter accepted no data for the chip at I2C address ", i2cAddress)) {
        endTransaction(c, i2cAddress);
        return I2cResult::SetupFailed;
    }
    if (!acknowledged(c, i2cAddress)) {
        endTransaction(c, i2cAddress);
        return I2cResult::NoAcknowledge;
    }
    // The chip has 256 registers; a longer read would only repeat them and overrun the image.
    count = std::min(count, MaxReadCount);
    for (int i = 0; i < count; ++i) {
        reportProgress(c, i, count);
        const bool last = i == count - 1;
        const quint8 request = last ? RequestReadLast : RequestReadByte;
        if (!moved(c, transfer(c, DirectionIn, request, ValueRead, i2cAddress, buffer + i, 1),
                   "the adapter returned no data from the chip at I2C address ", i2cAddress)) {
            endTransaction(c, i2cAddress);
            return last ? I2cResult::LastByteFailed : I2cResult::ByteFailed;
        }
        if (!acknowledged(c, i2cAddress)) {
            if (!last) {
                endTransaction(c, i2cAddress);
            }
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
