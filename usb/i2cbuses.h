// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>
#include <vector>

// The I2C buses Linux offers as /dev/i2c-N, as sysfs describes them.

// The USB device a bus belongs to: libusb's bus number and address, and its ids.
struct I2cBusUsbDevice {
    int busNumber = 0;
    int deviceNumber = 0;
    quint16 vendorId = 0;
    quint16 productId = 0;
};

struct I2cBusInfo {
    int number = -1;  // N of i2c-N
    QString name;     // the adapter's name attribute
    QString driver;   // the adapter's kernel driver, e.g. "i2c-tiny-usb"; empty when none shows
    std::optional<I2cBusUsbDevice> usb;  // for a USB-backed bus

    QString busName() const { return QStringLiteral("i2c-%1").arg(number); }
    QString node() const { return QStringLiteral("/dev/i2c-%1").arg(number); }
};

// The root that sysfs is read under: "/sys", or VANTREL_SYSFS_ROOT when set (a laid-out copy
// for tests).
QString sysfsRoot();

// Every /sys/class/i2c-dev/i2c-N, in the order of N.
std::vector<I2cBusInfo> listI2cBuses();

// Whether the kernel knows I2C adapters (/sys/bus/i2c/devices/i2c-N) while no /dev/i2c-N
// stands for them: the i2c-dev module is not loaded.
bool i2cDevMissing();

// The bus of an i2c-tiny-usb adapter (or any USB device) at libusb's bus and address.
std::optional<I2cBusInfo> findBusOfUsbDevice(const std::vector<I2cBusInfo>& buses, int busNumber,
                                             int deviceNumber);

// N of "i2c-N", "N" or "/dev/i2c-N"; std::nullopt for anything else.
std::optional<int> parseI2cBusName(const QString& text);

// How the window's USB box and the scan name a bus: "I2C_1 - bcm2835 (i2c@7e804000)", the name
// made printable.
QString busListEntry(const I2cBusInfo& bus);
// N of such an entry; std::nullopt for any other text.
std::optional<int> parseBusListEntry(const QString& entry);

// The line that says that i2c-dev is not loaded.
QString i2cDevMissingText();
