// SPDX-License-Identifier: MIT
#include "simusbbackend.h"

#include <QFile>
#include <QString>

#include <algorithm>

SimDevice SimDevice::adapter(int bus, int device, std::shared_ptr<SimCy22150> chip,
                             const SimFirmwareProfile& firmware) {
    SimDevice d;
    d.busNumber = bus;
    d.deviceNumber = device;
    d.vendorId = 0x0403;
    d.productId = 0xC631;
    d.manufacturer = SimString::present("Simulated Adapters");
    d.product = SimString::present("i2c-tiny-usb");
    d.chip = std::move(chip);
    d.firmware = &firmware;
    return d;
}

SimDevice SimDevice::other(int bus, int device, quint16 vendorId, quint16 productId) {
    SimDevice d;
    d.busNumber = bus;
    d.deviceNumber = device;
    d.vendorId = vendorId;
    d.productId = productId;
    return d;
}

SimFault SimFault::timeout() {
    return failure(SimUsbErrors::Timeout.code, SimUsbErrors::Timeout.text);
}

struct SimUsbBackend::Plugged {
    int id = 0;
    SimDevice device;
    std::unique_ptr<SimI2cTinyUsb> adapter;  // for a device with a chip
    bool present = true;
    bool driverBound = false;
    int claimedBy = 0;             // serial of the handle holding interface 0; 0: none
    bool detachedByClaim = false;  // that claim detached the kernel driver
};

class SimUsbBackend::Handle : public UsbHandle {
public:
    Handle(int serial, std::shared_ptr<Plugged> plugged)
        : serial(serial), plugged(std::move(plugged)) {}
    const int serial;
    const std::shared_ptr<Plugged> plugged;
};

namespace {
// String descriptor indices of the simulated devices.
constexpr int ManufacturerIndex = 1;
constexpr int ProductIndex = 2;

quint8 indexOf(const SimString& s, int index) {
    return s.kind == SimString::Kind::Absent ? 0 : quint8(index);
}

constexpr quint8 DirectionIn = 0x80;
}  // namespace

SimUsbBackend::SimUsbBackend() = default;

SimUsbBackend::~SimUsbBackend() {
    for (Handle* h : handles_) {
        delete h;
    }
}

int SimUsbBackend::plug(const SimDevice& device) {
    auto p = std::make_shared<Plugged>();
    p->id = nextPlugId_++;
    p->device = device;
    p->driverBound = device.kernelDriverBound;
    if (device.chip) {
        p->adapter = std::make_unique<SimI2cTinyUsb>(device.chip, *device.firmware);
    }
    plugged_.push_back(p);
    return p->id;
}

void SimUsbBackend::unplug(int plugId) {
    const auto it = std::find_if(plugged_.begin(), plugged_.end(),
                                 [plugId](const auto& p) { return p->id == plugId; });
    if (it != plugged_.end()) {
        (*it)->present = false;
        plugged_.erase(it);
    }
}

void SimUsbBackend::setStrings(int plugId, const SimString& manufacturer,
                               const SimString& product) {
    for (const std::shared_ptr<Plugged>& p : plugged_) {
        if (p->id == plugId) {
            p->device.manufacturer = manufacturer;
            p->device.product = product;
        }
    }
}

void SimUsbBackend::resetTransfers() {
    transfers_.clear();
    faults_.clear();
}

void SimUsbBackend::injectFault(int transferNumber, const SimFault& fault) {
    faults_[transferNumber] = fault;
}

void SimUsbBackend::init() {
    if (!initError_.empty()) {
        lastError_ = initError_;
        return;
    }
    initialised_ = true;
}

void SimUsbBackend::rescan() {
    if (!initialised_) {
        return;
    }
    snapshot_ = plugged_;
}

std::vector<UsbBus> SimUsbBackend::busses() const {
    std::vector<UsbBus> result;
    for (std::size_t key = 0; key < snapshot_.size(); ++key) {
        const SimDevice& d = snapshot_[key]->device;
        auto bus = std::find_if(result.begin(), result.end(),
                                [&d](const UsbBus& b) { return b.number == d.busNumber; });
        if (bus == result.end()) {
            result.push_back(UsbBus{d.busNumber, {}});
            bus = result.end() - 1;
        }
        UsbDeviceInfo info;
        info.busNumber = d.busNumber;
        info.deviceNumber = d.deviceNumber;
        info.vendorId = d.vendorId;
        info.productId = d.productId;
        info.manufacturerIndex = indexOf(d.manufacturer, ManufacturerIndex);
        info.productIndex = indexOf(d.product, ProductIndex);
        info.key = int(key);
        bus->devices.push_back(info);
    }
    return result;
}

int SimUsbBackend::fail(const SimUsbError& error) {
    return fail(error.code, error.text != nullptr ? error.text : "");
}

int SimUsbBackend::fail(int code, const std::string& text) {
    lastError_ = text;
    return code;
}

UsbHandle* SimUsbBackend::open(const UsbDeviceInfo& device) {
    if (device.key < 0 || std::size_t(device.key) >= snapshot_.size()) {
        fail(SimUsbErrors::NoDevice);
        return nullptr;
    }
    const std::shared_ptr<Plugged>& p = snapshot_[std::size_t(device.key)];
    if (!p->present) {
        fail(SimUsbErrors::NoDevice);
        return nullptr;
    }
    if (!p->device.openError.empty()) {
        fail(SimUsbErrors::Access.code, p->device.openError);
        return nullptr;
    }
    auto* handle = new Handle(++opens_, p);
    handles_.insert(handle);
    return handle;
}

void SimUsbBackend::close(UsbHandle* handle) {
    Handle* h = live(handle);
    if (h != nullptr) {
        if (h->plugged->claimedBy == h->serial)
            h->plugged->claimedBy = 0;  // the claim ends; a detached driver stays detached
        handles_.erase(h);
        delete h;
    }
}

bool SimUsbBackend::kernelDriverBound(int plugId) const {
    for (const std::shared_ptr<Plugged>& p : plugged_) {
        if (p->id == plugId)
            return p->driverBound;
    }
    return false;
}

int SimUsbBackend::kernelDriverActive(UsbHandle* handle, int interfaceNumber) {
    Handle* h = live(handle);
    if (h == nullptr || interfaceNumber != 0)
        return fail(SimUsbErrors::InvalidParam);
    return h->plugged->driverBound ? 1 : 0;
}

int SimUsbBackend::claimInterface(UsbHandle* handle, int interfaceNumber) {
    Handle* h = live(handle);
    if (h == nullptr || interfaceNumber != 0)
        return fail(SimUsbErrors::InvalidParam);
    Plugged& p = *h->plugged;
    if (!p.device.detachError.empty())
        return fail(SimUsbErrors::Access.code, p.device.detachError);
    if (p.claimedBy != 0 && p.claimedBy != h->serial)
        return fail(SimUsbErrors::Busy);
    if (p.driverBound) {
        p.driverBound = false;
        p.detachedByClaim = true;
        ++detaches_;
    }
    p.claimedBy = h->serial;
    return 0;
}

int SimUsbBackend::releaseInterface(UsbHandle* handle, int interfaceNumber) {
    Handle* h = live(handle);
    if (h == nullptr || interfaceNumber != 0 || h->plugged->claimedBy != h->serial)
        return fail(SimUsbErrors::NotFound);
    Plugged& p = *h->plugged;
    p.claimedBy = 0;
    if (p.detachedByClaim) {
        p.detachedByClaim = false;
        p.driverBound = true;
        ++reattaches_;
    }
    return 0;
}

SimUsbBackend::Handle* SimUsbBackend::live(UsbHandle* handle) const {
    for (Handle* h : handles_) {
        if (h == handle) {
            return h;
        }
    }
    return nullptr;
}

int SimUsbBackend::readString(UsbHandle* handle, int index, std::string& text) {
    Handle* h = live(handle);
    if (h == nullptr) {
        return fail(SimUsbErrors::InvalidParam);
    }
    if (!h->plugged->present) {
        return fail(SimUsbErrors::NoDevice);
    }
    const SimDevice& d = h->plugged->device;
    const SimString* s = index == ManufacturerIndex ? &d.manufacturer
                         : index == ProductIndex    ? &d.product
                                                    : nullptr;
    if (s == nullptr || s->kind == SimString::Kind::Absent) {
        return fail(SimUsbErrors::InvalidParam);
    }
    if (s->kind == SimString::Kind::Unreadable) {
        return fail(SimUsbErrors::Pipe.code, s->text);
    }
    text = s->text;
    return int(text.size());
}

int SimUsbBackend::controlTransfer(UsbHandle* handle, quint8 requestType, quint8 request,
                                   quint16 value, quint16 index, unsigned char* data,
                                   quint16 length, unsigned /*timeoutMs*/) {
    SimTransfer record;
    record.requestType = requestType;
    record.request = request;
    record.value = value;
    record.index = index;
    record.length = length;
    Handle* h = live(handle);
    if (h == nullptr) {
        record.result = fail(SimUsbErrors::InvalidParam);
    } else {
        record.handle = h->serial;
        record.busNumber = h->plugged->device.busNumber;
        record.deviceNumber = h->plugged->device.deviceNumber;
        record.result = answer(*h, record, data);
    }
    if (record.result > 0) {
        record.data.assign(data, data + record.result);
    }
    if (observer_) {
        observer_(record);
    }
    transfers_.push_back(record);
    return record.result;
}

int SimUsbBackend::answer(Handle& handle, SimTransfer& record, unsigned char* data) {
    const auto found = faults_.find(int(transfers_.size()));
    const SimFault* fault = found != faults_.end() ? &found->second : nullptr;
    int result = 0;
    if (fault == nullptr || fault->reachesAdapter) {
        result = adapterAnswer(handle, record, data);
        if (fault == nullptr) {
            return result;
        }
    }
    switch (fault->kind) {
        case SimFault::Kind::NoData:
            return 0;
        case SimFault::Kind::Error:
            return fail(fault->errorCode, fault->errorText);
        case SimFault::Kind::Answer:
            if ((record.requestType & DirectionIn) != 0 && record.length >= 1) {
                data[0] = fault->byte;
                return 1;
            }
            // An OUT transfer has nothing to answer: it goes through as usual.
            return fault->reachesAdapter ? result : adapterAnswer(handle, record, data);
    }
    return result;
}

int SimUsbBackend::adapterAnswer(Handle& handle, const SimTransfer& record, unsigned char* data) {
    if (!handle.plugged->present) {
        return fail(SimUsbErrors::NoDevice);
    }
    if (!handle.plugged->adapter) {
        return fail(SimUsbErrors::Pipe);  // no other device knows these requests
    }
    const int result = handle.plugged->adapter->controlTransfer(
        record.requestType, record.request, record.value, record.index, data, record.length);
    if (result < 0) {
        return fail(SimUsbErrors::Pipe);
    }
    return result;
}

std::string SimUsbBackend::lockPath(const UsbDeviceInfo& device) const {
    if (lockDirectory_.empty()) {
        return {};
    }
    const QString path = QString::fromStdString(lockDirectory_) +
                         QString::asprintf("/usb-%03d-%03d", device.busNumber, device.deviceNumber);
    QFile file(path);
    if (!file.exists()) {
        file.open(QIODevice::WriteOnly);  // a node exists as long as its device
    }
    return path.toStdString();
}
