// SPDX-License-Identifier: MIT
#include "demomachine.h"

#include "demochip.h"

DemoMachine::DemoMachine(const SimFirmwareProfile& firmware) {
    adapter = usb.addAdapter(1, 4, 0x69, demoPowerOnRegisters(), firmware);
    usb.addDevice(EmulatedDeviceProfile::ordinary(2, 2, 0x1A2C, 0x0E24, "Generic", "USB Keyboard"));
    usb.addDevice(EmulatedDeviceProfile::ordinary(3, 3, 0x0781, 0x5567, "SanDisk", "Cruzer Blade"));
}
