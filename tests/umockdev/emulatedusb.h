// SPDX-License-Identifier: MIT
#pragma once

#include "emulateddevice.h"
#include "emulatedi2cbus.h"

#include <QtGlobal>

#include <map>
#include <memory>
#include <string>
#include <vector>

class I2cDevNode;
class UsbfsNode;
struct _UMockdevIoctlBase;
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

    // --- I2C buses, as Linux shows them in sysfs and /dev ---
    // /sys/class/i2c-dev/i2c-N links to <adapter device>/i2c-N/i2c-dev/i2c-N, which has `name`
    // and `dev` (89:N); the adapter directory <adapter device>/i2c-N has `name` too and is linked
    // from /sys/bus/i2c/devices/i2c-N; the adapter device's `driver` links to
    // /sys/bus/<bus>/drivers/<driver>. Without i2c-dev only the adapter is there.
    //
    // A bus of a driver on a SoC hangs from its platform device; a bus of a USB bridge (mcp2221,
    // cp2112, ft260, dln2-i2c) from its HID or platform device on interface 1.0 of a USB device
    // of the bridge's ids, added on USB bus `usbBus` as device `usbAddress`.
    std::shared_ptr<EmulatedI2cBus> addI2cBus(const I2cBusSetup& setup, int usbBus = 2,
                                              int usbAddress = 0);
    // An i2c-tiny-usb adapter whose kernel driver is bound: the USB device as addAdapter makes
    // it, with the bus i2c-N hanging from its interface 1.0 while the driver is bound. Detaching
    // the driver through usbfs takes the bus away; binding it again brings it back. The chip
    // is the adapter's, at setup.chipAddress (which must be set).
    std::shared_ptr<EmulatedI2cBus> addAdapterWithKernelDriver(
        int usbBus, int usbAddress, const I2cBusSetup& setup,
        const SimFirmwareProfile& firmware = SimFirmware::original());
    // The node's mode: 0660 as a udev rule leaves it for the i2c group, or 0000 for nobody. It
    // stays so when the bus comes back after its kernel driver was detached.
    void setNodeAccessible(const EmulatedI2cBus& bus, bool accessible);
    // Loads or unloads the i2c-dev module: every bus's class entry and node come or go, the
    // adapters stay.
    void setI2cDevLoaded(bool loaded);

private:
    struct PublishedBus {
        std::shared_ptr<EmulatedI2cBus> bus;
        std::string adapterDevice;  // the sysfs path of the adapter's parent device
    };

    static std::string deviceNode(int bus, int address);
    std::string sysfsName(int bus);
    std::string realPath(const std::string& sysfsOrDevPath) const;
    std::string usbInterface(const std::shared_ptr<EmulatedDevice>& device, const char* driver,
                             const char* driverBus);
    void publish(const PublishedBus& published);
    void withdraw(const PublishedBus& published);
    void withdrawClassEntry(const PublishedBus& published);
    void applyNodeMode(const EmulatedI2cBus& bus, bool accessible);
    void attachNode(const std::string& node, _UMockdevIoctlBase* handler);

    _UMockdevTestbed* testbed_;
    std::string root_;
    std::map<const EmulatedDevice*, std::string> usbPaths_;  // sysfs path of each USB device
    std::map<int, int> devicesOnBus_;
    std::vector<std::string> attachedNodes_;
    std::vector<std::unique_ptr<UsbfsNode>> nodes_;
    std::vector<std::unique_ptr<I2cDevNode>> i2cNodes_;
    std::vector<PublishedBus> buses_;
    std::map<int, bool> nodeAccessible_;  // by bus number
    bool i2cDevLoaded_ = true;
};
