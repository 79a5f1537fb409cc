// SPDX-License-Identifier: MIT
#pragma once

#include "frequency/chiprules.h"
#include "frequency/frequencymodel.h"
#include "registers/registerimage.h"

#include <QString>
#include <QStringList>

#include <array>

// A configuration in words, for a terminal: the registers that make it, their fields and the
// frequencies they give.

// The eleven registers a configuration is made of, in address order, as a register map reads.
extern const std::array<quint8, 11> ShownRegisters;

// One line per register of a configuration (address, value, the fields it holds), then the
// fields, then the reference, the PLL and the six outputs, then the PLL range warning, if any.
// CAPLOAD is shown with the crystal load it gives on `board`.
QStringList describeConfiguration(const RegisterImage& image, double referenceHz,
                                  const PllRange& range, const BoardFacts& board);

// The frequency as the window prints it: "%.5f Hz", without padding.
QString hertzText(double hz);
