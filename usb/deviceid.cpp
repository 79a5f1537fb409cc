// SPDX-License-Identifier: MIT
#include "usb/deviceid.h"

#include "common/printabletext.h"

#include <QByteArray>

#include <cstdio>

QString deviceIdentification(const UsbDeviceInfo& device) {
    return QString::asprintf("BUS_%03d-DEV_%03d-VID_%04X-PID_%04X", device.busNumber,
                             device.deviceNumber, unsigned(device.vendorId),
                             unsigned(device.productId));
}

namespace {
// A device string appended the way "%s" would: up to its first NUL byte, as UTF-8 made
// printable, so that a device cannot break the entry's line. A read that returned nothing adds
// nothing.
void appendDeviceString(QString& entry, const std::optional<std::string>& text) {
    if (!text || text->empty()) {
        return;
    }
    entry += QStringLiteral(" - ") + printableDeviceString(std::string(text->c_str()));
}
}  // namespace

QString deviceListEntry(const UsbDeviceInfo& device, const std::optional<std::string>& manufacturer,
                        const std::optional<std::string>& product) {
    QString entry = deviceIdentification(device);
    appendDeviceString(entry, manufacturer);
    appendDeviceString(entry, product);
    return cutWhole(entry, ListEntryMaxLength);
}

std::optional<UsbIds> parseEntryIds(const QString& entry) {
    const QByteArray text = entry.toLatin1();
    int bus = 0;
    int device = 0;
    unsigned vendorId = 0;
    unsigned productId = 0;
    // All four fields must convert; a partial match leaves the IDs undefined.
    if (std::sscanf(text.constData(), "BUS_%03d-DEV_%03d-VID_%04X-PID_%04X", &bus, &device,
                    &vendorId, &productId) != 4) {
        return std::nullopt;
    }
    return UsbIds{quint16(vendorId), quint16(productId)};
}

bool isAdapter(quint16 vendorId, quint16 productId) {
    return vendorId == AdapterIds::VendorId && productId == AdapterIds::ProductId;
}

bool entryNamesAdapter(const QString& entry) {
    const std::optional<UsbIds> ids = parseEntryIds(entry);
    return ids && isAdapter(ids->vendorId, ids->productId);
}

bool entryMatchesDevice(const QString& entry, const UsbDeviceInfo& device) {
    return entry.left(IdentificationLength) ==
           deviceIdentification(device).left(IdentificationLength);
}

QString i2cAddressText(quint8 address) {
    return QString::asprintf("0x%02X", unsigned(address));
}

quint8 parseI2cAddress(const QString& text) {
    // A text without an "x" has no piece after it and gives 0 like an undecodable one.
    const QByteArray bytes = QByteArray::fromHex(text.section(QLatin1Char('x'), 1, 1).toLatin1());
    return bytes.isEmpty() ? 0 : quint8(bytes.at(0));
}
