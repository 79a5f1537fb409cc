// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

#include <string>
#include <vector>

// The little of a USB library that the transport and the device discovery need. The production
// implementation wraps libusb-1.0; the tests put a simulated i2c-tiny-usb adapter behind it.

// What controlTransfer returns when the device stalled the request (libusb's LIBUSB_ERROR_PIPE).
constexpr int UsbStall = -9;

// One device as the last enumeration saw it.
struct UsbDeviceInfo {
    int busNumber = 0;
    int deviceNumber = 0;
    quint16 vendorId = 0;
    quint16 productId = 0;
    quint8 manufacturerIndex = 0;  // string descriptor index, 0 = none
    quint8 productIndex = 0;
    int key = -1;  // the backend's own reference to the device within the last enumeration
};

struct UsbBus {
    int number = 0;
    std::vector<UsbDeviceInfo> devices;
};

// An open device; only the backend that opened it knows what is inside.
class UsbHandle {
public:
    virtual ~UsbHandle() = default;
};

class UsbBackend {
public:
    virtual ~UsbBackend() = default;

    // Starts the library. Failures are remembered for lastError(); the busses then stay empty.
    virtual void init() = 0;
    // Enumerates the busses and devices again; busses() reports this enumeration until the next.
    virtual void rescan() = 0;
    virtual std::vector<UsbBus> busses() const = 0;

    // Opens a device of the last enumeration; nullptr on failure (lastError() says why).
    virtual UsbHandle* open(const UsbDeviceInfo& device) = 0;
    // Closes and deletes a handle returned by open().
    virtual void close(UsbHandle* handle) = 0;

    // Reads string descriptor `index` as UTF-8 text into `text`; returns its length in bytes, or
    // a negative number on failure. The text is the device's, unchecked: it may hold any bytes.
    virtual int readString(UsbHandle* handle, int index, std::string& text) = 0;

    // A control transfer on endpoint 0. Returns the number of bytes moved in the data stage, or a
    // negative number on failure (UsbStall when the device stalled it).
    virtual int controlTransfer(UsbHandle* handle, quint8 requestType, quint8 request,
                                quint16 value, quint16 index, unsigned char* data, quint16 length,
                                unsigned timeoutMs) = 0;

    // The library's description of its last error.
    virtual std::string lastError() const = 0;

    // A file that stands for the device in every program on this machine, for an advisory lock
    // between them (AdapterLock); empty when there is none.
    virtual std::string lockPath(const UsbDeviceInfo& device) const = 0;

    // Whether a kernel driver is bound to interface `interfaceNumber`: 1 bound, 0 not, or a
    // negative number when the library cannot tell.
    virtual int kernelDriverActive(UsbHandle* handle, int interfaceNumber) = 0;
    // Claims the interface for this program, detaching a bound kernel driver first. 0 or a
    // negative number on failure.
    virtual int claimInterface(UsbHandle* handle, int interfaceNumber) = 0;
    // Gives a claimed interface back; a kernel driver detached by claimInterface re-attaches.
    virtual int releaseInterface(UsbHandle* handle, int interfaceNumber) = 0;
};
