// SPDX-License-Identifier: MIT
#include "i2cdevnode.h"

#include "emulatedi2cbus.h"

#include <umockdev.h>

#include <linux/i2c-dev.h>
#include <linux/i2c.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstddef>

namespace {
// i2c-dev's own limits of one I2C_RDWR.
constexpr quint32 MaxMessages = I2C_RDWR_IOCTL_MAX_MSGS;  // 42
constexpr quint16 MaxMessageLength = 8192;

gboolean onHandleIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer node) {
    static_cast<I2cDevNode*>(node)->handleIoctl(client);
    return TRUE;
}

void onClientVanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer node) {
    static_cast<I2cDevNode*>(node)->forgetClient(client);
}

UMockdevIoctlData* resolve(UMockdevIoctlData* data, std::size_t offset, std::size_t length) {
    GError* error = nullptr;
    UMockdevIoctlData* resolved = umockdev_ioctl_data_resolve(data, offset, length, &error);
    g_clear_error(&error);
    return resolved;
}

// The integer argument of an ioctl such as I2C_SLAVE, which passes a value, not a pointer.
unsigned long valueOf(UMockdevIoctlData* arg) {
    return *reinterpret_cast<const unsigned long*>(arg->data);
}

I2cDevNode::Result failure(int error) {
    return I2cDevNode::Result{-1, error};
}
}  // namespace

I2cDevNode::I2cDevNode(std::shared_ptr<EmulatedI2cBus> bus)
    : bus_(std::move(bus)), handler_(umockdev_ioctl_base_new()) {
    g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(onHandleIoctl), this);
    g_signal_connect(handler_, "client-vanished", G_CALLBACK(onClientVanished), this);
}

I2cDevNode::~I2cDevNode() {
    g_signal_handlers_disconnect_by_data(handler_, this);
    g_object_unref(handler_);
}

void I2cDevNode::handleIoctl(UMockdevIoctlClient* client) {
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    References keep;  // until the client has its answer, with the bytes read
    Result result = failure(ENODEV);
    if (bus_->present()) {
        switch (umockdev_ioctl_client_get_request(client)) {
            case I2C_SLAVE:
            case I2C_SLAVE_FORCE:
                result = setAddress(client, valueOf(arg));
                break;
            case I2C_TENBIT: {
                std::lock_guard<std::mutex> lock(mutex_);
                files_[client].tenBit = valueOf(arg) != 0;
                result = Result{};
                break;
            }
            case I2C_PEC:
            case I2C_RETRIES:
                result = Result{};
                break;
            case I2C_TIMEOUT:
                result = valueOf(arg) > INT_MAX ? failure(EINVAL) : Result{};
                break;
            case I2C_FUNCS:
                result = functionality(arg);
                break;
            case I2C_RDWR:
                result = readWrite(arg, keep);
                break;
            default:
                result = failure(ENOTTY);
                break;
        }
    }
    umockdev_ioctl_client_complete(client, result.value, result.error);
    for (UMockdevIoctlData* data : keep)
        g_object_unref(data);
}

void I2cDevNode::forgetClient(UMockdevIoctlClient* client) {
    std::lock_guard<std::mutex> lock(mutex_);
    files_.erase(client);
}

I2cDevNode::Result I2cDevNode::setAddress(UMockdevIoctlClient* client, unsigned long address) {
    std::lock_guard<std::mutex> lock(mutex_);
    OpenFile& file = files_[client];
    if (address > (file.tenBit ? 0x3FFUL : 0x7FUL))
        return failure(EINVAL);
    // No kernel driver holds an address on the emulated buses, so I2C_SLAVE never meets EBUSY.
    file.address = address;
    return Result{};
}

I2cDevNode::Result I2cDevNode::functionality(UMockdevIoctlData* arg) {
    const qint64 funcs = bus_->functionality();
    if (funcs < 0)
        return failure(int(-funcs));
    UMockdevIoctlData* out = resolve(arg, 0, sizeof(unsigned long));
    if (!out)
        return failure(EFAULT);
    const auto value = static_cast<unsigned long>(funcs);
    std::copy_n(reinterpret_cast<const quint8*>(&value), sizeof value, out->data);
    g_object_unref(out);
    return Result{};
}

// i2c-dev's I2C_RDWR: the argument and the messages are checked and copied in before the driver
// sees any; the bytes of read messages are copied back only when the transfer succeeded.
I2cDevNode::Result I2cDevNode::readWrite(UMockdevIoctlData* arg, References& keep) {
    UMockdevIoctlData* request = resolve(arg, 0, sizeof(i2c_rdwr_ioctl_data));
    if (!request)
        return failure(EFAULT);
    keep.push_back(request);
    const auto& rdwr = *reinterpret_cast<const i2c_rdwr_ioctl_data*>(request->data);
    if (rdwr.msgs == nullptr || rdwr.nmsgs == 0 || rdwr.nmsgs > MaxMessages)
        return failure(EINVAL);
    UMockdevIoctlData* array =
        resolve(request, offsetof(i2c_rdwr_ioctl_data, msgs), rdwr.nmsgs * sizeof(i2c_msg));
    if (!array)
        return failure(EFAULT);
    keep.push_back(array);
    const auto* msgs = reinterpret_cast<const i2c_msg*>(array->data);

    std::vector<EmulatedI2cMessage> messages;
    std::vector<UMockdevIoctlData*> buffers;
    for (quint32 i = 0; i < rdwr.nmsgs; ++i) {
        const i2c_msg& msg = msgs[i];
        if (msg.len > MaxMessageLength)
            return failure(EINVAL);
        // Block reads whose length the chip sends are for SMBus devices; no emulated driver
        // offers them.
        if (msg.flags & I2C_M_RECV_LEN)
            return failure(EOPNOTSUPP);
        UMockdevIoctlData* buffer = nullptr;
        if (msg.len > 0) {
            buffer = resolve(array, i * sizeof(i2c_msg) + offsetof(i2c_msg, buf), msg.len);
            if (!buffer)
                return failure(EFAULT);
            keep.push_back(buffer);
        }
        EmulatedI2cMessage m{msg.addr, msg.flags, {}};
        if (m.isRead())
            m.bytes.assign(msg.len, 0);
        else if (buffer)
            m.bytes.assign(buffer->data, buffer->data + msg.len);
        messages.push_back(std::move(m));
        buffers.push_back(buffer);
    }
    const int result = bus_->transfer(messages);
    if (result < 0)
        return failure(-result);
    for (std::size_t i = 0; i < messages.size(); ++i)
        if (messages[i].isRead() && buffers[i])
            std::copy(messages[i].bytes.begin(), messages[i].bytes.end(), buffers[i]->data);
    return Result{result, 0};
}
