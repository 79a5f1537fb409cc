// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtGlobal>

#include <string>

class UsbBackend;
class UsbHandle;

// Follows the progress of a register read; a front end shows it as a bar.
class TransportObserver {
public:
    virtual ~TransportObserver() = default;
    // Called before byte `done` of `count` and with done == count at the end; the view sets its
    // bar to done * maximum / count and repaints it at once.
    virtual void readProgress(int done, int count) = 0;
};

// What the last failing write or read of a connection ran into, for i2c_error_text.
struct TransportFailure {
    std::string text;     // empty: the last write or read did not fail
    std::string library;  // the library's lastError() just after the failure
};

// The one adapter connection of the process.
struct AdapterConnection {
    UsbBackend* usb = nullptr;
    UsbHandle* handle = nullptr;            // null: no adapter open
    quint8 i2cAddress = 0x69;               // 7-bit chip address, passed unshifted to the adapter
    TransportObserver* progress = nullptr;  // follows register reads; may be null
    bool openedByScan = false;
    TransportFailure failure;
};

namespace I2cResult {
constexpr int Ok = 0;
constexpr int BadCount = -1;
constexpr int NoAcknowledge = -2;        // status not 1 after a write or the read set-up
constexpr int ReadNotAcknowledged = -3;  // status not 1 during or after the bytes of a read
constexpr int SetupFailed = -4;          // write or read set-up moved no data
constexpr int LastByteFailed = -5;
constexpr int ByteFailed = -6;
}  // namespace I2cResult

constexpr unsigned I2cTimeoutMs = 1000;

// What i2c_get_status returns when the status transfer succeeds but delivers no byte: a failure
// like any value other than 1, and apart from both a sign-extended status byte (-128..127) and
// the USB library's error codes.
constexpr int I2cStatusNoByte = -256;

// The progress bar position for readProgress(done, count): done * maximum / count, truncated,
// computed wide enough that a large maximum cannot overflow.
int progressBarValue(int done, int count, int maximum);

void i2c_init(AdapterConnection& c, UsbBackend* usb, TransportObserver* progress);
int i2c_close(AdapterConnection& c);
int i2c_get_status(AdapterConnection& c);
int i2c_write_register(AdapterConnection& c, quint8 i2cAddress, quint8 reg, quint8 value);
int i2c_read_registers(AdapterConnection& c, quint8 i2cAddress, quint8 first, int count,
                       quint8* buffer);
// "Error: " and what the last failure was, at most 255 characters in all. After a write or read
// that failed, and while no library call has failed since, that is the failing transfer's own
// library text, or, where the library saw no error (the chip did not acknowledge, a transfer
// moved no data), what failed, such as "the chip at I2C address 0x69 did not acknowledge".
// Otherwise it is the library's last error text (a failed open, an empty enumeration).
QString i2c_error_text(const AdapterConnection& c);
