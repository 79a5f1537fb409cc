// SPDX-License-Identifier: MIT
#pragma once

#include "registers/registerimage.h"

#include <QString>

#include <vector>

// What one undo step puts back: the whole image, the reference and the targets (the solver's
// numbers and the texts of the two target fields).
struct WindowState {
    RegisterImage image;
    double fRef = 0;
    double targetF1 = 0;
    double targetF2 = 0;
    QString f1Text;
    QString f2Text;

    bool operator==(const WindowState& other) const;
    bool operator!=(const WindowState& other) const { return !(*this == other); }
};

// One user action: the state before it and after it.
struct UndoStep {
    WindowState before;
    WindowState after;
};

// The configuration registers whose values differ between `from` and `to`, in SafeWriteOrder
// (0x09 last): what going from one to the other writes to the chip.
std::vector<quint8> changedConfigurationRegisters(const RegisterImage& from,
                                                  const RegisterImage& to);
