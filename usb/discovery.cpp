#include "usb/discovery.h"

#include "usb/deviceid.h"
#include "usb/i2ctinyusb.h"

#include <string>

namespace {
std::optional<std::string> readDeviceString(UsbBackend& usb, UsbHandle* handle, int index) {
    std::string text;
    if (index == 0 || usb.readString(handle, index, text) <= 0)
        return std::nullopt;
    return text;
}

ChipReadOutcome readOutcome(const AdapterConnection& c, int result) {
    switch (result) {
        case I2cResult::Ok:
            return {true, DiscoveryText::ReadSuccess};
        case I2cResult::NoAcknowledge:
            return {false, DiscoveryText::NotFound};
        case I2cResult::ReadNotAcknowledged:
            return {false, DiscoveryText::NotCompletelyReadable};
        case I2cResult::BadCount:
            return {false, QString()};
        default:
            return {false, i2c_error_text(c)};
    }
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
    UsbHandle* handle = c.usb->open(*device);
    if (!handle)
        return {false, i2c_error_text(c)};
    c.handle = handle;
    const int result =
        i2c_read_registers(c, c.i2cAddress, 0, RegisterImage::Size, image.bytes.data());
    return readOutcome(c, result);
}
