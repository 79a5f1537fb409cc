// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

#include <string_view>

// What the kernel driver of an I2C adapter accepts in one I2C_RDWR, and the error codes it answers
// with, in one table: the emulated /dev/i2c-N nodes enforce it, each with its own driver's codes.
//
// Every figure comes from the driver's own transfer function or its adapter quirks; a quirk the
// i2c core checks fails with EOPNOTSUPP before the driver sees the messages.
struct I2cDriverProfile {
    // Where the adapter's device sits in sysfs.
    enum class Parent {
        UsbInterface,  // the adapter hangs from the USB interface (i2c-tiny-usb)
        Platform,      // a platform device of the SoC (i2c-bcm2835, an unknown controller)
        UsbPlatform,   // a platform cell of a USB multi-function device (dln2-i2c)
        UsbHid,        // a HID device on a USB interface (mcp2221, cp2112, ft260)
    };

    const char* driver;       // the adapter device's driver as sysfs names it
    const char* driverBus;    // the bus of /sys/bus/<bus>/drivers/<driver>
    const char* adapterName;  // the i2c adapter's `name` attribute
    Parent parent;
    const char*
        parentName;     // the adapter device's sysfs name (for a USB parent: below the interface)
    quint16 usbVendor;  // the USB device of a USB-backed adapter; 0 for none
    quint16 usbProduct;
    quint64 functionality;  // I2C_FUNCS

    int maxReadLength;       // 0: only i2c-dev's own limit
    int maxWriteLength;      // of a message on its own; 0: only i2c-dev's limit
    int maxWriteBeforeRead;  // of the write part of a write-then-read; 0: as maxWriteLength
    int lengthError;         // the code a message over these lengths fails with
    bool readOnlyLast;       // a read is allowed only as the last message (one read per ioctl)
    bool writeThenReadOnly;  // one message, or a write then a read to one address; else refused
    bool noRepeatedStart;    // a write followed by a read in one ioctl is refused
    int unsupportedError;    // the code a refused message sequence fails with
    int noAckOnRead;         // the chip does not acknowledge: in a read
    int noAckOnWrite;        // ... and in a write
    bool sendsUsbTransfers;  // i2c-tiny-usb: each message is I/O requests to the emulated adapter
};

namespace I2cDrivers {
// i2c-tiny-usb, i2c-bcm2835, mcp2221, ft260, cp2112, dln2-i2c and a driver no table knows.
extern const I2cDriverProfile Profiles[7];

const I2cDriverProfile& tinyUsb();
const I2cDriverProfile& bcm2835();
const I2cDriverProfile& unknown();
// The profile of that driver name, or nullptr.
const I2cDriverProfile* find(std::string_view driver);
}  // namespace I2cDrivers
