// SPDX-License-Identifier: MIT
#include "usbfsnode.h"

#include "emulateddevice.h"

#include <umockdev.h>

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <string>

namespace {
constexpr int SetupPacketLength = 8;

gboolean onHandleIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer node) {
    static_cast<UsbfsNode*>(node)->handleIoctl(client);
    return TRUE;
}

void onClientVanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer node) {
    static_cast<UsbfsNode*>(node)->forgetClient(client);
}

// The pointer that an ioctl argument holds, as an address in the calling process.
const void* clientPointer(UMockdevIoctlData* arg) {
    return *reinterpret_cast<const void* const*>(arg->data);
}

UMockdevIoctlData* resolve(UMockdevIoctlData* data, std::size_t offset, std::size_t length) {
    GError* error = nullptr;
    UMockdevIoctlData* resolved = umockdev_ioctl_data_resolve(data, offset, length, &error);
    g_clear_error(&error);
    return resolved;
}

usbdevfs_urb& urbOf(UMockdevIoctlData* data) {
    return *reinterpret_cast<usbdevfs_urb*>(data->data);
}
}  // namespace

UsbfsNode::UsbfsNode(std::shared_ptr<EmulatedDevice> device)
    : device_(std::move(device)), handler_(umockdev_ioctl_base_new()) {
    g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(onHandleIoctl), this);
    g_signal_connect(handler_, "client-vanished", G_CALLBACK(onClientVanished), this);
}

UsbfsNode::~UsbfsNode() {
    g_signal_handlers_disconnect_by_data(handler_, this);
    g_object_unref(handler_);
    for (auto& [client, queues] : clients_) {
        for (const Urb& urb : queues.completed)
            g_object_unref(urb.data);
        for (const Urb& urb : queues.held)
            g_object_unref(urb.data);
    }
}

void UsbfsNode::handleIoctl(UMockdevIoctlClient* client) {
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    References release;  // kept until the client has its answer
    Result result{-1, ENOTTY};
    switch (umockdev_ioctl_client_get_request(client)) {
        case USBDEVFS_GET_CAPABILITIES:
            result = getCapabilities(arg);
            break;
        case USBDEVFS_SUBMITURB:
            result = submit(client, arg);
            break;
        case USBDEVFS_REAPURBNDELAY:
            result = reap(client, arg, release);
            break;
        case USBDEVFS_DISCARDURB:
            result = discard(client, arg);
            break;
        case USBDEVFS_GETDRIVER:
            result = getDriver(arg);
            break;
        case USBDEVFS_DISCONNECT_CLAIM:
            result = disconnectClaim(client, arg);
            break;
        case USBDEVFS_CLAIMINTERFACE:
        case USBDEVFS_RELEASEINTERFACE:
            result = claimOrRelease(client, umockdev_ioctl_client_get_request(client), arg);
            break;
        case USBDEVFS_IOCTL:
            result = interfaceIoctl(arg);
            break;
        default:
            break;
    }
    umockdev_ioctl_client_complete(client, result.value, result.error);
    for (UMockdevIoctlData* data : release)
        g_object_unref(data);
}

void UsbfsNode::forgetClient(UMockdevIoctlClient* client) {
    device_->forgetClaimant(client);
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = clients_.find(client);
    if (found == clients_.end())
        return;
    for (const Urb& urb : found->second.completed)
        g_object_unref(urb.data);
    for (const Urb& urb : found->second.held)
        g_object_unref(urb.data);
    clients_.erase(found);
}

UsbfsNode::Result UsbfsNode::getCapabilities(UMockdevIoctlData* arg) {
    UMockdevIoctlData* caps = resolve(arg, 0, sizeof(quint32));
    if (!caps)
        return {-1, EFAULT};
    // Control transfers need none of the optional usbfs features.
    const quint32 none = 0;
    std::copy_n(reinterpret_cast<const quint8*>(&none), sizeof none, caps->data);
    g_object_unref(caps);
    return {};
}

namespace {
UsbfsNode::Result outcome(int error) {
    return error == 0 ? UsbfsNode::Result{} : UsbfsNode::Result{-1, error};
}
}  // namespace

UsbfsNode::Result UsbfsNode::getDriver(UMockdevIoctlData* arg) {
    UMockdevIoctlData* query = resolve(arg, 0, sizeof(usbdevfs_getdriver));
    if (!query)
        return {-1, EFAULT};
    auto& getDriver = *reinterpret_cast<usbdevfs_getdriver*>(query->data);
    std::string driver;
    const int error = device_->interfaceDriver(getDriver.interface, driver);
    if (error == 0) {
        std::fill(std::begin(getDriver.driver), std::end(getDriver.driver), '\0');
        driver.copy(getDriver.driver, sizeof getDriver.driver - 1);
    }
    g_object_unref(query);
    return outcome(error);
}

UsbfsNode::Result UsbfsNode::disconnectClaim(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    UMockdevIoctlData* request = resolve(arg, 0, sizeof(usbdevfs_disconnect_claim));
    if (!request)
        return {-1, EFAULT};
    const auto& claim = *reinterpret_cast<const usbdevfs_disconnect_claim*>(request->data);
    const std::string driver(claim.driver, strnlen(claim.driver, sizeof claim.driver));
    const int error = device_->disconnectAndClaim(claim.interface, claim.flags, driver, client);
    g_object_unref(request);
    return outcome(error);
}

UsbfsNode::Result UsbfsNode::claimOrRelease(UMockdevIoctlClient* client, unsigned long request,
                                            UMockdevIoctlData* arg) {
    UMockdevIoctlData* number = resolve(arg, 0, sizeof(unsigned int));
    if (!number)
        return {-1, EFAULT};
    const unsigned int iface = *reinterpret_cast<const unsigned int*>(number->data);
    g_object_unref(number);
    return outcome(request == USBDEVFS_CLAIMINTERFACE ? device_->claimInterface(iface, client)
                                                      : device_->releaseInterface(iface, client));
}

UsbfsNode::Result UsbfsNode::interfaceIoctl(UMockdevIoctlData* arg) {
    UMockdevIoctlData* request = resolve(arg, 0, sizeof(usbdevfs_ioctl));
    if (!request)
        return {-1, EFAULT};
    const usbdevfs_ioctl command = *reinterpret_cast<const usbdevfs_ioctl*>(request->data);
    g_object_unref(request);
    if (command.ifno < 0)
        return {-1, EINVAL};
    const auto iface = unsigned(command.ifno);
    switch (command.ioctl_code) {
        case USBDEVFS_DISCONNECT:
            return outcome(device_->disconnectDriver(iface));
        case USBDEVFS_CONNECT: {
            const int bound = device_->connectDriver(iface);
            return bound >= 0 && bound <= 1 ? Result{bound, 0} : Result{-1, bound};
        }
        default:
            // Another driver's own ioctl: the emulated drivers have none.
            return {-1, ENOTTY};
    }
}

UsbfsNode::Result UsbfsNode::submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    const void* address = clientPointer(arg);
    UMockdevIoctlData* urbData = resolve(arg, 0, sizeof(usbdevfs_urb));
    if (!urbData)
        return {-1, EFAULT};
    usbdevfs_urb& urb = urbOf(urbData);
    if (urb.type != USBDEVFS_URB_TYPE_CONTROL || urb.endpoint != 0 ||
        urb.buffer_length < SetupPacketLength) {
        g_object_unref(urbData);
        return {-1, EINVAL};
    }
    UMockdevIoctlData* buffer =
        resolve(urbData, offsetof(usbdevfs_urb, buffer), std::size_t(urb.buffer_length));
    if (!buffer) {
        g_object_unref(urbData);
        return {-1, EFAULT};
    }
    const UsbSetup setup = UsbSetup::fromPacket(buffer->data);
    if (setup.length > urb.buffer_length - SetupPacketLength) {
        g_object_unref(buffer);
        g_object_unref(urbData);
        return {-1, EINVAL};
    }
    // The data stage follows the SETUP packet; actual_length counts the data stage alone.
    const std::optional<ControlAnswer> answer =
        device_->control(setup, buffer->data + SetupPacketLength);
    g_object_unref(buffer);  // the URB's copy keeps it and writes it back with the URB

    std::lock_guard<std::mutex> lock(mutex_);
    Queues& queues = clients_[client];
    if (!answer) {
        queues.held.push_back(Urb{address, urbData});
        return {};
    }
    urb.status = answer->status;
    urb.actual_length = answer->length;
    queues.completed.push_back(Urb{address, urbData});
    return {};
}

UsbfsNode::Result UsbfsNode::reap(UMockdevIoctlClient* client, UMockdevIoctlData* arg,
                                  References& release) {
    Urb urb{};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        Queues& queues = clients_[client];
        if (queues.completed.empty())
            return {-1, EAGAIN};
        urb = queues.completed.front();
        queues.completed.pop_front();
    }
    release.push_back(urb.data);
    // The argument points at the caller's URB pointer, which is to point at the reaped URB.
    UMockdevIoctlData* pointer = resolve(arg, 0, sizeof(void*));
    if (!pointer)
        return {-1, EFAULT};
    release.push_back(pointer);
    if (!umockdev_ioctl_data_set_ptr(pointer, 0, urb.data))
        return {-1, EFAULT};
    return {};
}

UsbfsNode::Result UsbfsNode::discard(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    const void* address = clientPointer(arg);
    std::lock_guard<std::mutex> lock(mutex_);
    Queues& queues = clients_[client];
    auto held = std::find_if(queues.held.begin(), queues.held.end(),
                             [address](const Urb& urb) { return urb.clientAddress == address; });
    // A URB that already completed cannot be discarded any more.
    if (held == queues.held.end())
        return {-1, EINVAL};
    usbdevfs_urb& urb = urbOf(held->data);
    urb.status = -ENOENT;
    urb.actual_length = 0;
    queues.completed.push_back(*held);
    queues.held.erase(held);
    return {};
}
