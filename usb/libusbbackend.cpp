// SPDX-License-Identifier: MIT
#include "usb/libusbbackend.h"

#include <libusb.h>

#include <QString>

#include <algorithm>

class LibUsbBackend::Handle : public UsbHandle {
public:
    explicit Handle(libusb_device_handle* device) : device(device) {}
    libusb_device_handle* const device;
};

static_assert(UsbStall == LIBUSB_ERROR_PIPE, "a stall is libusb's pipe error");

namespace {
// A descriptor is at most 255 bytes long: its first byte holds its length.
constexpr int DescriptorBufferSize = 255;
constexpr quint8 DescriptorHeaderSize = 2;  // bLength, bDescriptorType

// The first language is all that is read of the list of languages, as libusb does.
constexpr quint16 LanguageRequestLength = 4;

// GET_DESCRIPTOR for string descriptor `index` in language `language`; index 0 is the list of
// languages.
int requestString(libusb_device_handle* device, quint8 index, quint16 language,
                  unsigned char* buffer, quint16 length) {
    return libusb_control_transfer(device, LIBUSB_ENDPOINT_IN, LIBUSB_REQUEST_GET_DESCRIPTOR,
                                   quint16(LIBUSB_DT_STRING << 8 | index), language, buffer, length,
                                   LibUsbBackend::StringRequestTimeoutMs);
}

// The length of a string descriptor that `moved` bytes delivered, or a libusb error code when
// it is not one.
int descriptorLength(const unsigned char* buffer, int moved) {
    if (moved < 0) {
        return moved;
    }
    if (moved < DescriptorHeaderSize || buffer[1] != LIBUSB_DT_STRING || buffer[0] > moved ||
        buffer[0] < DescriptorHeaderSize) {
        return LIBUSB_ERROR_IO;
    }
    return buffer[0];
}
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
    // As libusb_get_string_descriptor_ascii does, but with a short time-out per request and
    // the whole UTF-16 text instead of '?' for every character beyond ASCII.
    unsigned char buffer[DescriptorBufferSize] = {};
    const int moved = requestString(h->device, 0, 0, buffer, LanguageRequestLength);
    if (moved < 0) {
        return remember(moved);
    }
    // The list may hold more languages than the bytes asked for; the first one is enough.
    if (moved < LanguageRequestLength || buffer[0] < LanguageRequestLength ||
        buffer[1] != LIBUSB_DT_STRING) {
        return remember(LIBUSB_ERROR_IO);
    }
    const quint16 language = quint16(buffer[2] | buffer[3] << 8);
    const int length = descriptorLength(
        buffer, requestString(h->device, quint8(index), language, buffer, DescriptorBufferSize));
    if (length < 0) {
        return remember(length);
    }
    QString decoded;
    for (int i = DescriptorHeaderSize; i + 1 < length; i += 2) {
        decoded += QChar(char16_t(buffer[i] | buffer[i + 1] << 8));
    }
    text = decoded.toStdString();
    return int(text.size());
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

std::string LibUsbBackend::lockPath(const UsbDeviceInfo& device) const {
    return QString::asprintf("/dev/bus/usb/%03d/%03d", device.busNumber, device.deviceNumber)
        .toStdString();
}

int LibUsbBackend::kernelDriverActive(UsbHandle* handle, int interfaceNumber) {
    Handle* h = live(handle);
    if (h == nullptr) {
        return remember(LIBUSB_ERROR_INVALID_PARAM);
    }
    const int result = libusb_kernel_driver_active(h->device, interfaceNumber);
    return result < 0 ? remember(result) : result;
}

int LibUsbBackend::claimInterface(UsbHandle* handle, int interfaceNumber) {
    Handle* h = live(handle);
    if (h == nullptr) {
        return remember(LIBUSB_ERROR_INVALID_PARAM);
    }
    // Without detach support (another system) the claim alone is tried.
    libusb_set_auto_detach_kernel_driver(h->device, 1);
    const int result = libusb_claim_interface(h->device, interfaceNumber);
    return result < 0 ? remember(result) : 0;
}

int LibUsbBackend::releaseInterface(UsbHandle* handle, int interfaceNumber) {
    Handle* h = live(handle);
    if (h == nullptr) {
        return remember(LIBUSB_ERROR_INVALID_PARAM);
    }
    const int result = libusb_release_interface(h->device, interfaceNumber);
    return result < 0 ? remember(result) : 0;
}
