// SPDX-License-Identifier: MIT
#include "session/undostep.h"

bool WindowState::operator==(const WindowState& o) const {
    return image.bytes == o.image.bytes && fRef == o.fRef && targetF1 == o.targetF1 &&
           targetF2 == o.targetF2 && f1Text == o.f1Text && f2Text == o.f2Text;
}

std::vector<quint8> changedConfigurationRegisters(const RegisterImage& from,
                                                  const RegisterImage& to) {
    std::vector<quint8> registers;
    for (quint8 address : SafeWriteOrder) {
        if (from[address] != to[address])
            registers.push_back(address);
    }
    return registers;
}
