// SPDX-License-Identifier: MIT
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <vector>

class EmulatedI2cBus;
struct _UMockdevIoctlBase;
struct _UMockdevIoctlClient;
struct _UMockdevIoctlData;

// The device node /dev/i2c-N of one emulated I2C bus as a program uses it: umockdev hands every
// ioctl on the node to this handler, which plays the kernel's i2c-dev (drivers/i2c/i2c-dev.c):
// I2C_SLAVE and I2C_SLAVE_FORCE, I2C_TENBIT, I2C_PEC, I2C_RETRIES, I2C_TIMEOUT, I2C_FUNCS and
// I2C_RDWR with i2c-dev's limits (at most 42 messages, none longer than 8192 bytes: EINVAL) and
// its copying of the messages; the bus applies its driver's limits behind that. I2C_SMBUS and
// read()/write() on the node are not emulated (ENOTTY).
//
// Every ioctl arrives on umockdev's worker thread while the caller blocks in ioctl().
class I2cDevNode {
public:
    explicit I2cDevNode(std::shared_ptr<EmulatedI2cBus> bus);
    ~I2cDevNode();
    I2cDevNode(const I2cDevNode&) = delete;
    I2cDevNode& operator=(const I2cDevNode&) = delete;

    _UMockdevIoctlBase* handler() const { return handler_; }

    void handleIoctl(_UMockdevIoctlClient* client);
    void forgetClient(_UMockdevIoctlClient* client);

    struct Result {
        long value = 0;
        int error = 0;
    };

private:
    struct OpenFile {
        unsigned long address = 0;  // I2C_SLAVE's
        bool tenBit = false;
    };
    using References = std::vector<_UMockdevIoctlData*>;

    Result setAddress(_UMockdevIoctlClient* client, unsigned long address);
    Result functionality(_UMockdevIoctlData* arg);
    Result readWrite(_UMockdevIoctlData* arg, References& keep);

    std::shared_ptr<EmulatedI2cBus> bus_;
    _UMockdevIoctlBase* handler_;
    std::mutex mutex_;
    std::map<_UMockdevIoctlClient*, OpenFile> files_;
};
