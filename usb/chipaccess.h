// SPDX-License-Identifier: MIT
#pragma once

#include "registers/registerimage.h"
#include "usb/i2ctinyusb.h"

#include <QString>

struct UsbDeviceInfo;

// Opening an adapter and reading the whole chip, as the window's Open and Scan do.

// Closes whatever `c` holds and opens `device` into it (i2c_open: an I2C transaction left open
// on the adapter is ended first). Returns an empty text on success, otherwise the "Error: " line
// to show.
QString openAdapter(AdapterConnection& c, const UsbDeviceInfo& device);

// What a read of the 256 registers gave: the bytes read before a failure stay in the image.
struct ChipRead {
    int result = I2cResult::Ok;  // an I2cResult code
    QString error;               // empty on success, else the "Error: " line to show
    bool ok() const { return result == I2cResult::Ok; }
};

// Reads registers 0..255 of the chip at c.i2cAddress into `image` (515 transfers); progress
// goes to c.progress.
ChipRead readChip(AdapterConnection& c, RegisterImage& image);

// The line the window shows for a read result; empty for success.
QString readErrorText(const AdapterConnection& c, int result);
