// SPDX-License-Identifier: MIT
#pragma once

#include "simusbbackend.h"

#include <QThread>

#include <functional>
#include <memory>

// Passes every call to a simulated USB world; a test may look at the program at each control
// transfer, and give each transfer the latency of a real bus.
class WatchedUsb : public UsbBackend {
public:
    explicit WatchedUsb(std::shared_ptr<SimUsbBackend> sim) : sim_(std::move(sim)) {}

    std::function<void()> onTransfer;
    unsigned long latencyUs = 0;

    void init() override { sim_->init(); }
    void rescan() override { sim_->rescan(); }
    std::vector<UsbBus> busses() const override { return sim_->busses(); }
    UsbHandle* open(const UsbDeviceInfo& device) override { return sim_->open(device); }
    void close(UsbHandle* handle) override { sim_->close(handle); }
    int readString(UsbHandle* handle, int index, std::string& text) override {
        return sim_->readString(handle, index, text);
    }
    int controlTransfer(UsbHandle* handle, quint8 requestType, quint8 request, quint16 value,
                        quint16 index, unsigned char* data, quint16 length,
                        unsigned timeoutMs) override {
        if (onTransfer)
            onTransfer();
        if (latencyUs > 0)
            QThread::usleep(latencyUs);
        return sim_->controlTransfer(handle, requestType, request, value, index, data, length,
                                     timeoutMs);
    }
    std::string lastError() const override { return sim_->lastError(); }
    std::string lockPath(const UsbDeviceInfo& device) const override {
        return sim_->lockPath(device);
    }
    int kernelDriverActive(UsbHandle* handle, int interfaceNumber) override {
        return sim_->kernelDriverActive(handle, interfaceNumber);
    }
    int claimInterface(UsbHandle* handle, int interfaceNumber) override {
        return sim_->claimInterface(handle, interfaceNumber);
    }
    int releaseInterface(UsbHandle* handle, int interfaceNumber) override {
        return sim_->releaseInterface(handle, interfaceNumber);
    }

private:
    std::shared_ptr<SimUsbBackend> sim_;
};
