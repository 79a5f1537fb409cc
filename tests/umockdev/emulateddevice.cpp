// SPDX-License-Identifier: MIT
#include "emulateddevice.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {
constexpr unsigned InterfaceCount = 1;        // the one interface of UsbDescriptors::configuration
constexpr unsigned ClaimableInterfaces = 32;  // usbfs keeps its claims in one unsigned long's bits
constexpr unsigned DisconnectClaimIfDriver = 0x01;
constexpr unsigned DisconnectClaimExceptDriver = 0x02;
const char* const UsbfsDriver = "usbfs";
constexpr quint8 StandardDeviceIn = 0x80;  // device to host, standard, recipient device
constexpr quint8 GetDescriptor = 6;

ControlAnswer stall() {
    return ControlAnswer{0, -EPIPE};
}

bool isStringRequest(const UsbSetup& setup) {
    return setup.requestType == StandardDeviceIn && setup.request == GetDescriptor &&
           setup.value >> 8 == UsbDescriptors::StringType;
}

ControlAnswer reply(const std::vector<quint8>& bytes, quint16 length, quint8* data) {
    const int moved = std::min<int>(length, int(bytes.size()));
    std::memcpy(data, bytes.data(), std::size_t(moved));
    return ControlAnswer{moved, 0};
}
}  // namespace

UsbSetup UsbSetup::fromPacket(const quint8* packet) {
    UsbSetup s;
    s.requestType = packet[0];
    s.request = packet[1];
    s.value = quint16(packet[2] | packet[3] << 8);
    s.index = quint16(packet[4] | packet[5] << 8);
    s.length = quint16(packet[6] | packet[7] << 8);
    return s;
}

EmulatedDeviceProfile EmulatedDeviceProfile::ordinary(int bus, int address, quint16 vendorId,
                                                      quint16 productId,
                                                      const std::string& manufacturer,
                                                      const std::string& product) {
    EmulatedDeviceProfile profile;
    profile.bus = bus;
    profile.address = address;
    profile.identity.vendorId = vendorId;
    profile.identity.productId = productId;
    profile.identity.manufacturer = manufacturer;
    profile.identity.product = product;
    return profile;
}

EmulatedDevice::EmulatedDevice(EmulatedDeviceProfile profile) : profile_(std::move(profile)) {
    powerCycle();
}

void EmulatedDevice::powerCycle() {
    bool rebound = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        answersLeft_.reset();
        transfers_.clear();
        detaches_ = 0;
        claimant_ = nullptr;
        const Owner plugged = profile_.kernelDriver.empty() ? Owner::None : Owner::KernelDriver;
        rebound = plugged == Owner::KernelDriver && owner_ != Owner::KernelDriver;
        owner_ = plugged;
        if (profile_.chipAddress) {
            chip_ = std::make_shared<SimCy22150>(*profile_.chipAddress);
            for (int reg = 0; reg < SimCy22150::RegisterCount; ++reg)
                chip_->setRegisterValue(reg, profile_.chipRegisters[std::size_t(reg)]);
            firmware_ = std::make_unique<SimI2cTinyUsb>(chip_, *profile_.firmware);
        }
    }
    if (rebound)
        notifyKernelDriver(true);
}

std::optional<ControlAnswer> EmulatedDevice::control(const UsbSetup& setup, quint8* data,
                                                     ControlTransferRecord::Origin origin) {
    std::lock_guard<std::mutex> lock(mutex_);
    ControlTransferRecord record{setup, {}, ControlTransferRecord::Outcome::Answered, origin};
    if (!setup.isIn())
        record.data.assign(data, data + setup.length);
    if (!answersNext() || (profile_.silentOnStringRequests && isStringRequest(setup))) {
        record.outcome = ControlTransferRecord::Outcome::Unanswered;
        transfers_.push_back(std::move(record));
        return std::nullopt;
    }

    ControlAnswer answer = stall();
    if (setup.isStandard()) {
        answer = answerStandard(setup, data);
    } else if (firmware_) {
        const int moved = firmware_->controlTransfer(setup.requestType, setup.request, setup.value,
                                                     setup.index, data, setup.length);
        answer = moved < 0 ? stall() : ControlAnswer{moved, 0};
    }
    if (answer.status != 0)
        record.outcome = ControlTransferRecord::Outcome::Stalled;
    else if (setup.isIn())
        record.data.assign(data, data + answer.length);
    transfers_.push_back(std::move(record));
    return answer;
}

ControlAnswer EmulatedDevice::answerStandard(const UsbSetup& setup, quint8* data) const {
    if (setup.requestType != StandardDeviceIn || setup.request != GetDescriptor)
        return stall();
    const int type = setup.value >> 8;
    const int index = setup.value & 0xFF;
    const UsbDeviceIdentity& identity = profile_.identity;
    if (type == UsbDescriptors::DeviceType && index == 0)
        return reply(UsbDescriptors::device(identity), setup.length, data);
    if (type == UsbDescriptors::ConfigurationType && index == 0)
        return reply(UsbDescriptors::configuration(identity), setup.length, data);
    if (type != UsbDescriptors::StringType || !profile_.answersStringRequests)
        return stall();
    if (index == 0)
        return reply(UsbDescriptors::languages(), setup.length, data);
    const std::string* text = identity.string(index);
    return text ? reply(UsbDescriptors::string(*text), setup.length, data) : stall();
}

bool EmulatedDevice::answersNext() {
    if (!answersLeft_)
        return true;
    if (*answersLeft_ == 0)
        return false;
    --*answersLeft_;
    return true;
}

void EmulatedDevice::stopAnsweringAfter(int answered) {
    std::lock_guard<std::mutex> lock(mutex_);
    answersLeft_ = std::max(answered, 0);
}

void EmulatedDevice::resumeAnswering() {
    std::lock_guard<std::mutex> lock(mutex_);
    answersLeft_.reset();
}

std::vector<ControlTransferRecord> EmulatedDevice::transfers() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return transfers_;
}

std::vector<ControlTransferRecord> EmulatedDevice::adapterTransfers() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<ControlTransferRecord> adapter;
    std::copy_if(transfers_.begin(), transfers_.end(), std::back_inserter(adapter),
                 [](const ControlTransferRecord& t) {
                     return !t.setup.isStandard() &&
                            t.origin == ControlTransferRecord::Origin::Usbfs;
                 });
    return adapter;
}

std::vector<ControlTransferRecord> EmulatedDevice::transfersFrom(
    ControlTransferRecord::Origin origin) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<ControlTransferRecord> from;
    std::copy_if(transfers_.begin(), transfers_.end(), std::back_inserter(from),
                 [origin](const ControlTransferRecord& t) { return t.origin == origin; });
    return from;
}

std::vector<ControlTransferRecord> EmulatedDevice::usbfsTransfers() const {
    return transfersFrom(ControlTransferRecord::Origin::Usbfs);
}

std::vector<ControlTransferRecord> EmulatedDevice::kernelTransfers() const {
    return transfersFrom(ControlTransferRecord::Origin::KernelDriver);
}

// The interface's driver and claims follow the kernel's usbfs (drivers/usb/core/devio.c):
// GETDRIVER, DISCONNECT_CLAIM, CLAIMINTERFACE, RELEASEINTERFACE and USBDEVFS_IOCTL's
// DISCONNECT and CONNECT, with their error codes.
int EmulatedDevice::interfaceDriver(unsigned iface, std::string& driver) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (iface >= InterfaceCount || owner_ == Owner::None)
        return ENODATA;
    driver = owner_ == Owner::Usbfs ? UsbfsDriver : profile_.kernelDriver;
    return 0;
}

int EmulatedDevice::disconnectAndClaim(unsigned iface, unsigned flags, const std::string& driver,
                                       const void* claimant) {
    bool unbound = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (iface >= InterfaceCount)
            return EINVAL;
        if (owner_ != Owner::None) {
            const std::string bound = owner_ == Owner::Usbfs ? UsbfsDriver : profile_.kernelDriver;
            if ((flags & DisconnectClaimIfDriver) && driver != bound)
                return EBUSY;
            if ((flags & DisconnectClaimExceptDriver) && driver == bound)
                return EBUSY;
            // Unbinding usbfs from a claim of this very file leaves it claimed, as the kernel's
            // claimintf finds the claim already held.
            if (owner_ == Owner::Usbfs && claimant_ == claimant)
                return 0;
            unbound = owner_ == Owner::KernelDriver;
            detaches_ += unbound ? 1 : 0;
        }
        owner_ = Owner::Usbfs;
        claimant_ = claimant;
    }
    if (unbound)
        notifyKernelDriver(false);
    return 0;
}

int EmulatedDevice::claimInterface(unsigned iface, const void* claimant) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (iface >= ClaimableInterfaces)
        return EINVAL;
    if (iface >= InterfaceCount)
        return ENOENT;
    if (owner_ == Owner::Usbfs && claimant_ == claimant)
        return 0;
    if (owner_ != Owner::None)
        return EBUSY;
    owner_ = Owner::Usbfs;
    claimant_ = claimant;
    return 0;
}

int EmulatedDevice::releaseInterface(unsigned iface, const void* claimant) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (iface >= ClaimableInterfaces)
        return EINVAL;
    if (iface >= InterfaceCount)
        return ENOENT;
    if (owner_ != Owner::Usbfs || claimant_ != claimant)
        return EINVAL;
    owner_ = Owner::None;
    claimant_ = nullptr;
    return 0;
}

int EmulatedDevice::disconnectDriver(unsigned iface) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (iface >= InterfaceCount)
            return EINVAL;
        if (owner_ == Owner::None)
            return ENODATA;
        if (owner_ == Owner::Usbfs) {
            // usbfs itself is the driver: its claim ends.
            owner_ = Owner::None;
            claimant_ = nullptr;
            return 0;
        }
        owner_ = Owner::None;
        ++detaches_;
    }
    notifyKernelDriver(false);
    return 0;
}

int EmulatedDevice::connectDriver(unsigned iface) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (iface >= InterfaceCount)
            return EINVAL;
        if (owner_ != Owner::None)
            return EBUSY;
        if (profile_.kernelDriver.empty())
            return 0;  // no driver wants the interface
        owner_ = Owner::KernelDriver;
    }
    notifyKernelDriver(true);
    return 1;
}

void EmulatedDevice::forgetClaimant(const void* claimant) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (owner_ == Owner::Usbfs && claimant_ == claimant) {
        owner_ = Owner::None;
        claimant_ = nullptr;
    }
}

bool EmulatedDevice::kernelDriverBound() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return owner_ == Owner::KernelDriver;
}

int EmulatedDevice::kernelDriverDetaches() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return detaches_;
}

void EmulatedDevice::setKernelDriverListener(std::function<void(bool)> listener) {
    std::lock_guard<std::mutex> lock(mutex_);
    listener_ = std::move(listener);
}

void EmulatedDevice::notifyKernelDriver(bool bound) {
    std::function<void(bool)> listener;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        listener = listener_;
    }
    if (listener)
        listener(bound);
}

bool EmulatedDevice::transactionOpen() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return firmware_ && firmware_->transactionOpen();
}

void EmulatedDevice::clearTransfers() {
    std::lock_guard<std::mutex> lock(mutex_);
    transfers_.clear();
}

std::array<quint8, SimCy22150::RegisterCount> EmulatedDevice::chipRegisters() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return chip_ ? chip_->registers() : std::array<quint8, SimCy22150::RegisterCount>{};
}

quint8 EmulatedDevice::chipRegister(int reg) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return chip_ ? chip_->registerValue(reg) : 0;
}

void EmulatedDevice::setChipRegister(int reg, quint8 value) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (chip_)
        chip_->setRegisterValue(reg, value);
}
