// SPDX-License-Identifier: MIT
#include "session/chipwrite.h"

#include "session/session.h"
#include "usb/chipprogram.h"
#include "usb/chipreading.h"

namespace {
const QString NoAdapter = QStringLiteral("Error: No adapter is open: nothing was written.");

// One operation for other programs on the adapter: the writes and their read-back.
bool verify(Session& s, const std::vector<quint8>& written) {
    AdapterConnection& c = s.adapter;
    RegisterImage readBack;
    QString error;
    if (!readWholeChip(c, readBack, "reading back", error)) {
        s.chip.forget();
        s.status.show({ReportKind::Error, error});
        return false;
    }
    s.chip.takeRead(readBack);
    const std::vector<RegisterDifference> differences = compareConfiguration(s.image, readBack);
    for (const RegisterDifference& d : differences) {
        ChipLogEntry entry;
        entry.kind = ChipLogEntry::Kind::ReadBack;
        entry.time = QDateTime::currentDateTime();
        entry.adapter = connectionName(s.adapter);
        entry.i2cAddress = c.i2cAddress;
        entry.address = d.address;
        entry.old = d.read;
        entry.value = d.expected;
        entry.ok = false;
        entry.result = QString::asprintf("read back 0x%02X", d.read);
        s.log.add(std::move(entry));
    }
    if (!differences.empty()) {
        s.status.show(
            {ReportKind::Error, verifyFailureText(differences.size(), SafeWriteOrder.size())});
        return false;
    }
    s.status.show({ReportKind::Info, QStringLiteral("Info: Wrote %1 registers to %2")
                                             .arg(written.size())
                                             .arg(connectionName(c)) +
                                         QString::asprintf(" at 0x%02X, verified.", c.i2cAddress)});
    return true;
}
}  // namespace

bool writeDifferencesToChip(Session& s) {
    AdapterConnection& c = s.adapter;
    if (!i2c_is_open(c)) {
        s.status.show({ReportKind::Error, NoAdapter});
        return false;
    }
    const AdapterHold hold(c);
    if (!hold.ok()) {
        s.status.show({ReportKind::Error, i2c_error_text(c)});
        return false;
    }
    const std::vector<quint8> registers = s.chip.differingRegisters(s.image);
    if (const std::optional<FailedWrite> failed = writeChipRegisters(s, registers)) {
        s.status.show({ReportKind::Error, writeFailureText(failed->address, failed->error)});
        return false;
    }
    return verify(s, registers);
}

bool readChipAgain(Session& s) {
    AdapterConnection& c = s.adapter;
    if (!i2c_is_open(c)) {
        s.chip.forget();
        s.status.show({ReportKind::Error, QStringLiteral("Error: No adapter is open.")});
        return false;
    }
    RegisterImage read;
    QString error;
    if (!readWholeChip(c, read, "reading the chip", error)) {
        s.chip.forget();
        s.status.show({ReportKind::Error, error});
        return false;
    }
    s.chip.takeRead(read);
    s.status.show({ReportKind::Info, QStringLiteral("Info: Chip read; the window's values are "
                                                    "unchanged.")});
    return true;
}
