// SPDX-License-Identifier: MIT
#pragma once

#include "registers/registerimage.h"
#include "usb/i2ctinyusb.h"

#include <QString>

// A whole-chip read that names what failed: the window's 515 transfers (usb/chipaccess.h), but a
// failure names the transfer that failed and the USB cause, as a failed write names its register,
// where the window shows its own short texts. The command line's reads and every verify use it.

// Reads registers 0..255 into `image`; progress still goes to c.progress. On failure returns
// false with `error` set to "Error: <what> failed at <transfer>: <cause>", for example
// "Error: reading the chip failed at the status query after register 0x13: Pipe error".
bool readWholeChip(AdapterConnection& c, RegisterImage& image, const char* what, QString& error);
// Reads `count` registers from `first` into `bytes` (2 x count + 3 transfers), with the same
// naming of a failure.
bool readChipRegisters(AdapterConnection& c, quint8 first, int count, quint8* bytes,
                       const char* what, QString& error);
