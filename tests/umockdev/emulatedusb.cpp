// SPDX-License-Identifier: MIT
#include "emulatedusb.h"

#include "i2cdevnode.h"
#include "usbfsnode.h"

#include <umockdev.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <link.h>

#include <algorithm>
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

// Returns the device's sysfs path, such as /sys/devices/1-1.
std::string addSysfsRecord(UMockdevTestbed* testbed, const std::string& name,
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
    const std::string sysfsPath = path;
    g_free(path);
    return sysfsPath;
}

// --- plain sysfs entries, made as files, directories and relative links in the testbed ---
void makeDirectory(const std::string& path) {
    if (!QDir().mkpath(QString::fromStdString(path)))
        throw std::runtime_error("cannot create " + path);
}

void writeAttribute(const std::string& directory, const std::string& name,
                    const std::string& value) {
    makeDirectory(directory);
    QFile file(QString::fromStdString(directory + "/" + name));
    if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray::fromStdString(value)) < 0)
        throw std::runtime_error("cannot write " + directory + "/" + name);
}

// A link at `link` to `target`, relative as sysfs makes them, so that it resolves inside the
// testbed (umockdev's preload library moves only the start of a path).
void makeLink(const std::string& target, const std::string& link) {
    const QFileInfo at(QString::fromStdString(link));
    makeDirectory(at.path().toStdString());
    const QString relative = QDir(at.path()).relativeFilePath(QString::fromStdString(target));
    QFile::remove(at.filePath());
    if (!QFile::link(relative, at.filePath()))
        throw std::runtime_error("cannot link " + link);
}

std::string replaced(std::string text, const std::string& token, const std::string& value) {
    for (auto at = text.find(token); at != std::string::npos; at = text.find(token))
        text.replace(at, token.size(), value);
    return text;
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

EmulatedUsb::EmulatedUsb() : testbed_(umockdev_testbed_new()) {
    gchar* root = umockdev_testbed_get_root_dir(testbed_);
    root_ = root;
    g_free(root);
}

EmulatedUsb::~EmulatedUsb() {
    for (const PublishedBus& published : buses_)
        if (published.bus->adapter())
            published.bus->adapter()->setKernelDriverListener(nullptr);
    for (const std::string& node : attachedNodes_)
        umockdev_testbed_detach_ioctl(testbed_, node.c_str(), nullptr);
    nodes_.clear();
    i2cNodes_.clear();
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
    usbPaths_[device.get()] = addSysfsRecord(testbed_, sysfsName(profile.bus), profile, node);
    if (!profile.hasDeviceNode)
        return device;
    createNode(testbed_, node);
    auto usbfs = std::make_unique<UsbfsNode>(device);
    attachNode(node, usbfs->handler());
    nodes_.push_back(std::move(usbfs));
    return device;
}

void EmulatedUsb::attachNode(const std::string& node, _UMockdevIoctlBase* handler) {
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(testbed_, node.c_str(), handler, &error)) {
        const std::string message = error ? error->message : "unknown error";
        g_clear_error(&error);
        throw std::runtime_error("umockdev could not attach " + node + ": " + message);
    }
    attachedNodes_.push_back(node);
}

std::string EmulatedUsb::realPath(const std::string& sysfsOrDevPath) const {
    return root_ + sysfsOrDevPath;
}

// Interface 1.0 of a USB device, bound to `driver` of `driverBus` unless that is null.
std::string EmulatedUsb::usbInterface(const std::shared_ptr<EmulatedDevice>& device,
                                      const char* driver, const char* driverBus) {
    const std::string usbPath = usbPaths_.at(device.get());
    const std::string name = usbPath.substr(usbPath.rfind('/') + 1);
    const std::string iface = usbPath + "/" + name + ":1.0";
    writeAttribute(realPath(iface), "bInterfaceNumber", line("00"));
    if (driver) {
        const std::string drivers = std::string("/sys/bus/") + driverBus + "/drivers/" + driver;
        makeDirectory(realPath(drivers));
        makeLink(realPath(drivers), realPath(iface + "/driver"));
    }
    return iface;
}

std::shared_ptr<EmulatedI2cBus> EmulatedUsb::addI2cBus(const I2cBusSetup& setup, int usbBus,
                                                       int usbAddress) {
    const I2cDriverProfile& d = *setup.driver;
    if (d.parent == I2cDriverProfile::Parent::UsbInterface)
        throw std::invalid_argument("an i2c-tiny-usb bus comes with its adapter");
    PublishedBus published{std::make_shared<EmulatedI2cBus>(setup, nullptr), {}};
    switch (d.parent) {
        case I2cDriverProfile::Parent::Platform:
            published.adapterDevice = std::string("/sys/devices/") + d.parentName;
            break;
        case I2cDriverProfile::Parent::UsbPlatform:
        case I2cDriverProfile::Parent::UsbHid: {
            const auto device = addDevice(EmulatedDeviceProfile::ordinary(
                usbBus, usbAddress != 0 ? usbAddress : 20 + setup.number, d.usbVendor, d.usbProduct,
                "Vantrel emulation", d.driver));
            const bool hid = d.parent == I2cDriverProfile::Parent::UsbHid;
            // The interface's own driver: usbhid below a HID bridge, the multi-function core
            // (dln2) below the platform cell.
            published.adapterDevice =
                usbInterface(device, hid ? "usbhid" : "dln2", "usb") + "/" + d.parentName;
            break;
        }
        case I2cDriverProfile::Parent::UsbInterface:
            break;
    }
    buses_.push_back(published);
    publish(published);
    return published.bus;
}

std::shared_ptr<EmulatedI2cBus> EmulatedUsb::addAdapterWithKernelDriver(
    int usbBus, int usbAddress, const I2cBusSetup& setup, const SimFirmwareProfile& firmware) {
    if (!setup.chipAddress || setup.driver != &I2cDrivers::tinyUsb())
        throw std::invalid_argument("an i2c-tiny-usb adapter with its chip's address");
    EmulatedDeviceProfile profile =
        adapterProfile(usbBus, usbAddress, *setup.chipAddress, firmware);
    profile.chipRegisters = setup.chipRegisters;
    profile.kernelDriver = setup.driver->driver;
    const auto device = addDevice(profile);
    PublishedBus published{std::make_shared<EmulatedI2cBus>(setup, device),
                           usbInterface(device, nullptr, nullptr)};
    buses_.push_back(published);
    device->setKernelDriverListener([this, published](bool bound) {
        if (bound)
            publish(published);
        else
            withdraw(published);
    });
    publish(published);
    return published.bus;
}

// The adapter device's driver, the adapter i2c-N below it and, with i2c-dev, its class entry and
// its node; an i2c-tiny-usb adapter's node is attached once and stays attached while withdrawn.
void EmulatedUsb::publish(const PublishedBus& published) {
    const EmulatedI2cBus& bus = *published.bus;
    const I2cDriverProfile& d = bus.driver();
    const std::string number = std::to_string(bus.number());
    const std::string busName = bus.busName();
    const std::string device = realPath(published.adapterDevice);
    std::string name = d.adapterName;
    if (const auto adapter = bus.adapter()) {
        name = replaced(name, "{bus}",
                        QString::asprintf("%03d", adapter->profile().bus).toStdString());
        name = replaced(name, "{device}",
                        QString::asprintf("%03d", adapter->profile().address).toStdString());
    }
    // The USB interface a platform cell hangs from: the directory above the adapter device.
    const QString above = QFileInfo(QString::fromStdString(published.adapterDevice)).path();
    name = replaced(name, "{interface}", QFileInfo(above).fileName().toStdString());
    const std::string drivers = std::string("/sys/bus/") + d.driverBus + "/drivers/" + d.driver;
    makeDirectory(realPath(drivers));
    makeLink(realPath(drivers), device + "/driver");

    const std::string adapterDir = device + "/" + busName;
    writeAttribute(adapterDir, "name", line(name));
    makeDirectory(realPath("/sys/bus/i2c/devices"));
    makeLink(realPath("/sys/bus/i2c"), adapterDir + "/subsystem");
    makeLink(adapterDir, realPath("/sys/bus/i2c/devices/" + busName));
    if (!bus.setup().i2cDevLoaded || !i2cDevLoaded_)
        return;
    const std::string classDir = adapterDir + "/i2c-dev/" + busName;
    writeAttribute(classDir, "name", line(name));
    writeAttribute(classDir, "dev", line("89:" + number));
    writeAttribute(classDir, "uevent", "MAJOR=89\nMINOR=" + number + "\nDEVNAME=" + busName + "\n");
    makeLink(adapterDir, classDir + "/device");
    makeLink(realPath("/sys/class/i2c-dev"), classDir + "/subsystem");
    makeLink(classDir, realPath("/sys/class/i2c-dev/" + busName));

    createNode(testbed_, bus.node());
    const auto accessible = nodeAccessible_.find(bus.number());
    applyNodeMode(
        bus, accessible != nodeAccessible_.end() ? accessible->second : bus.setup().nodeAccessible);
    const bool attached =
        std::find(attachedNodes_.begin(), attachedNodes_.end(), bus.node()) != attachedNodes_.end();
    if (!attached) {
        auto node = std::make_unique<I2cDevNode>(published.bus);
        attachNode(bus.node(), node->handler());
        i2cNodes_.push_back(std::move(node));
    }
}

void EmulatedUsb::withdraw(const PublishedBus& published) {
    const EmulatedI2cBus& bus = *published.bus;
    const std::string device = realPath(published.adapterDevice);
    withdrawClassEntry(published);
    QFile::remove(QString::fromStdString(realPath("/sys/bus/i2c/devices/" + bus.busName())));
    QDir(QString::fromStdString(device + "/" + bus.busName())).removeRecursively();
    QFile::remove(QString::fromStdString(device + "/driver"));
}

void EmulatedUsb::withdrawClassEntry(const PublishedBus& published) {
    const EmulatedI2cBus& bus = *published.bus;
    const std::string adapterDir = realPath(published.adapterDevice) + "/" + bus.busName();
    QFile::remove(QString::fromStdString(realPath("/sys/class/i2c-dev/" + bus.busName())));
    QDir(QString::fromStdString(adapterDir + "/i2c-dev")).removeRecursively();
    QFile::remove(QString::fromStdString(realPath(bus.node())));
}

void EmulatedUsb::setI2cDevLoaded(bool loaded) {
    i2cDevLoaded_ = loaded;
    for (const PublishedBus& published : buses_) {
        if (!published.bus->present())
            continue;
        if (loaded)
            publish(published);
        else
            withdrawClassEntry(published);
    }
    if (!loaded)
        QDir(QString::fromStdString(realPath("/sys/class/i2c-dev"))).removeRecursively();
}

void EmulatedUsb::setNodeAccessible(const EmulatedI2cBus& bus, bool accessible) {
    nodeAccessible_[bus.number()] = accessible;
    applyNodeMode(bus, accessible);
}

void EmulatedUsb::applyNodeMode(const EmulatedI2cBus& bus, bool accessible) {
    const QFileDevice::Permissions groupAccess = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                 QFileDevice::ReadGroup | QFileDevice::WriteGroup;
    QFile::setPermissions(QString::fromStdString(realPath(bus.node())),
                          accessible ? groupAccess : QFileDevice::Permissions());
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
