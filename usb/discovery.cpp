// SPDX-License-Identifier: MIT
#include "usb/discovery.h"

#include "usb/chipaccess.h"
#include "usb/deviceid.h"
#include "usb/i2cbuses.h"
#include "usb/i2cbustransport.h"

namespace {
// The line of a successful read, and after it the path when it is not plain USB.
QString readSuccessText(const AdapterConnection& c) {
    if (c.path == ChipPath::Usb)
        return DiscoveryText::ReadSuccess;
    return DiscoveryText::ReadSuccess + QStringLiteral(" (via ") + chipPathText(c) +
           QStringLiteral(")");
}

ChipReadOutcome openListedBus(AdapterConnection& c, int number, RegisterImage& image) {
    for (const I2cBusInfo& bus : listI2cBuses()) {
        if (bus.number != number)
            continue;
        if (i2c_open_bus(c, bus) != I2cResult::Ok)
            return {false, i2c_error_text(c)};
        const ChipRead read = readChip(c, image);
        return {read.ok(), read.ok() ? readSuccessText(c) : read.error};
    }
    return {false, QStringLiteral("Error: the I2C bus i2c-%1 is gone").arg(number)};
}
}  // namespace

std::optional<UsbDeviceInfo> findListedDevice(const UsbBackend& usb, const QString& entry) {
    for (const UsbBus& bus : usb.busses())
        for (const UsbDeviceInfo& device : bus.devices)
            if (entryMatchesDevice(entry, device))
                return device;
    return std::nullopt;
}

ChipReadOutcome openListedAdapter(AdapterConnection& c, const QString& entry,
                                  RegisterImage& image) {
    if (const std::optional<int> bus = parseBusListEntry(entry))
        return openListedBus(c, *bus, image);
    if (!entryNamesAdapter(entry))
        return {false, DiscoveryText::WrongAdapter};
    const std::optional<UsbDeviceInfo> device = findListedDevice(*c.usb, entry);
    if (!device)
        return {false, QString()};
    if (!isAdapter(device->vendorId, device->productId))
        return {false, DiscoveryText::WrongAdapter};
    const QString openError = openAdapter(c, *device);
    if (!openError.isEmpty())
        return {false, openError};
    const ChipRead read = readChip(c, image);
    return {read.ok(), read.ok() ? readSuccessText(c) : read.error};
}
