// SPDX-License-Identifier: MIT
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

class EmulatedDevice;
struct _UMockdevIoctlBase;
struct _UMockdevIoctlClient;
struct _UMockdevIoctlData;

// The device node /dev/bus/usb/BBB/DDD of one emulated device as libusb-1.0 uses it: umockdev
// hands every ioctl on the node to this handler, which plays the kernel's usbfs for control
// transfers on endpoint 0 and for the claim of interface 0 against a bound kernel driver.
//
// A URB is answered at submit time and waits for its reap, because umockdev's node always polls
// ready and libusb would spin on a URB left pending. A URB the device does not answer is held
// until libusb gives up and discards it at its time-out; it is then reaped with -ENOENT, as the
// kernel returns a cancelled URB.
//
// Every ioctl arrives on umockdev's worker thread while the caller blocks in ioctl(): the handler
// locks its queues and never calls libusb.
class UsbfsNode {
public:
    explicit UsbfsNode(std::shared_ptr<EmulatedDevice> device);
    ~UsbfsNode();
    UsbfsNode(const UsbfsNode&) = delete;
    UsbfsNode& operator=(const UsbfsNode&) = delete;

    // The umockdev ioctl handler to attach to the node.
    _UMockdevIoctlBase* handler() const { return handler_; }

    // Called by umockdev's signals on its worker thread.
    void handleIoctl(_UMockdevIoctlClient* client);
    void forgetClient(_UMockdevIoctlClient* client);

    struct Result {
        long value = 0;
        int error = 0;
    };

private:
    struct Urb {
        const void* clientAddress;  // where the URB lives in the process that submitted it
        _UMockdevIoctlData* data;   // our reference to its copy
    };
    struct Queues {
        std::deque<Urb> completed;  // answered or discarded, waiting to be reaped
        std::vector<Urb> held;      // unanswered, waiting for their discard
    };
    using References = std::vector<_UMockdevIoctlData*>;

    Result getCapabilities(_UMockdevIoctlData* arg);
    Result submit(_UMockdevIoctlClient* client, _UMockdevIoctlData* arg);
    Result reap(_UMockdevIoctlClient* client, _UMockdevIoctlData* arg, References& release);
    Result discard(_UMockdevIoctlClient* client, _UMockdevIoctlData* arg);
    // Interface 0 and its kernel driver, as libusb's kernel-driver calls reach them.
    Result getDriver(_UMockdevIoctlData* arg);
    Result disconnectClaim(_UMockdevIoctlClient* client, _UMockdevIoctlData* arg);
    Result claimOrRelease(_UMockdevIoctlClient* client, unsigned long request,
                          _UMockdevIoctlData* arg);
    Result interfaceIoctl(_UMockdevIoctlData* arg);

    std::shared_ptr<EmulatedDevice> device_;
    _UMockdevIoctlBase* handler_;
    std::mutex mutex_;
    std::map<_UMockdevIoctlClient*, Queues> clients_;  // one per open file of the node
};
