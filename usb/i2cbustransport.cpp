// SPDX-License-Identifier: MIT
#include "usb/i2cbustransport.h"

#include "usb/deviceid.h"
#include "usb/i2cdriverlimits.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace {
// The interface of an i2c-tiny-usb adapter that its kernel driver binds.
constexpr int AdapterInterface = 0;
// The chip has 256 registers; a longer read would only repeat them.
constexpr int MaxReadCount = 256;

I2cBusBackend& backend(const AdapterConnection& c) {
    return c.buses != nullptr ? *c.buses : systemI2cBus();
}

std::string nodeOf(const AdapterConnection& c) {
    return "/dev/i2c-" + std::to_string(c.bus.number);
}

void remember(AdapterConnection& c, const std::string& text) {
    c.failure.library = c.usb != nullptr ? c.usb->lastError() : std::string();
    c.failure.text = text;
}

std::string kernelText(int error) {
    return std::strerror(error);
}

// A failed ioctl of a transfer: the driver's no-acknowledge code names the chip and the bus,
// anything else the call and the kernel's text.
int transferFailed(AdapterConnection& c, quint8 i2cAddress, int result) {
    const int error = -result;
    if (isNoAcknowledge(i2cDriverLimits(QString::fromStdString(c.bus.driver)), error)) {
        remember(c, "the chip at I2C address " + i2cAddressText(i2cAddress).toStdString() +
                        " on i2c-" + std::to_string(c.bus.number) + " did not acknowledge");
        return I2cResult::BusNoAcknowledge;
    }
    remember(c, "I2C_RDWR on " + nodeOf(c) + " failed: " + kernelText(error));
    return I2cResult::BusTransferFailed;
}

int openError(AdapterConnection& c, const std::string& node, int error) {
    if (error == EACCES || error == EPERM) {
        remember(c, "no permission to open " + node +
                        ": join the i2c group (sudo usermod -aG i2c $USER, then log in again) or, "
                        "for an i2c-tiny-usb adapter, install Vantrel's udev rule");
    } else {
        remember(c, "opening " + node + " failed: " + kernelText(error));
    }
    return I2cResult::OpenFailed;
}

void reportProgress(const AdapterConnection& c, int done, int count) {
    if (c.progress != nullptr)
        c.progress->readProgress(done, count);
}

// One chunk: the pointer write and the read, together or, on a split connection, one after the
// other. A combined ioctl refused with EOPNOTSUPP is tried once more as two, and the connection
// stays split.
int readChunk(AdapterConnection& c, quint8 i2cAddress, quint8 pointer, quint8* buffer, int length) {
    I2cBusBackend& bus = backend(c);
    I2cMessage messages[2] = {{i2cAddress, false, &pointer, 1},
                              {i2cAddress, true, buffer, quint16(length)}};
    if (!c.bus.split) {
        const int result = bus.transfer(c.bus.handle, messages, 2);
        if (result != -EOPNOTSUPP)
            return result < 0 ? transferFailed(c, i2cAddress, result) : I2cResult::Ok;
        c.bus.split = true;
    }
    int result = bus.transfer(c.bus.handle, &messages[0], 1);
    if (result >= 0)
        result = bus.transfer(c.bus.handle, &messages[1], 1);
    return result < 0 ? transferFailed(c, i2cAddress, result) : I2cResult::Ok;
}
}  // namespace

int busOpen(AdapterConnection& c, const I2cBusInfo& bus) {
    const std::string node = bus.node().toStdString();
    const int handle = backend(c).open(node);
    if (handle < 0)
        return openError(c, node, -handle);
    unsigned long functions = 0;
    const int asked = backend(c).functionality(handle, functions);
    if (asked < 0 || (functions & I2cFunctionPlainI2c) == 0) {
        backend(c).close(handle);
        remember(c, asked < 0 ? "I2C_FUNCS on " + node + " failed: " + kernelText(-asked)
                              : node + " carries no plain I2C transfers (SMBus only)");
        return I2cResult::OpenFailed;
    }
    c.bus.handle = handle;
    c.bus.number = bus.number;
    c.bus.driver = bus.driver.toStdString();
    c.bus.split = !i2cDriverLimits(bus.driver).repeatedStart;
    c.path = ChipPath::I2cDev;
    c.usbBacked = bus.usb.has_value();
    // A USB-backed bus shares the lock of its usbfs node with the USB path of the same adapter.
    if (bus.usb && c.usb != nullptr) {
        UsbDeviceInfo device;
        device.busNumber = bus.usb->busNumber;
        device.deviceNumber = bus.usb->deviceNumber;
        device.vendorId = bus.usb->vendorId;
        device.productId = bus.usb->productId;
        c.device = device;
        c.lock.attach(c.usb->lockPath(device));
    } else {
        c.lock.attach(node);
    }
    return I2cResult::Ok;
}

void busClose(AdapterConnection& c) {
    if (c.bus.handle >= 0)
        backend(c).close(c.bus.handle);
    c.bus = {};
}

int busReadRegisters(AdapterConnection& c, quint8 i2cAddress, quint8 first, int count,
                     quint8* buffer) {
    count = std::min(count, MaxReadCount);
    const I2cDriverLimits& limits = i2cDriverLimits(QString::fromStdString(c.bus.driver));
    const int chunk = limits.maxRead > 0 ? limits.maxRead : MaxReadCount;
    for (int done = 0; done < count;) {
        reportProgress(c, done, count);
        const int length = std::min(chunk, count - done);
        const int result = readChunk(c, i2cAddress, quint8(first + done), buffer + done, length);
        if (result != I2cResult::Ok)
            return result;
        done += length;
    }
    reportProgress(c, count, count);
    return I2cResult::Ok;
}

int busWriteRegister(AdapterConnection& c, quint8 i2cAddress, quint8 reg, quint8 value) {
    quint8 data[2] = {reg, value};
    I2cMessage message{i2cAddress, false, data, 2};
    const int result = backend(c).transfer(c.bus.handle, &message, 1);
    return result < 0 ? transferFailed(c, i2cAddress, result) : I2cResult::Ok;
}

int i2c_open_bus(AdapterConnection& c, const I2cBusInfo& bus) {
    i2c_close(c);
    int result = busOpen(c, bus);
    if (result == I2cResult::Ok) {
        const AdapterHold hold(c);
        if (hold.ok()) {
            c.failure = {};
            return I2cResult::Ok;
        }
        result = I2cResult::Busy;
    }
    const TransportFailure failed = c.failure;
    i2c_close(c);
    c.failure = failed;
    return result;
}

int chooseAdapterPath(AdapterConnection& c) {
    const int bound = c.usb->kernelDriverActive(c.handle, AdapterInterface);
    if (c.choice == TransportChoice::Auto && bound != 1)
        return I2cResult::Ok;  // nothing in the way: USB as always
    if (c.choice != TransportChoice::Usb) {
        const std::optional<I2cBusInfo> bus =
            findBusOfUsbDevice(listI2cBuses(), c.device.busNumber, c.device.deviceNumber);
        if (bus) {
            UsbHandle* const usbHandle = c.handle;
            const int opened = busOpen(c, *bus);
            if (opened == I2cResult::Ok) {
                c.usb->close(usbHandle);  // the node serves; no usbfs transfer from here on
                c.handle = nullptr;
                return I2cResult::Ok;
            }
            if (c.choice == TransportChoice::I2cDev)
                return opened;
        } else if (c.choice == TransportChoice::I2cDev) {
            remember(c, "no /dev/i2c-N for the adapter " +
                            deviceIdentification(c.device).toStdString() +
                            (i2cDevMissing() ? ": the i2c-dev module is not loaded (sudo modprobe "
                                               "i2c-dev)"
                                             : ": its kernel driver is not bound"));
            return I2cResult::OpenFailed;
        }
    }
    if (bound != 1)
        return I2cResult::Ok;
    if (c.usb->claimInterface(c.handle, AdapterInterface) < 0) {
        remember(c, "the kernel driver of the adapter " +
                        deviceIdentification(c.device).toStdString() +
                        " could not be detached: " + c.usb->lastError());
        return I2cResult::OpenFailed;
    }
    c.path = ChipPath::UsbDetached;
    return I2cResult::Ok;
}

ChipPath predictAdapterPath(UsbBackend& usb, I2cBusBackend* buses, const UsbDeviceInfo& device,
                            const std::vector<I2cBusInfo>& known, int& busNumber) {
    if (const std::optional<I2cBusInfo> bus =
            findBusOfUsbDevice(known, device.busNumber, device.deviceNumber)) {
        I2cBusBackend& backend = buses != nullptr ? *buses : systemI2cBus();
        const int handle = backend.open(bus->node().toStdString());
        if (handle >= 0) {
            backend.close(handle);
            busNumber = bus->number;
            return ChipPath::I2cDev;
        }
        return ChipPath::UsbDetached;  // a bus shows only while the kernel driver is bound
    }
    UsbHandle* handle = usb.open(device);
    if (handle == nullptr)
        return ChipPath::Usb;
    const bool bound = usb.kernelDriverActive(handle, AdapterInterface) == 1;
    usb.close(handle);
    return bound ? ChipPath::UsbDetached : ChipPath::Usb;
}

QString chipPathText(const AdapterConnection& c) {
    switch (c.path) {
        case ChipPath::I2cDev:
            return QString::fromStdString(nodeOf(c));
        case ChipPath::UsbDetached:
            return QStringLiteral("USB, kernel driver detached");
        case ChipPath::Usb:
            break;
    }
    return QStringLiteral("USB");
}

QString chipPathName(const AdapterConnection& c) {
    switch (c.path) {
        case ChipPath::I2cDev:
            return QStringLiteral("i2c-dev");
        case ChipPath::UsbDetached:
            return QStringLiteral("usb-detached");
        case ChipPath::Usb:
            break;
    }
    return QStringLiteral("usb");
}
