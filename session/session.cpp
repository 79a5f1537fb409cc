// SPDX-License-Identifier: MIT
#include "session/session.h"

#include "usb/chipprogram.h"

void pushRegister(Session& s, quint8 address) {
    if (const std::optional<QString> error = writeRegister(s.adapter, s.image, address))
        s.status.show({ReportKind::Error, *error});
}

void pushCoreRegisters(Session& s) {
    for (quint8 address : CoreRegisters)
        pushRegister(s, address);
}

bool pushMatrixRegisters(Session& s) {
    for (quint8 address : {Reg::Matrix1, Reg::Matrix2, Reg::Matrix3}) {
        if (const std::optional<QString> error = writeRegister(s.adapter, s.image, address)) {
            s.status.show({ReportKind::Error, *error});
            return false;
        }
    }
    return true;
}

bool pushConfiguration(Session& s) {
    const ProgramResult result = writeConfiguration(s.adapter, s.image);
    if (!result.ok)
        s.status.show({ReportKind::Error, result.error});
    return result.ok;
}
