// SPDX-License-Identifier: MIT
#pragma once

#include "simcy22150.h"
#include "simi2ctinyusb.h"
#include "simusberror.h"
#include "usb/usbbackend.h"

#include <QtGlobal>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

// A string descriptor of a simulated device: absent (index 0), present, or present but failing
// to read with an error text.
struct SimString {
    enum class Kind { Absent, Present, Unreadable };
    Kind kind = Kind::Absent;
    std::string text;  // the string, or the error text of a failing read

    static SimString absent() { return {}; }
    static SimString present(std::string text) { return {Kind::Present, std::move(text)}; }
    static SimString unreadable(std::string error) { return {Kind::Unreadable, std::move(error)}; }
};

struct SimDevice {
    int busNumber = 1;
    int deviceNumber = 1;
    quint16 vendorId = 0;
    quint16 productId = 0;
    SimString manufacturer;
    SimString product;
    std::string openError;             // not empty: open() fails with this text
    std::shared_ptr<SimCy22150> chip;  // set: an i2c-tiny-usb adapter with this chip behind it
    const SimFirmwareProfile* firmware = &SimFirmware::original();  // the adapter's firmware
    bool kernelDriverBound = false;  // the kernel's i2c-tiny-usb driver holds interface 0
    std::string detachError;         // not empty: claiming interface 0 fails with this text

    // An i2c-tiny-usb adapter (0403:C631) with its strings, the given chip and firmware.
    static SimDevice adapter(int bus, int device, std::shared_ptr<SimCy22150> chip,
                             const SimFirmwareProfile& firmware = SimFirmware::original());
    // Any other device.
    static SimDevice other(int bus, int device, quint16 vendorId, quint16 productId);
};

// One control transfer as the simulation saw it.
struct SimTransfer {
    int handle = 0;  // serial number of the open that made the handle, from 1
    int busNumber = 0;
    int deviceNumber = 0;
    quint8 requestType = 0;
    quint8 request = 0;
    quint16 value = 0;
    quint16 index = 0;
    quint16 length = 0;
    std::vector<quint8> data;  // the bytes moved in the data stage, in either direction
    int result = 0;
};

// A fault that replaces the answer to one control transfer.
struct SimFault {
    enum class Kind {
        NoData,  // the transfer moves nothing and returns 0 (a status query without its byte)
        Error,   // the transfer fails with errorCode, and lastError() gives errorText
        Answer,  // an IN transfer delivers `byte` instead (a status query answers it)
    };
    Kind kind = Kind::NoData;
    int errorCode = 0;
    std::string errorText;
    quint8 byte = 0;
    // false: the transfer is lost on its way to the adapter, which never sees it; true: the
    // adapter carries it out and its answer is lost or replaced on the way back.
    bool reachesAdapter = false;

    static SimFault noData() { return {}; }
    static SimFault failure(int code, std::string text) {
        return {Kind::Error, code, std::move(text), 0};
    }
    // What the library reports when the adapter does not answer within the time-out.
    static SimFault timeout();
    static SimFault answer(quint8 byte) { return {Kind::Answer, 0, {}, byte}; }
    // The same fault, after the adapter carried the transfer out.
    SimFault afterAdapter() const {
        SimFault f = *this;
        f.reachesAdapter = true;
        return f;
    }
};

// The USB library as the tests see it: devices plugged on several busses, enumeration
// snapshots, handles, string reads and the control transfers of i2c-tiny-usb adapters. Every
// control transfer is recorded; faults can replace the answer to a chosen transfer.
class SimUsbBackend : public UsbBackend {
public:
    SimUsbBackend();
    ~SimUsbBackend() override;

    // --- the simulated world ---
    // Plugs a device in; it becomes visible at the next rescan(). Returns its plug id.
    int plug(const SimDevice& device);
    void unplug(int plugId);
    // The device reports these strings from now on; a listing made before keeps what it read.
    void setStrings(int plugId, const SimString& manufacturer, const SimString& product);
    // Makes init() fail with this text; the busses then stay empty.
    void failInit(std::string text) { initError_ = std::move(text); }

    // Transfers are numbered from 0 since the last resetTransfers(), which also drops the log
    // and every pending fault.
    void resetTransfers();
    void injectFault(int transferNumber, const SimFault& fault);
    const std::vector<SimTransfer>& transfers() const { return transfers_; }

    // Called at every control transfer once it is answered, with its record.
    void setTransferObserver(std::function<void(const SimTransfer&)> observer) {
        observer_ = std::move(observer);
    }
    // Gives every device a lock file in `directory` (empty: none, the default), as the usbfs
    // node of a real device is: two backends on the same directory are two programs on one
    // machine.
    void setLockDirectory(std::string directory) { lockDirectory_ = std::move(directory); }

    int openHandleCount() const { return int(handles_.size()); }
    // Whether the kernel driver is bound to the device now.
    bool kernelDriverBound(int plugId) const;
    int detachCount() const { return detaches_; }      // kernel drivers detached by a claim
    int reattachCount() const { return reattaches_; }  // given back by a release
    int openCount() const { return opens_; }           // successful opens so far

    // --- UsbBackend ---
    void init() override;
    void rescan() override;
    std::vector<UsbBus> busses() const override;
    UsbHandle* open(const UsbDeviceInfo& device) override;
    void close(UsbHandle* handle) override;
    int readString(UsbHandle* handle, int index, std::string& text) override;
    int controlTransfer(UsbHandle* handle, quint8 requestType, quint8 request, quint16 value,
                        quint16 index, unsigned char* data, quint16 length,
                        unsigned timeoutMs) override;
    std::string lastError() const override { return lastError_; }
    std::string lockPath(const UsbDeviceInfo& device) const override;
    int kernelDriverActive(UsbHandle* handle, int interfaceNumber) override;
    // libusb's automatic detach: the claim detaches a bound kernel driver, the release of that
    // claim re-attaches it; closing a handle without the release leaves the driver detached.
    int claimInterface(UsbHandle* handle, int interfaceNumber) override;
    int releaseInterface(UsbHandle* handle, int interfaceNumber) override;

private:
    struct Plugged;
    class Handle;

    int fail(const SimUsbError& error);
    int fail(int code, const std::string& text);
    Handle* live(UsbHandle* handle) const;
    int answer(Handle& handle, SimTransfer& record, unsigned char* data);
    int adapterAnswer(Handle& handle, const SimTransfer& record, unsigned char* data);

    bool initialised_ = false;
    std::string initError_;
    std::string lastError_ = SimUsbErrors::NoErrorText;
    int nextPlugId_ = 1;
    std::vector<std::shared_ptr<Plugged>> plugged_;
    std::vector<std::shared_ptr<Plugged>> snapshot_;  // the last enumeration; key = position
    std::set<Handle*> handles_;
    int opens_ = 0;
    int detaches_ = 0;
    int reattaches_ = 0;
    std::vector<SimTransfer> transfers_;
    std::map<int, SimFault> faults_;
    std::function<void(const SimTransfer&)> observer_;
    std::string lockDirectory_;
};
