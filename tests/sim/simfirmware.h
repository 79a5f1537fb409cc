// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

#include <string_view>

// What tells the published i2c-tiny-usb adapter firmwares apart, in one table. Everything else
// they share (SimI2cTinyUsb): each I2C IO addresses the chip, a begin after a transaction left
// open sends no START, the status reports the address acknowledge alone.
struct SimFirmwareProfile {
    const char* name;  // how the tests, and vantrel-demo's VANTREL_DEMO_FIRMWARE, name it
    const char* description;
    bool answersClassRequests;   // bmRequestType 0x20 / 0xA0
    bool answersVendorRequests;  // bmRequestType 0x40 / 0xC0
    quint32 functionality;       // the answer to request 1, sent little-endian
    const char* usbSpeed;        // as sysfs spells it, Mbit/s
};

namespace SimFirmware {
inline constexpr SimFirmwareProfile Profiles[] = {
    {"original", "the original AVR firmware: class and vendor requests, low speed", true, true,
     0x8EFF0001, "1.5"},
    {"vendor-only",
     "a TinyUSB-based port: vendor requests only, class requests stalled by the USB stack", false,
     true, 0x8EFF0001, "12"},
};

inline const SimFirmwareProfile& original() {
    return Profiles[0];
}
inline const SimFirmwareProfile& vendorOnly() {
    return Profiles[1];
}
// The profile of that name, or nullptr.
inline const SimFirmwareProfile* find(std::string_view name) {
    for (const SimFirmwareProfile& p : Profiles)
        if (name == p.name)
            return &p;
    return nullptr;
}
}  // namespace SimFirmware
