// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

#include <string>
#include <vector>

// What a USB device says about itself: the identity in its device descriptor and its strings.
struct UsbDeviceIdentity {
    quint16 vendorId = 0;
    quint16 productId = 0;
    quint16 release = 0x0100;  // bcdDevice
    quint8 deviceClass = 0xFF;
    quint16 maxPower = 100;    // mA
    std::string manufacturer;  // empty: the device has no such string (index 0)
    std::string product;

    quint8 manufacturerIndex() const { return manufacturer.empty() ? 0 : ManufacturerIndex; }
    quint8 productIndex() const { return product.empty() ? 0 : ProductIndex; }
    // The text of string descriptor `index`, or nullptr when the device has none.
    const std::string* string(int index) const;

    static constexpr quint8 ManufacturerIndex = 1;
    static constexpr quint8 ProductIndex = 2;
};

// The descriptors in the byte layout of the USB standard, little-endian.
namespace UsbDescriptors {
constexpr quint8 DeviceType = 1;
constexpr quint8 ConfigurationType = 2;
constexpr quint8 StringType = 3;
constexpr quint16 EnglishUs = 0x0409;

std::vector<quint8> device(const UsbDeviceIdentity& identity);
// One configuration with one vendor-specific interface that uses endpoint 0 alone.
std::vector<quint8> configuration(const UsbDeviceIdentity& identity);
// What sysfs offers libusb as the "descriptors" attribute: the device descriptor followed by
// every configuration descriptor.
std::vector<quint8> sysfsDescriptors(const UsbDeviceIdentity& identity);
// String descriptor 0: the list of languages, here US English alone.
std::vector<quint8> languages();
// A string descriptor: the UTF-8 text as UTF-16LE, cut to what fits in 255 bytes.
std::vector<quint8> string(const std::string& utf8);
}  // namespace UsbDescriptors
