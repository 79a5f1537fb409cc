// SPDX-License-Identifier: MIT
#include "demomachine.h"

#include "demochip.h"

DemoMachine::DemoMachine(const SimFirmwareProfile& firmware, bool raspberryPi) {
    adapter = usb.addAdapter(1, 4, 0x69, demoPowerOnRegisters(), firmware);
    usb.addDevice(EmulatedDeviceProfile::ordinary(2, 2, 0x1A2C, 0x0E24, "Generic", "USB Keyboard"));
    usb.addDevice(EmulatedDeviceProfile::ordinary(3, 3, 0x0781, 0x5567, "SanDisk", "Cruzer Blade"));
    if (!raspberryPi)
        return;
    I2cBusSetup pi;
    pi.number = 1;
    pi.driver = &I2cDrivers::bcm2835();
    pi.chipAddress = 0x69;
    pi.chipRegisters = demoPowerOnRegisters();
    raspberryPiBus = usb.addI2cBus(pi);
}
