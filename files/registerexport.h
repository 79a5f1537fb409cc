// SPDX-License-Identifier: MIT
#pragma once

#include "registers/registerimage.h"

#include <QString>

// A configuration as the writes that program it, in the chip's safe write order, for other
// tools: i2c-tools command lines, a C array, or JSON.

// One "i2cset -y BUS 0xAA 0xRR 0xVV" line per write.
QString exportI2cset(const RegisterImage& image, int bus, quint8 i2cAddress);
// A C array of {register, value} pairs.
QString exportCArray(const RegisterImage& image, quint8 i2cAddress);
// {"i2cAddress": 105, "writes": [{"register": 12, "value": 5}, ...]}
QString exportJson(const RegisterImage& image, quint8 i2cAddress);
