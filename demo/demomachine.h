// SPDX-License-Identifier: MIT
#pragma once

#include "emulatedusb.h"

#include <memory>

// The machine that vantrel-demo shows: an i2c-tiny-usb adapter with the given firmware on bus 1
// with a CY22150 at 0x69 in a working configuration, and two ordinary devices on other busses.
struct DemoMachine {
    EmulatedUsb usb;
    std::shared_ptr<EmulatedDevice> adapter;

    explicit DemoMachine(const SimFirmwareProfile& firmware = SimFirmware::original());
};
