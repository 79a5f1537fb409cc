// SPDX-License-Identifier: MIT
#pragma once

#include "registers/registerimage.h"
#include "usb/usbbackend.h"

#include <QString>

#include <optional>

struct AdapterConnection;

namespace DiscoveryText {
inline const QString NoUsbSubsystem = QStringLiteral("No USB subsystem found on this machine!");
inline const QString WrongAdapter =
    QStringLiteral("Error: wrong VID/PID, only i2c-tiny-usb interface supported");
inline const QString ReadSuccess = QStringLiteral("Info: Device configuration successfully read.");
}  // namespace DiscoveryText

// The device of the last enumeration whose identification starts a listing entry.
std::optional<UsbDeviceInfo> findListedDevice(const UsbBackend& usb, const QString& entry);

// What opening an adapter and reading its chip came to: the line to show (empty: nothing to say),
// an error unless ok.
struct ChipReadOutcome {
    bool ok = false;
    QString message;
};

// Opens the adapter named by a listing entry of the last enumeration (no new one), or the I2C
// bus of an "I2C_N - ..." entry, into the connection, which must have none open, and reads all
// 256 registers at the connection's I2C address straight into the image: bytes read before a
// failure stay there. The success line names the path when it is not plain USB.
ChipReadOutcome openListedAdapter(AdapterConnection& c, const QString& entry, RegisterImage& image);
