// SPDX-License-Identifier: MIT
#include "emulatedusb.h"

#include "usbfsnode.h"

#include <umockdev.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <link.h>

#include <cstring>
#include <stdexcept>

namespace {
constexpr quint16 AdapterVendorId = 0x0403;
constexpr quint16 AdapterProductId = 0xC631;

std::string line(const std::string& text) {
    return text + "\n";  // sysfs attributes end with a newline
}

std::string hex4(quint16 value) {
    return QString::asprintf("%04x", value).toStdString();
}

using NameValues = std::vector<std::pair<std::string, std::string>>;

// name, value, name, value, ..., nullptr: the lists that umockdev_testbed_add_devicev takes.
std::vector<gchar*> flatten(const NameValues& pairs) {
    std::vector<gchar*> list;
    for (const auto& [name, value] : pairs) {
        list.push_back(const_cast<gchar*>(name.c_str()));
        list.push_back(const_cast<gchar*>(value.c_str()));
    }
    list.push_back(nullptr);
    return list;
}

void addSysfsRecord(UMockdevTestbed* testbed, const std::string& name,
                    const EmulatedDeviceProfile& profile, const std::string& node) {
    const UsbDeviceIdentity& id = profile.identity;
    NameValues attributes{{"busnum", line(std::to_string(profile.bus))},
                          {"devnum", line(std::to_string(profile.address))},
                          {"speed", line(profile.speed)},
                          {"idVendor", line(hex4(id.vendorId))},
                          {"idProduct", line(hex4(id.productId))},
                          {"bConfigurationValue", line("1")}};
    if (!id.manufacturer.empty())
        attributes.emplace_back("manufacturer", line(id.manufacturer));
    if (!id.product.empty())
        attributes.emplace_back("product", line(id.product));
    const NameValues properties{
        {"SUBSYSTEM", "usb"},
        {"DEVTYPE", "usb_device"},
        {"DEVNAME", node},
        {"BUSNUM", QString::asprintf("%03d", profile.bus).toStdString()},
        {"DEVNUM", QString::asprintf("%03d", profile.address).toStdString()}};

    std::vector<gchar*> attributeList = flatten(attributes);
    std::vector<gchar*> propertyList = flatten(properties);
    gchar* path = umockdev_testbed_add_devicev(testbed, "usb", name.c_str(), nullptr,
                                               attributeList.data(), propertyList.data());
    if (!path)
        throw std::runtime_error("umockdev could not add the device " + name);
    std::vector<guint8> descriptors = UsbDescriptors::sysfsDescriptors(id);
    umockdev_testbed_set_attribute_binary(testbed, path, "descriptors", descriptors.data(),
                                          int(descriptors.size()));
    g_free(path);
}

// umockdev routes a node's ioctls to its handler only when the node exists in the testbed.
void createNode(UMockdevTestbed* testbed, const std::string& node) {
    gchar* root = umockdev_testbed_get_root_dir(testbed);
    const QString path = QString::fromUtf8(root) + QString::fromStdString(node);
    g_free(root);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot create the device node " + path.toStdString());
}
}  // namespace

EmulatedUsb::EmulatedUsb() : testbed_(umockdev_testbed_new()) {}

EmulatedUsb::~EmulatedUsb() {
    for (const std::string& node : attachedNodes_)
        umockdev_testbed_detach_ioctl(testbed_, node.c_str(), nullptr);
    nodes_.clear();
    g_object_unref(testbed_);  // removes the testbed's directory
}

bool EmulatedUsb::preloaded() {
    // umockdev_in_mock_environment() says no under umockdev-wrapper too: look for the library.
    auto isPreload = [](dl_phdr_info* info, size_t, void*) -> int {
        return info->dlpi_name && std::strstr(info->dlpi_name, "libumockdev-preload") ? 1 : 0;
    };
    return dl_iterate_phdr(isPreload, nullptr) != 0;
}

std::string EmulatedUsb::deviceNode(int bus, int address) {
    return QString::asprintf("/dev/bus/usb/%03d/%03d", bus, address).toStdString();
}

std::string EmulatedUsb::sysfsName(int bus) {
    return std::to_string(bus) + "-" + std::to_string(++devicesOnBus_[bus]);
}

std::shared_ptr<EmulatedDevice> EmulatedUsb::addDevice(const EmulatedDeviceProfile& profile) {
    auto device = std::make_shared<EmulatedDevice>(profile);
    const std::string node = deviceNode(profile.bus, profile.address);
    addSysfsRecord(testbed_, sysfsName(profile.bus), profile, node);
    if (!profile.hasDeviceNode)
        return device;
    createNode(testbed_, node);
    auto usbfs = std::make_unique<UsbfsNode>(device);
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(testbed_, node.c_str(), usbfs->handler(), &error)) {
        const std::string message = error ? error->message : "unknown error";
        g_clear_error(&error);
        throw std::runtime_error("umockdev could not attach " + node + ": " + message);
    }
    attachedNodes_.push_back(node);
    nodes_.push_back(std::move(usbfs));
    return device;
}

EmulatedDeviceProfile EmulatedUsb::adapterProfile(int bus, int address, quint8 chipAddress,
                                                  const SimFirmwareProfile& firmware) {
    EmulatedDeviceProfile profile;
    profile.bus = bus;
    profile.address = address;
    profile.speed = firmware.usbSpeed;
    profile.firmware = &firmware;
    profile.identity.vendorId = AdapterVendorId;
    profile.identity.productId = AdapterProductId;
    profile.identity.release = 0x0104;
    profile.identity.manufacturer = "Vantrel emulation";
    profile.identity.product = "i2c-tiny-usb";
    profile.chipAddress = chipAddress;
    return profile;
}

std::shared_ptr<EmulatedDevice> EmulatedUsb::addAdapter(
    int bus, int address, quint8 chipAddress,
    const std::array<quint8, SimCy22150::RegisterCount>& registers,
    const SimFirmwareProfile& firmware) {
    EmulatedDeviceProfile profile = adapterProfile(bus, address, chipAddress, firmware);
    profile.chipRegisters = registers;
    return addDevice(profile);
}
