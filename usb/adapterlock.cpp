// SPDX-License-Identifier: MIT
#include "usb/adapterlock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace {
// How often a waiting program looks again: short beside an operation of hundreds of transfers.
constexpr std::chrono::milliseconds RetryInterval{5};
}  // namespace

AdapterLock::~AdapterLock() {
    detach();
}

void AdapterLock::attach(const std::string& path) {
    detach();
    if (path.empty())
        return;
    // Read access is all flock needs, and all that a device node may grant.
    do {
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    } while (fd_ < 0 && errno == EINTR);
}

void AdapterLock::detach() {
    if (fd_ >= 0) {
        ::close(fd_);  // also releases the lock
        fd_ = -1;
    }
    depth_ = 0;
}

bool AdapterLock::acquire(int waitMs) {
    if (depth_ > 0 || fd_ < 0) {
        ++depth_;
        return true;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
            depth_ = 1;
            return true;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            // A file system without flock: nothing to lock against.
            depth_ = 1;
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(RetryInterval);
    }
}

void AdapterLock::release() {
    if (depth_ == 0)
        return;
    if (--depth_ == 0 && fd_ >= 0)
        ::flock(fd_, LOCK_UN);
}
