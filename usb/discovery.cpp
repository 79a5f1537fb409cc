// SPDX-License-Identifier: MIT
#include "usb/discovery.h"

#include "usb/chipaccess.h"
#include "usb/deviceid.h"

std::optional<UsbDeviceInfo> findListedDevice(const UsbBackend& usb, const QString& entry) {
    for (const UsbBus& bus : usb.busses())
        for (const UsbDeviceInfo& device : bus.devices)
            if (entryMatchesDevice(entry, device))
                return device;
    return std::nullopt;
}

ChipReadOutcome openListedAdapter(AdapterConnection& c, const QString& entry,
                                  RegisterImage& image) {
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
    return {read.ok(), read.ok() ? DiscoveryText::ReadSuccess : read.error};
}
