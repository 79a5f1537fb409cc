// SPDX-License-Identifier: MIT
#pragma once

#include "usb/i2cbuses.h"
#include "usb/i2ctinyusb.h"

#include <QString>

// The I2C-bus transport: a connection's reads and writes as I2C_RDWR on /dev/i2c-N, in the
// shapes and sizes the bus's driver takes (i2cDriverLimits). A read is, per chunk, a pointer
// write and a read in one ioctl (repeated START, the read last); a write is one message
// [register, value]. Either is one transaction under the kernel's bus lock, so no other
// program's traffic can come between its parts.

// Opens the bus's node for reading and writing into `c` (which holds nothing open) and checks
// that it carries plain I2C. Returns Ok, or OpenFailed with the reason in i2c_error_text.
int busOpen(AdapterConnection& c, const I2cBusInfo& bus);
void busClose(AdapterConnection& c);
int busReadRegisters(AdapterConnection& c, quint8 i2cAddress, quint8 first, int count,
                     quint8* buffer);
int busWriteRegister(AdapterConnection& c, quint8 i2cAddress, quint8 reg, quint8 value);

// Closes whatever `c` holds and opens the bus as i2c_open opens an adapter (Busy when another
// program holds it). Returns Ok, OpenFailed or Busy; i2c_error_text says why.
int i2c_open_bus(AdapterConnection& c, const I2cBusInfo& bus);

// For an adapter just opened over USB: moves the connection to the path c.choice asks for (see
// TransportChoice); with a kernel driver in the way and no usable node, detaches it for the
// connection. Returns Ok, or OpenFailed with the reason in i2c_error_text.
int chooseAdapterPath(AdapterConnection& c);

// The path an adapter would take under TransportChoice::Auto, found without a transfer: the
// node of its bus when that opens for reading and writing, USB with the kernel driver detached
// when the driver is bound without a usable node, else USB. `busNumber` is set for I2cDev.
ChipPath predictAdapterPath(UsbBackend& usb, I2cBusBackend* buses, const UsbDeviceInfo& device,
                            const std::vector<I2cBusInfo>& known, int& busNumber);

// What serves an open connection, for people: "USB", "USB, kernel driver detached",
// "/dev/i2c-7"; and for scripts: "usb", "usb-detached", "i2c-dev".
QString chipPathText(const AdapterConnection& c);
QString chipPathName(const AdapterConnection& c);
