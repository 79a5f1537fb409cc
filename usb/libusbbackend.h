// SPDX-License-Identifier: MIT
#pragma once

#include "usb/usbbackend.h"

#include <set>
#include <string>
#include <vector>

struct libusb_context;
struct libusb_device;

// UsbBackend over libusb-1.0, with a context of its own. Without a working USB subsystem every
// call fails cleanly and the bus list stays empty.
class LibUsbBackend : public UsbBackend {
public:
    // lastError() after an enumeration that found no device at all.
    static constexpr const char* NoDevicesText =
        "no USB devices visible (no USB bus, or no access)";
    // The time-out of each of the two requests of readString. A working device answers within
    // milliseconds; a silent one must not hold up a scan of the bus for seconds.
    static constexpr unsigned StringRequestTimeoutMs = 100;

    LibUsbBackend() = default;
    ~LibUsbBackend() override;
    LibUsbBackend(const LibUsbBackend&) = delete;
    LibUsbBackend& operator=(const LibUsbBackend&) = delete;

    void init() override;
    void rescan() override;
    std::vector<UsbBus> busses() const override { return busses_; }
    UsbHandle* open(const UsbDeviceInfo& device) override;
    void close(UsbHandle* handle) override;
    int readString(UsbHandle* handle, int index, std::string& text) override;
    int controlTransfer(UsbHandle* handle, quint8 requestType, quint8 request, quint16 value,
                        quint16 index, unsigned char* data, quint16 length,
                        unsigned timeoutMs) override;
    std::string lastError() const override;
    // The device's usbfs node, /dev/bus/usb/BBB/DDD: the same in every program, gone with the
    // device, and open to whoever may use the device.
    std::string lockPath(const UsbDeviceInfo& device) const override;
    int kernelDriverActive(UsbHandle* handle, int interfaceNumber) override;
    // libusb's automatic detach: the kernel driver leaves at the claim and returns at the release.
    int claimInterface(UsbHandle* handle, int interfaceNumber) override;
    int releaseInterface(UsbHandle* handle, int interfaceNumber) override;

private:
    class Handle;

    int remember(int code);  // keeps a failure code for lastError(), returns it
    Handle* live(UsbHandle* handle) const;
    void releaseDevices();

    libusb_context* context_ = nullptr;
    libusb_device** devices_ = nullptr;  // the last enumeration, referenced until the next
    int deviceCount_ = 0;
    std::vector<UsbBus> busses_;
    std::set<Handle*> handles_;
    std::string lastError_ = "Success";
};
