// SPDX-License-Identifier: MIT
#include "usb/i2cbus.h"

#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace {
static_assert(I2cFunctionPlainI2c == I2C_FUNC_I2C, "the plain I2C functionality bit");

// An ioctl, again when a signal interrupted it; -errno on failure.
int retriedIoctl(int fd, unsigned long request, void* arg) {
    int result = 0;
    do {
        result = ::ioctl(fd, request, arg);
    } while (result < 0 && errno == EINTR);
    return result < 0 ? -errno : result;
}

class LinuxI2cBus : public I2cBusBackend {
public:
    int open(const std::string& node) override {
        int fd = -1;
        do {
            fd = ::open(node.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
        } while (fd < 0 && errno == EINTR);
        return fd < 0 ? -errno : fd;
    }
    void close(int handle) override {
        if (handle >= 0)
            ::close(handle);
    }
    int functionality(int handle, unsigned long& mask) override {
        const int result = retriedIoctl(handle, I2C_FUNCS, &mask);
        return result < 0 ? result : 0;
    }
    int transfer(int handle, I2cMessage* messages, int count) override {
        std::vector<i2c_msg> kernel(size_t(count > 0 ? count : 0));
        for (size_t i = 0; i < kernel.size(); ++i) {
            kernel[i].addr = messages[i].address;
            kernel[i].flags = messages[i].read ? I2C_M_RD : 0;
            kernel[i].len = messages[i].length;
            kernel[i].buf = messages[i].data;
        }
        i2c_rdwr_ioctl_data data{kernel.data(), __u32(kernel.size())};
        return retriedIoctl(handle, I2C_RDWR, &data);
    }
};
}  // namespace

I2cBusBackend& systemI2cBus() {
    static LinuxI2cBus bus;
    return bus;
}
