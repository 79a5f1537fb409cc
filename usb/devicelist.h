// SPDX-License-Identifier: MIT
#pragma once

#include "usb/usbbackend.h"

#include <QString>

#include <vector>

// The USB devices as the window's scan lists them.
struct ListedDevice {
    UsbDeviceInfo info;
    QString entry;  // "BUS_001-DEV_004-VID_0403-PID_C631 - manufacturer - product"
    bool adapter = false;
};

// The listing text of a device. Every device is opened briefly for its strings, whatever it is;
// one that cannot be opened is named by its identification.
QString listEntry(UsbBackend& usb, const UsbDeviceInfo& device);

// Enumerates again and names every device. Each device is opened briefly to read its
// manufacturer and product strings; one that cannot be opened is named by its identification.
std::vector<ListedDevice> listDevices(UsbBackend& usb);
