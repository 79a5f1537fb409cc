// SPDX-License-Identifier: MIT
#include "emulatedi2cbus.h"

#include <cerrno>

namespace {
// What Linux's i2c-tiny-usb driver sends: vendor requests to the interface.
constexpr quint8 KernelIn = 0xC1;
constexpr quint8 KernelOut = 0x41;
constexpr quint8 GetFunctionality = 1;
constexpr quint8 GetStatus = 3;
constexpr quint8 Io = 4;
constexpr quint8 IoBegin = 1;
constexpr quint8 IoEnd = 2;
constexpr quint8 StatusAddressNak = 2;
// i2c-dev marks every message it copies from the caller as DMA-safe; the driver passes the
// flags on to the adapter as the request's value.
constexpr quint16 DmaSafeFlag = 0x0200;

bool isCombined(const std::vector<EmulatedI2cMessage>& m) {
    return m.size() == 2 && !m[0].isRead() && m[1].isRead() && m[0].address == m[1].address;
}

// The errno with which the driver, or the i2c core for the driver's quirks, refuses the
// messages before any reaches the bus; 0 when it takes them.
int refusal(const I2cDriverProfile& d, const std::vector<EmulatedI2cMessage>& m) {
    const bool combined = isCombined(m);
    if (d.writeThenReadOnly && m.size() > 1 && !combined)
        return d.unsupportedError;
    for (std::size_t i = 0; i + 1 < m.size(); ++i) {
        if (d.readOnlyLast && m[i].isRead())
            return d.unsupportedError;
        if (d.noRepeatedStart && !m[i].isRead() && m[i + 1].isRead())
            return d.unsupportedError;
    }
    for (std::size_t i = 0; i < m.size(); ++i) {
        int limit = m[i].isRead() ? d.maxReadLength : d.maxWriteLength;
        if (combined && i == 0 && d.maxWriteBeforeRead != 0)
            limit = d.maxWriteBeforeRead;
        if (limit != 0 && int(m[i].bytes.size()) > limit)
            return d.lengthError;
    }
    return 0;
}
}  // namespace

EmulatedI2cBus::EmulatedI2cBus(const I2cBusSetup& setup, std::shared_ptr<EmulatedDevice> adapter)
    : setup_(setup), adapter_(std::move(adapter)) {
    powerCycle();
}

void EmulatedI2cBus::powerCycle() {
    if (adapter_)
        adapter_->powerCycle();  // its chip, and its kernel driver bound again
    std::lock_guard<std::mutex> lock(mutex_);
    injection_.reset();
    transferredBefore_ = false;
    traffic_.clear();
    chip_.reset();
    if (adapter_ || !setup_.chipAddress)
        return;
    chip_ = std::make_unique<SimCy22150>(*setup_.chipAddress);
    for (int reg = 0; reg < SimCy22150::RegisterCount; ++reg)
        chip_->setRegisterValue(reg, setup_.chipRegisters[std::size_t(reg)]);
}

bool EmulatedI2cBus::present() const {
    return !adapter_ || adapter_->kernelDriverBound();
}

qint64 EmulatedI2cBus::functionality() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!present())
        return -ENODEV;
    if (!adapter_)
        return qint64(setup_.driver->functionality);
    // A failed request reads as no functionality at all, as the driver reports it.
    return qint64(adapterFunctionality().value_or(0));
}

std::optional<quint32> EmulatedI2cBus::adapterFunctionality() {
    quint8 answer[4] = {};
    const UsbSetup request{KernelIn, GetFunctionality, 0, 0, 4};
    const auto reply =
        adapter_->control(request, answer, ControlTransferRecord::Origin::KernelDriver);
    if (!reply || reply->status != 0 || reply->length != 4)
        return std::nullopt;
    return quint32(answer[0] | answer[1] << 8 | answer[2] << 16 | quint32(answer[3]) << 24);
}

int EmulatedI2cBus::transfer(std::vector<EmulatedI2cMessage>& messages) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!present())
        return -ENODEV;
    if (injection_ && transferredBefore_) {
        std::vector<EmulatedI2cMessage> other = *injection_;
        const int result = run(other);
        traffic_.push_back(I2cTransferRecord{true, other, result});
    }
    transferredBefore_ = true;
    const int result = run(messages);
    traffic_.push_back(I2cTransferRecord{false, messages, result});
    return result;
}

int EmulatedI2cBus::run(std::vector<EmulatedI2cMessage>& messages) {
    if (const int refused = refusal(*setup_.driver, messages))
        return -refused;
    return adapter_ ? runOnAdapter(messages) : runOnChip(messages);
}

// A START (repeated between messages, or a fresh one after a STOP where the driver ends each
// message), the address, the bytes; a STOP at the end or at the first byte nobody acknowledges.
int EmulatedI2cBus::runOnChip(std::vector<EmulatedI2cMessage>& messages) {
    const I2cDriverProfile& d = *setup_.driver;
    for (EmulatedI2cMessage& m : messages) {
        const int noAck = m.isRead() ? d.noAckOnRead : d.noAckOnWrite;
        if (!chip_)
            return -noAck;
        chip_->start();
        if (!chip_->write(quint8(m.address << 1 | (m.isRead() ? 1 : 0)))) {
            chip_->stop();
            return -noAck;
        }
        for (std::size_t i = 0; i < m.bytes.size(); ++i) {
            if (m.isRead()) {
                m.bytes[i] = chip_->read(i + 1 < m.bytes.size());
            } else if (!chip_->write(m.bytes[i])) {
                chip_->stop();
                return -noAck;
            }
        }
        if (d.noRepeatedStart)
            chip_->stop();
    }
    chip_->stop();
    return int(messages.size());
}

// Linux's i2c-tiny-usb: as Linux 6.10 and later, the i2c core asks for the functionality first;
// then per message one I/O request (begin on the first, end on the last) and one status query.
// A failed request is EIO; an address the chip did not acknowledge is ENXIO, and the driver stops
// there without ending the transaction.
int EmulatedI2cBus::runOnAdapter(std::vector<EmulatedI2cMessage>& messages) {
    adapterFunctionality();
    const auto kernel = ControlTransferRecord::Origin::KernelDriver;
    for (std::size_t i = 0; i < messages.size(); ++i) {
        EmulatedI2cMessage& m = messages[i];
        const quint8 request =
            quint8(Io | (i == 0 ? IoBegin : 0) | (i + 1 == messages.size() ? IoEnd : 0));
        const UsbSetup io{m.isRead() ? KernelIn : KernelOut, request,
                          quint16(m.flags | DmaSafeFlag), m.address, quint16(m.bytes.size())};
        const auto moved = adapter_->control(io, m.bytes.data(), kernel);
        if (!moved || moved->status != 0 || moved->length != int(m.bytes.size()))
            return -EIO;
        quint8 status = 0;
        const auto asked =
            adapter_->control(UsbSetup{KernelIn, GetStatus, 0, 0, 1}, &status, kernel);
        if (!asked || asked->status != 0 || asked->length != 1)
            return -EIO;
        if (status == StatusAddressNak)
            return -setup_.driver->noAckOnRead;
    }
    return int(messages.size());
}

void EmulatedI2cBus::injectBetweenTransfers(
    std::optional<std::vector<EmulatedI2cMessage>> transaction) {
    std::lock_guard<std::mutex> lock(mutex_);
    injection_ = std::move(transaction);
}

std::vector<I2cTransferRecord> EmulatedI2cBus::traffic() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return traffic_;
}

int EmulatedI2cBus::kernelUsbTransfers() const {
    return adapter_ ? int(adapter_->kernelTransfers().size()) : 0;
}

std::array<quint8, SimCy22150::RegisterCount> EmulatedI2cBus::chipRegisters() const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (adapter_)
        return adapter_->chipRegisters();
    return chip_ ? chip_->registers() : std::array<quint8, SimCy22150::RegisterCount>{};
}

quint8 EmulatedI2cBus::chipRegister(int reg) const {
    return chipRegisters()[std::size_t(reg & 0xFF)];
}

void EmulatedI2cBus::setChipRegister(int reg, quint8 value) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (adapter_)
        adapter_->setChipRegister(reg, value);
    else if (chip_)
        chip_->setRegisterValue(reg, value);
}
