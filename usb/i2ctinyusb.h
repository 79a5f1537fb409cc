// SPDX-License-Identifier: MIT
#pragma once

#include "usb/adapterlock.h"
#include "usb/i2cbus.h"
#include "usb/usbbackend.h"

#include <QString>
#include <QtGlobal>

#include <string>

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

// The type of the adapter's control requests. The original firmware answers class requests;
// ports built on USB stacks that hand class requests to an interface (TinyUSB) answer vendor
// requests only.
enum class AdapterRequestType { Class, Vendor };

// Which path a caller asks for an i2c-tiny-usb adapter: Auto takes the kernel's /dev/i2c-N when
// the kernel driver is bound and the node opens for reading and writing, raw USB otherwise.
enum class TransportChoice { Auto, Usb, I2cDev };

// Which transport serves an open connection.
enum class ChipPath {
    Usb,          // control transfers to the i2c-tiny-usb adapter, no kernel driver in the way
    UsbDetached,  // the same, with the kernel driver detached until the connection closes
    I2cDev,       // I2C_RDWR on /dev/i2c-N, each transaction atomic under the kernel's bus lock
};

// An open /dev/i2c-N.
struct I2cBusConnection {
    int handle = -1;  // the backend's handle; -1: none open
    int number = -1;  // N
    std::string driver;
    // The pointer write and the read go as two ioctls: the driver makes every message a
    // transaction of its own, or refused a combined one (EOPNOTSUPP) on this connection.
    bool split = false;
};

// How long an operation waits for an adapter that another program is using before it gives up.
constexpr int AdapterBusyWaitMs = 3000;

// The one adapter connection of the process.
struct AdapterConnection {
    UsbBackend* usb = nullptr;
    UsbHandle* handle = nullptr;            // null: no adapter open
    quint8 i2cAddress = 0x69;               // 7-bit chip address, passed unshifted to the adapter
    TransportObserver* progress = nullptr;  // follows register reads; may be null
    bool openedByScan = false;
    TransportFailure failure;
    UsbDeviceInfo device;  // the open adapter
    // Class until the adapter stalls a class request and answers it as a vendor request; then
    // vendor until it is closed.
    AdapterRequestType requestType = AdapterRequestType::Class;
    AdapterLock lock;  // against other programs on the same adapter
    int busyWaitMs = AdapterBusyWaitMs;
    // The i2c-dev behind I2C buses; null: the system's.
    I2cBusBackend* buses = nullptr;
    TransportChoice choice = TransportChoice::Auto;  // for the next open of an adapter
    ChipPath path = ChipPath::Usb;
    I2cBusConnection bus;   // open when path is I2cDev
    bool usbBacked = true;  // the open connection is an adapter or a bus on a USB device
};

// Holds the open adapter's lock for a run of transfers that must not mix with another program's:
// every read and write of the transport takes one; a caller that makes several of them one
// operation (a write and its verify) takes one around them. Nests. Without an open adapter it
// holds nothing and is ok.
class AdapterHold {
public:
    // Waits up to c.busyWaitMs for another program to let go; if it does not, ok() is false and
    // the connection's failure says that the adapter is in use.
    explicit AdapterHold(AdapterConnection& c);
    ~AdapterHold();
    AdapterHold(const AdapterHold&) = delete;
    AdapterHold& operator=(const AdapterHold&) = delete;
    bool ok() const { return held_ || !locked_; }

private:
    AdapterConnection& c_;
    bool locked_ = false;  // an adapter was open to lock
    bool held_ = false;
};

namespace I2cResult {
constexpr int Ok = 0;
constexpr int BadCount = -1;
constexpr int NoAcknowledge = -2;        // status not 1 after a write or the read set-up
constexpr int ReadNotAcknowledged = -3;  // status not 1 during or after the bytes of a read
constexpr int SetupFailed = -4;          // write or read set-up moved no data
constexpr int LastByteFailed = -5;
constexpr int ByteFailed = -6;
constexpr int Busy = -7;        // another program kept the adapter for longer than c.busyWaitMs
constexpr int OpenFailed = -8;  // the USB library could not open the adapter
// On an I2C bus: the ioctl of a read or write failed (i2c_error_text says which and why).
constexpr int BusTransferFailed = -9;
constexpr int BusNoAcknowledge = -10;  // the same, and the driver's code says "no acknowledge"
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
// Closes whatever `c` holds and opens `device` on the path c.choice asks for (chooseAdapterPath:
// the kernel's /dev/i2c-N, USB, or USB with the kernel driver detached until i2c_close); then,
// holding its lock, and on a USB path, ends whatever I2C transaction an earlier program may have
// left open (one end-of-transaction I/O at c.i2cAddress, whose failure is ignored), which also
// finds out the adapter's request type. Returns Ok, OpenFailed (the reason in i2c_error_text) or
// Busy (the adapter stays closed).
int i2c_open(AdapterConnection& c, const UsbDeviceInfo& device);
// Closes the adapter or bus; a kernel driver detached at the open is given back first.
int i2c_close(AdapterConnection& c);
// Whether an adapter or a bus is open, whichever path serves it.
bool i2c_is_open(const AdapterConnection& c);
int i2c_get_status(AdapterConnection& c);
// A write or read that fails after its transaction began ends the transaction (an I/O with the
// end flag alone, whose own failure is ignored) before it returns the original failure. Both
// hold the adapter's lock while they transfer and return Busy when another program kept it.
int i2c_write_register(AdapterConnection& c, quint8 i2cAddress, quint8 reg, quint8 value);
int i2c_read_registers(AdapterConnection& c, quint8 i2cAddress, quint8 first, int count,
                       quint8* buffer);
// "Error: " and what the last failure was, at most 255 characters in all. After a write or read
// that failed, and while no library call has failed since, that is the failing transfer's own
// library text, or, where the library saw no error (the chip did not acknowledge, a transfer
// moved no data), what failed, such as "the chip at I2C address 0x69 did not acknowledge".
// Otherwise it is the library's last error text (a failed open, an empty enumeration).
QString i2c_error_text(const AdapterConnection& c);
