// SPDX-License-Identifier: MIT
#include "usb/devicelist.h"

#include "usb/deviceid.h"

#include <optional>
#include <string>

namespace {
std::optional<std::string> readDeviceString(UsbBackend& usb, UsbHandle* handle, int index) {
    std::string text;
    if (index == 0 || usb.readString(handle, index, text) <= 0)
        return std::nullopt;
    return text;
}
}  // namespace

QString listEntry(UsbBackend& usb, const UsbDeviceInfo& device) {
    std::optional<std::string> manufacturer;
    std::optional<std::string> product;
    if (UsbHandle* handle = usb.open(device)) {
        manufacturer = readDeviceString(usb, handle, device.manufacturerIndex);
        product = readDeviceString(usb, handle, device.productIndex);
        usb.close(handle);
    }
    return deviceListEntry(device, manufacturer, product);
}

std::vector<ListedDevice> listDevices(UsbBackend& usb) {
    usb.rescan();
    std::vector<ListedDevice> listed;
    for (const UsbBus& bus : usb.busses()) {
        for (const UsbDeviceInfo& device : bus.devices) {
            listed.push_back(
                {device, listEntry(usb, device), isAdapter(device.vendorId, device.productId)});
        }
    }
    return listed;
}
