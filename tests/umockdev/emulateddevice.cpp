// SPDX-License-Identifier: MIT
#include "emulateddevice.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {
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
    std::lock_guard<std::mutex> lock(mutex_);
    answersLeft_.reset();
    transfers_.clear();
    if (!profile_.chipAddress)
        return;
    chip_ = std::make_shared<SimCy22150>(*profile_.chipAddress);
    for (int reg = 0; reg < SimCy22150::RegisterCount; ++reg)
        chip_->setRegisterValue(reg, profile_.chipRegisters[std::size_t(reg)]);
    firmware_ = std::make_unique<SimI2cTinyUsb>(chip_, *profile_.firmware);
}

std::optional<ControlAnswer> EmulatedDevice::control(const UsbSetup& setup, quint8* data) {
    std::lock_guard<std::mutex> lock(mutex_);
    ControlTransferRecord record{setup, {}, ControlTransferRecord::Outcome::Answered};
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
                 [](const ControlTransferRecord& t) { return !t.setup.isStandard(); });
    return adapter;
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
