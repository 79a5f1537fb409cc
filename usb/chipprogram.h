#pragma once

#include "registers/registerimage.h"
#include "usb/i2ctinyusb.h"

#include <QString>

#include <array>
#include <vector>

// Programming a whole configuration into the chip and checking it.

// The registers of a configuration in write order: the PLL and the dividers first, the output
// enables (0x09) last, so that no output is enabled while the PLL and dividers still hold old
// values.
constexpr std::array<quint8, 11> SafeWriteOrder = {
    Reg::Div1,    Reg::XcoDrive, Reg::CapLoad,          Reg::PumpPb,
    Reg::PbLow,   Reg::PoQ,      Reg::Matrix1,          Reg::Matrix2,
    Reg::Matrix3, Reg::Div2,     Reg::ClockOutputEnable};

struct ProgramResult {
    bool ok = true;
    quint8 failedRegister = 0;  // the register whose write failed; later ones were not written
    QString error;              // the "Error: " line of the failure
};

// Writes the SafeWriteOrder registers of `image` to the chip at c.i2cAddress, stopping at the
// first failure.
ProgramResult writeConfiguration(AdapterConnection& c, const RegisterImage& image);

struct RegisterDifference {
    quint8 address = 0;
    quint8 expected = 0;
    quint8 read = 0;
};

// The SafeWriteOrder registers in which `read` differs from `expected`, in that order.
std::vector<RegisterDifference> compareConfiguration(const RegisterImage& expected,
                                                     const RegisterImage& read);
