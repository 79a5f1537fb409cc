// SPDX-License-Identifier: MIT
#pragma once

#include "registers/registerimage.h"

#include <QString>

#include <array>
#include <optional>
#include <vector>

// What the chip is known to hold, register by register, beside the window's own image: what the
// last read returned, updated by every acknowledged write. A register whose write failed, and the
// whole chip after a failed read or without an open adapter, is unknown. Marks, the chip
// indicator, Write to chip and the comparison are all derived from this and the window's image.
class ChipState {
public:
    // A whole read succeeded: every register is known.
    void takeRead(const RegisterImage& read);
    // The chip acknowledged `value` in `address`.
    void takeWrite(quint8 address, quint8 value) { known_[address] = value; }
    // A write of `address` failed: the chip may hold the old value, the new one or neither.
    void forgetRegister(quint8 address) { known_[address].reset(); }
    // No adapter, or a read that failed: nothing is known.
    void forget() { known_.fill(std::nullopt); }

    std::optional<quint8> value(quint8 address) const { return known_[address]; }
    // True when no configuration register is known (no chip, or none read yet).
    bool unknown() const;
    // Whether the chip is not known to hold the image's value of `address`.
    bool differs(const RegisterImage& image, quint8 address) const;
    // The configuration registers that differ from `image`, in SafeWriteOrder (0x09 last).
    std::vector<quint8> differingRegisters(const RegisterImage& image) const;

private:
    std::array<std::optional<quint8>, RegisterImage::Size> known_{};
};

// The chip indicator's text: "Chip: unknown", "Chip: in step" or "Chip: N registers differ".
QString chipStateSummary(const ChipState& chip, const RegisterImage& image);
// The tooltip of a marked row: "chip holds 0xNN", or that the chip's value is unknown.
QString chipHoldsText(const ChipState& chip, quint8 address);
