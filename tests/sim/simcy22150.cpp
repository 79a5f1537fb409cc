// SPDX-License-Identifier: MIT
#include "simcy22150.h"

bool SimCy22150::writeRegister(quint8 address, quint8 reg, quint8 value) {
    if (!addressed(address)) {
        return false;
    }
    registers_[reg] = value;
    pointer_ = quint8(reg + 1);  // the chip's pointer moves on after each byte it takes
    return true;
}

bool SimCy22150::setPointer(quint8 address, quint8 reg) {
    if (!addressed(address)) {
        return false;
    }
    pointer_ = reg;
    return true;
}

bool SimCy22150::readByte(quint8 address, quint8& value) {
    if (!addressed(address)) {
        value = 0xFF;
        return false;
    }
    value = registers_[pointer_];
    pointer_ = quint8(pointer_ + 1);
    return true;
}
