// SPDX-License-Identifier: MIT
#pragma once

#include "simi2ctinyusb.h"
#include "usbdescriptors.h"

#include <QtGlobal>

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// Where and how a device sits on the emulated machine.
struct EmulatedDeviceProfile {
    int bus = 1;
    int address = 1;           // the device number on its bus
    std::string speed = "12";  // as sysfs spells it in Mbit/s: "1.5", "12", "480"
    UsbDeviceIdentity identity;
    bool answersStringRequests = true;    // false: string descriptor requests stall
    bool silentOnStringRequests = false;  // true: string descriptor requests get no answer
    bool hasDeviceNode = true;            // false: no /dev node, so every open fails
    // Set: the device is an i2c-tiny-usb adapter with `firmware` and a CY22150 at this 7-bit I2C
    // address, holding chipRegisters after power-on.
    std::optional<quint8> chipAddress;
    const SimFirmwareProfile* firmware = &SimFirmware::original();
    std::array<quint8, SimCy22150::RegisterCount> chipRegisters{};
    // Set: the kernel driver of that name binds interface 0 when the device is plugged in, as
    // Linux binds i2c-tiny-usb to an adapter.
    std::string kernelDriver;

    // A device that is not an adapter, with both strings.
    static EmulatedDeviceProfile ordinary(int bus, int address, quint16 vendorId, quint16 productId,
                                          const std::string& manufacturer,
                                          const std::string& product);
};

// The eight bytes of a control transfer's SETUP packet, decoded.
struct UsbSetup {
    quint8 requestType = 0;
    quint8 request = 0;
    quint16 value = 0;
    quint16 index = 0;
    quint16 length = 0;

    static UsbSetup fromPacket(const quint8* packet);
    bool isIn() const { return requestType & 0x80; }
    bool isStandard() const { return (requestType & 0x60) == 0; }
};

// One control transfer as the device saw it.
struct ControlTransferRecord {
    UsbSetup setup;
    std::vector<quint8> data;  // the bytes of the data stage, in either direction
    enum class Outcome { Answered, Stalled, Unanswered } outcome = Outcome::Answered;
    // Who sent it: a program through usbfs, or the kernel driver bound to the device.
    enum class Origin { Usbfs, KernelDriver } origin = Origin::Usbfs;
};

// How a device answers one control transfer.
struct ControlAnswer {
    int length = 0;  // bytes of the data stage moved
    int status = 0;  // 0, or a negative errno as usbfs reports it (-EPIPE for a stall)
};

// One USB device of the emulated machine: its descriptors, its control endpoint and, for an
// i2c-tiny-usb adapter, the adapter's firmware with a CY22150 behind it.
//
// control() runs on umockdev's worker thread while the tests and the launcher look at the device
// from their own thread, so every member function takes the device's lock.
class EmulatedDevice {
public:
    explicit EmulatedDevice(EmulatedDeviceProfile profile);

    const EmulatedDeviceProfile& profile() const {
        return profile_;
    }  // fixed for the device's life

    // Answers a control transfer whose data stage is `data` (wLength bytes: filled for IN,
    // read for OUT); nullopt when the device does not answer at all.
    std::optional<ControlAnswer> control(
        const UsbSetup& setup, quint8* data,
        ControlTransferRecord::Origin origin = ControlTransferRecord::Origin::Usbfs);

    // Unplugs and replugs the device in no time: the firmware and the chip start afresh with the
    // power-on registers, the device answers again, its transfer log is empty and the profile's
    // kernel driver is bound again.
    void powerCycle();

    // From now on the device answers `answered` more control transfers, then none, as an
    // adapter whose firmware hangs. resumeAnswering() brings it back.
    void stopAnsweringAfter(int answered);
    void stopAnswering() { stopAnsweringAfter(0); }
    void resumeAnswering();

    // --- interface 0 as usbfs manages it: the kernel driver, or a program's claim ---
    // Each returns 0 or the errno of the kernel's usbfs; `claimant` stands for the open file.
    // The driver bound to interface `iface`: the kernel driver's name, "usbfs" while claimed.
    int interfaceDriver(unsigned iface, std::string& driver) const;
    // USBDEVFS_DISCONNECT_CLAIM: unbinds the kernel driver (unless `flags` say otherwise for
    // `driver`) and claims the interface.
    int disconnectAndClaim(unsigned iface, unsigned flags, const std::string& driver,
                           const void* claimant);
    int claimInterface(unsigned iface, const void* claimant);
    int releaseInterface(unsigned iface, const void* claimant);
    // USBDEVFS_IOCTL's USBDEVFS_DISCONNECT and USBDEVFS_CONNECT; connect returns 1 when the
    // kernel driver bound, as the kernel's device_attach.
    int disconnectDriver(unsigned iface);
    int connectDriver(unsigned iface);
    // The open file closed: its claims end; the kernel driver stays unbound.
    void forgetClaimant(const void* claimant);
    bool kernelDriverBound() const;
    int kernelDriverDetaches() const;  // since the last power cycle
    // Called, outside the device's lock, each time the kernel driver binds (true) or unbinds.
    void setKernelDriverListener(std::function<void(bool bound)> listener);

    std::vector<ControlTransferRecord> transfers() const;
    // The control transfers a program sent through usbfs (without the kernel driver's).
    std::vector<ControlTransferRecord> usbfsTransfers() const;
    // The kernel driver's control transfers.
    std::vector<ControlTransferRecord> kernelTransfers() const;
    // The class and vendor requests a program sent through usbfs: the i2c-tiny-usb requests of
    // the transport.
    std::vector<ControlTransferRecord> adapterTransfers() const;
    // Whether the adapter's I2C bus is inside a transaction that was never ended.
    bool transactionOpen() const;
    void clearTransfers();

    // The chip behind an adapter (all zero for any other device).
    std::array<quint8, SimCy22150::RegisterCount> chipRegisters() const;
    quint8 chipRegister(int reg) const;
    void setChipRegister(int reg, quint8 value);

private:
    ControlAnswer answerStandard(const UsbSetup& setup, quint8* data) const;
    bool answersNext();
    std::vector<ControlTransferRecord> transfersFrom(ControlTransferRecord::Origin origin) const;
    void notifyKernelDriver(bool bound);

    enum class Owner { None, KernelDriver, Usbfs };

    const EmulatedDeviceProfile profile_;
    mutable std::mutex mutex_;
    std::shared_ptr<SimCy22150> chip_;  // reached only through this device, under its lock
    std::unique_ptr<SimI2cTinyUsb> firmware_;
    std::optional<int> answersLeft_;  // nullopt: answers everything
    std::vector<ControlTransferRecord> transfers_;
    Owner owner_ = Owner::None;  // of interface 0
    const void* claimant_ = nullptr;
    int detaches_ = 0;
    std::function<void(bool)> listener_;
};
