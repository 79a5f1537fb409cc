// SPDX-License-Identifier: MIT
#pragma once

#include "registers/registerimage.h"
#include "usb/i2ctinyusb.h"

#include <QString>

// A whole-chip read that names the transfer that failed and the USB cause, as a failed write names
// its register: the command line's reads and every verify after a write (the window's Write to
// chip too). The window's Open and Scan show their own short texts (usb/chipaccess.h).

// Reads registers 0..255 into `image`; progress still goes to c.progress. On failure returns
// false with `error` set to "Error: <what> failed at <transfer>: <cause>", for example
// "Error: reading the chip failed at the status query after register 0x13: Pipe error".
bool readWholeChip(AdapterConnection& c, RegisterImage& image, const char* what, QString& error);
