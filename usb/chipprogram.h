// SPDX-License-Identifier: MIT
#pragma once

#include "registers/registerimage.h"
#include "usb/i2ctinyusb.h"

#include <QString>

#include <optional>
#include <vector>

// Programming a whole configuration into the chip and checking it.

// Writes one register of the image to the chip at the connection's I2C address. Returns the
// error line ("Error: ...") when the write failed; nothing when it went out or no adapter is open.
std::optional<QString> writeRegister(AdapterConnection& c, const RegisterImage& image,
                                     quint8 address);

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

// "Error: writing register 0xRR failed: <cause>", from the write's own "Error: " line.
QString writeFailureText(quint8 address, const QString& error);
// "Error: verify failed: N of M registers differ", M the registers compared.
QString verifyFailureText(std::size_t differing, std::size_t compared);

// The SafeWriteOrder registers in which `read` differs from `expected`, in that order.
std::vector<RegisterDifference> compareConfiguration(const RegisterImage& expected,
                                                     const RegisterImage& read);

// What programming a configuration did: the one operation behind every command that programs
// the chip (write, solve --write, plan --write, set), whatever front end reports it.
struct ProgramOutcome {
    bool ok = false;
    QString error;                // the "Error: " line when !ok
    std::vector<quint8> written;  // the registers the chip acknowledged, in the order written
    bool verified = false;        // read back and compared without a difference
    std::vector<RegisterDifference> differences;  // what the read-back found, when it ran
};

// Writes `registers` of `image` in the order given (the safe order, 0x09 last, for a whole
// configuration), stopping at the first failure, and with `verify` reads the whole chip back and
// compares those registers. Error lines: "Error: writing register 0xNN failed: <cause>",
// "Error: reading back failed at <transfer>: <cause>", "Error: verify failed: N of M registers
// differ".
ProgramOutcome programRegisters(AdapterConnection& c, const RegisterImage& image,
                                const std::vector<quint8>& registers, bool verify);
// The eleven configuration registers, in SafeWriteOrder.
ProgramOutcome programConfiguration(AdapterConnection& c, const RegisterImage& image, bool verify);
