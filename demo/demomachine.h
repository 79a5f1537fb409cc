// SPDX-License-Identifier: MIT
#pragma once

#include "emulatedusb.h"

#include <memory>

// The machine that vantrel-demo shows: an i2c-tiny-usb adapter with the given firmware on bus 1
// with a CY22150 at 0x69 in a working configuration, and two ordinary devices on other busses;
// with `raspberryPi`, also a Raspberry Pi's I2C bus i2c-1 (driver i2c-bcm2835) with a second
// CY22150 at 0x69 in the same configuration.
struct DemoMachine {
    EmulatedUsb usb;
    std::shared_ptr<EmulatedDevice> adapter;
    std::shared_ptr<EmulatedI2cBus> raspberryPiBus;  // null without

    explicit DemoMachine(const SimFirmwareProfile& firmware = SimFirmware::original(),
                         bool raspberryPi = false);
};
