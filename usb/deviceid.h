// SPDX-License-Identifier: MIT
#pragma once

#include "usb/usbbackend.h"

#include <QString>
#include <QtGlobal>

#include <optional>
#include <string>

// How the USB menu names devices: the identification "BUS_001-DEV_004-VID_0403-PID_C631", the
// listing entry built from it, and the reading of such texts back. An entry carries no data
// besides its text, so these functions are the only link between an entry and its device.

// The i2c-tiny-usb adapter, the only device that is ever opened for use.
namespace AdapterIds {
constexpr quint16 VendorId = 0x0403;
constexpr quint16 ProductId = 0xC631;
}  // namespace AdapterIds

// Length of an identification while bus and device numbers stay below 1000; an entry and a
// device match when their first IdentificationLength characters agree.
constexpr int IdentificationLength = 33;
// Entries are assembled as in a buffer of 256 bytes.
constexpr int ListEntryMaxLength = 255;

struct UsbIds {
    quint16 vendorId = 0;
    quint16 productId = 0;
};

QString deviceIdentification(const UsbDeviceInfo& device);

// The identification, then " - manufacturer" and " - product" for each string that could be
// read (std::nullopt, for absent or unreadable, and an empty string add nothing), cut to
// ListEntryMaxLength characters without splitting a character. A string counts up to its first
// NUL byte and is shown as printableDeviceString shows it: UTF-8, with control characters and
// invalid bytes as visible replacements.
QString deviceListEntry(const UsbDeviceInfo& device, const std::optional<std::string>& manufacturer,
                        const std::optional<std::string>& product);

// VID and PID of an entry text; std::nullopt when the text does not start with an
// identification.
std::optional<UsbIds> parseEntryIds(const QString& entry);

bool isAdapter(quint16 vendorId, quint16 productId);
// Whether an entry text names an i2c-tiny-usb adapter; a text that does not parse does not.
bool entryNamesAdapter(const QString& entry);

bool entryMatchesDevice(const QString& entry, const UsbDeviceInfo& device);

// The I2C address entries "0x00" .. "0x7F".
QString i2cAddressText(quint8 address);
// The address of such an entry: the hexadecimal bytes after the "x", the first of them; 0 when
// there is no "x" or nothing after it decodes.
quint8 parseI2cAddress(const QString& text);
