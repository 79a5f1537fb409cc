// SPDX-License-Identifier: MIT
#include "session/session.h"

#include "usb/chipprogram.h"
#include "usb/deviceid.h"

QString connectionName(const AdapterConnection& c) {
    if (c.path != ChipPath::I2cDev)
        return deviceIdentification(c.device);
    const QString bus = QStringLiteral("i2c-%1").arg(c.bus.number);
    return c.usbBacked
               ? bus + QStringLiteral(" (") + deviceIdentification(c.device) + QLatin1Char(')')
               : bus;
}

std::optional<QString> writeToChip(Session& s, quint8 address) {
    AdapterConnection& c = s.adapter;
    if (!i2c_is_open(c))
        return std::nullopt;
    ChipLogEntry entry;
    entry.time = QDateTime::currentDateTime();
    entry.adapter = connectionName(c);
    entry.i2cAddress = c.i2cAddress;
    entry.address = address;
    entry.old = s.chip.value(address);
    entry.value = s.image[address];
    const std::optional<QString> error = writeRegister(c, s.image, address);
    entry.ok = !error;
    entry.result = error ? *error : QStringLiteral("ok");
    if (error)
        s.chip.forgetRegister(address);
    else
        s.chip.takeWrite(address, entry.value);
    s.log.add(std::move(entry));
    return error;
}

std::optional<FailedWrite> writeChipRegisters(Session& s, const std::vector<quint8>& registers) {
    for (quint8 address : registers) {
        if (const std::optional<QString> error = writeToChip(s, address))
            return FailedWrite{address, *error};
    }
    return std::nullopt;
}

void copyDividersToSolver(Session& s) {
    s.solver.divider1 = Field::div1N(s.image);
    s.solver.divider2 = Field::div2N(s.image);
}

void pushRegister(Session& s, quint8 address) {
    if (!s.liveWrites)
        return;
    if (const std::optional<QString> error = writeToChip(s, address))
        s.status.show({ReportKind::Error, *error});
}

void pushCoreRegisters(Session& s) {
    for (quint8 address : CoreRegisters)
        pushRegister(s, address);
}

bool pushMatrixRegisters(Session& s) {
    if (!s.liveWrites)
        return true;
    if (const std::optional<FailedWrite> failed =
            writeChipRegisters(s, {Reg::Matrix1, Reg::Matrix2, Reg::Matrix3})) {
        s.status.show({ReportKind::Error, failed->error});
        return false;
    }
    return true;
}

bool pushConfiguration(Session& s) {
    if (!s.liveWrites)
        return true;
    const std::optional<FailedWrite> failed =
        writeChipRegisters(s, {SafeWriteOrder.begin(), SafeWriteOrder.end()});
    if (failed)
        s.status.show({ReportKind::Error, failed->error});
    return !failed;
}
