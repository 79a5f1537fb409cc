// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// An exclusive advisory lock on one adapter between the programs of this machine (flock on the
// file the backend names for the device), so that the transfers of two programs never mix. The
// file stays open while the adapter is; the lock is held only while acquired, and acquiring
// nests: the outermost release frees it.
class AdapterLock {
public:
    AdapterLock() = default;
    ~AdapterLock();
    AdapterLock(const AdapterLock&) = delete;
    AdapterLock& operator=(const AdapterLock&) = delete;

    // Opens the lock file; without one (an empty path, or a file that cannot be opened) there is
    // nothing to lock against and every acquire succeeds at once.
    void attach(const std::string& path);
    // Releases the lock, however deep, and closes the file.
    void detach();

    // Takes the lock, trying again for up to `waitMs` while another program holds it. True when
    // held (or already held by this one); false when the other program kept it.
    bool acquire(int waitMs);
    void release();
    bool held() const { return depth_ > 0; }

private:
    int fd_ = -1;
    int depth_ = 0;
};
