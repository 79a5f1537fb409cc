#include "usb/libusbbackend.h"

#include <libusb.h>

#include <algorithm>

class LibUsbBackend::Handle : public UsbHandle {
public:
    explicit Handle(libusb_device_handle* device) : device(device) {}
    libusb_device_handle* const device;
};

namespace {
// libusb_get_string_descriptor_ascii writes at most this many bytes, terminator included.
constexpr int StringBufferSize = 256;
}  // namespace

LibUsbBackend::~LibUsbBackend() {
    for (Handle* h : handles_) {
        libusb_close(h->device);
        delete h;
    }
    releaseDevices();
    if (context_ != nullptr) {
        libusb_exit(context_);
    }
}

int LibUsbBackend::remember(int code) {
    lastError_ = libusb_strerror(code);
    return code;
}

std::string LibUsbBackend::lastError() const {
    return lastError_;
}

void LibUsbBackend::init() {
    if (context_ != nullptr) {
        return;
    }
    const int result = libusb_init(&context_);
    if (result != LIBUSB_SUCCESS) {
        context_ = nullptr;
        remember(result);
    }
}

void LibUsbBackend::releaseDevices() {
    if (devices_ != nullptr) {
        libusb_free_device_list(devices_, 1);
        devices_ = nullptr;
    }
    deviceCount_ = 0;
}

void LibUsbBackend::rescan() {
    releaseDevices();
    busses_.clear();
    if (context_ == nullptr) {
        return;
    }
    const ssize_t count = libusb_get_device_list(context_, &devices_);
    if (count < 0) {
        devices_ = nullptr;
        remember(int(count));
        return;
    }
    deviceCount_ = int(count);
    if (deviceCount_ == 0) {
        // libusb has no error for an empty list; say what the user is facing instead of "Success".
        lastError_ = NoDevicesText;
    }
    for (int key = 0; key < deviceCount_; ++key) {
        libusb_device* device = devices_[key];
        libusb_device_descriptor descriptor{};
        const int result = libusb_get_device_descriptor(device, &descriptor);
        if (result != LIBUSB_SUCCESS) {
            remember(result);
            continue;  // a device without a descriptor cannot be named
        }
        UsbDeviceInfo info;
        info.busNumber = libusb_get_bus_number(device);
        info.deviceNumber = libusb_get_device_address(device);
        info.vendorId = descriptor.idVendor;
        info.productId = descriptor.idProduct;
        info.manufacturerIndex = descriptor.iManufacturer;
        info.productIndex = descriptor.iProduct;
        info.key = key;
        auto bus = std::find_if(busses_.begin(), busses_.end(),
                                [&info](const UsbBus& b) { return b.number == info.busNumber; });
        if (bus == busses_.end()) {
            busses_.push_back(UsbBus{info.busNumber, {}});
            bus = busses_.end() - 1;
        }
        bus->devices.push_back(info);
    }
}

UsbHandle* LibUsbBackend::open(const UsbDeviceInfo& device) {
    if (device.key < 0 || device.key >= deviceCount_) {
        remember(LIBUSB_ERROR_NO_DEVICE);
        return nullptr;
    }
    libusb_device_handle* opened = nullptr;
    const int result = libusb_open(devices_[device.key], &opened);
    if (result != LIBUSB_SUCCESS) {
        remember(result);
        return nullptr;
    }
    auto* handle = new Handle(opened);
    handles_.insert(handle);
    return handle;
}

LibUsbBackend::Handle* LibUsbBackend::live(UsbHandle* handle) const {
    for (Handle* h : handles_) {
        if (h == handle) {
            return h;
        }
    }
    return nullptr;
}

void LibUsbBackend::close(UsbHandle* handle) {
    Handle* h = live(handle);
    if (h == nullptr) {
        return;
    }
    handles_.erase(h);
    libusb_close(h->device);
    delete h;
}

int LibUsbBackend::readString(UsbHandle* handle, int index, std::string& text) {
    Handle* h = live(handle);
    if (h == nullptr || index < 1 || index > 0xFF) {
        return remember(LIBUSB_ERROR_INVALID_PARAM);
    }
    unsigned char buffer[StringBufferSize] = {};
    const int length =
        libusb_get_string_descriptor_ascii(h->device, quint8(index), buffer, sizeof buffer);
    if (length < 0) {
        return remember(length);
    }
    text.assign(reinterpret_cast<const char*>(buffer), std::size_t(length));
    return length;
}

int LibUsbBackend::controlTransfer(UsbHandle* handle, quint8 requestType, quint8 request,
                                   quint16 value, quint16 index, unsigned char* data,
                                   quint16 length, unsigned timeoutMs) {
    Handle* h = live(handle);
    if (h == nullptr) {
        return remember(LIBUSB_ERROR_INVALID_PARAM);
    }
    const int result = libusb_control_transfer(h->device, requestType, request, value, index, data,
                                               length, timeoutMs);
    return result < 0 ? remember(result) : result;
}
