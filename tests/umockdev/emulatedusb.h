// SPDX-License-Identifier: MIT
#pragma once

#include "emulateddevice.h"

#include <QtGlobal>

#include <map>
#include <memory>
#include <string>
#include <vector>

class UsbfsNode;
struct _UMockdevTestbed;

// A machine's USB as the unmodified libusb-1.0 sees it, made with umockdev: every device gets a
// sysfs record (descriptors, busnum, devnum, speed; SUBSYSTEM=usb, DEVTYPE=usb_device, DEVNAME)
// and a device node whose ioctls a UsbfsNode answers.
//
// libusb reaches the emulation only through umockdev's preload library (run the process under
// umockdev-wrapper, or link libumockdev-preload first) and only while the emulation exists: the
// first libusb_init of the process must come after the construction, since libusb looks for
// usbfs and sysfs once per process. Processes started while it exists inherit UMOCKDEV_DIR and
// see the same devices, with their ioctls answered in this process.
//
// A device's sysfs name is "bus-port", ports counted from 1 in the order of adding. libusb-1.0
// on Linux lists the devices in the reverse order of those names: the last device added to the
// highest bus comes first.
//
// Removing devices is slow in umockdev (tens of milliseconds each, when the emulation ends), so
// tests that can share one machine keep it and power-cycle its devices instead.
class EmulatedUsb {
public:
    EmulatedUsb();
    ~EmulatedUsb();
    EmulatedUsb(const EmulatedUsb&) = delete;
    EmulatedUsb& operator=(const EmulatedUsb&) = delete;

    // Whether umockdev's preload library is in this process, so that libusb sees the emulation.
    static bool preloaded();

    std::shared_ptr<EmulatedDevice> addDevice(const EmulatedDeviceProfile& profile);
    // An i2c-tiny-usb adapter (0403:C631) with `firmware`, at its USB speed, and a CY22150 at
    // `chipAddress` whose registers hold `registers` after power-on.
    std::shared_ptr<EmulatedDevice> addAdapter(
        int bus, int address, quint8 chipAddress = 0x69,
        const std::array<quint8, SimCy22150::RegisterCount>& registers = {},
        const SimFirmwareProfile& firmware = SimFirmware::original());

    static EmulatedDeviceProfile adapterProfile(
        int bus, int address, quint8 chipAddress,
        const SimFirmwareProfile& firmware = SimFirmware::original());

private:
    static std::string deviceNode(int bus, int address);
    std::string sysfsName(int bus);

    _UMockdevTestbed* testbed_;
    std::map<int, int> devicesOnBus_;
    std::vector<std::string> attachedNodes_;
    std::vector<std::unique_ptr<UsbfsNode>> nodes_;
};
