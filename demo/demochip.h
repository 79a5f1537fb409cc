// SPDX-License-Identifier: MIT
#pragma once

#include "simcy22150.h"

#include <array>

// The registers of the demo chip after power-on: a 10 MHz reference, the PLL at 200 MHz, every
// output enabled and each crosspoint on a different source, in a configuration that keeps every
// rule of the chip (tests/tst_chiprules checks it).
std::array<quint8, SimCy22150::RegisterCount> demoPowerOnRegisters();
