// SPDX-License-Identifier: MIT
#include "demomachine.h"

std::array<quint8, SimCy22150::RegisterCount> demoPowerOnRegisters() {
    std::array<quint8, SimCy22150::RegisterCount> r{};
    r[0x09] = 0x3F;  // LCLK1..CLK6 enabled
    r[0x0C] = 0x08;  // DIV1 from the PLL, DIV1N 8: 25 MHz
    r[0x12] = 0x30;  // XDRV 2
    r[0x13] = 0x40;  // CAPLOAD 64
    r[0x40] = 0xC4;  // charge pump 1, PB 96 ...
    r[0x41] = 0x60;  // ... so P = 2 x (96 + 4) = 200
    r[0x42] = 0x08;  // PO 0, Q 8: 10 MHz x 200 / (8 + 2) = 200 MHz
    // Crosspoints LCLK1 DIV1CLK/DIV1N, LCLK2 DIV2CLK/DIV2N, LCLK3 DIV1CLK/2, LCLK4 DIV2CLK/2,
    // CLK5 F ref, CLK6 DIV2CLK/4.
    r[0x44] = 0x31;
    r[0x45] = 0x51;
    r[0x46] = 0xBF;
    r[0x47] = 0x0A;  // DIV2 from the PLL, DIV2N 10: 20 MHz
    return r;
}

DemoMachine::DemoMachine(const SimFirmwareProfile& firmware) {
    adapter = usb.addAdapter(1, 4, 0x69, demoPowerOnRegisters(), firmware);
    usb.addDevice(EmulatedDeviceProfile::ordinary(2, 2, 0x1A2C, 0x0E24, "Generic", "USB Keyboard"));
    usb.addDevice(EmulatedDeviceProfile::ordinary(3, 3, 0x0781, 0x5567, "SanDisk", "Cruzer Blade"));
}
