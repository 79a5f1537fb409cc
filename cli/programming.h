// SPDX-License-Identifier: MIT
#pragma once

#include "cli/context.h"
#include "registers/registerimage.h"
#include "usb/i2ctinyusb.h"

// Writes a configuration to the open adapter in the safe order and, with `verify`, reads the chip
// back and compares. With `listDifferences` (not while --json keeps stdout for its document),
// differences are listed on out, one register a line. Returns true on success, else false with
// the "Error: " line in `error`.
bool programChip(AdapterConnection& c, const RegisterImage& image, bool verify,
                 bool listDifferences, const CliContext& cli, QString& error);
