// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <array>

// What the kernel driver of an I2C adapter can carry in one I2C_RDWR, and which error codes it
// uses for a chip that does not acknowledge. The one table of these figures, keyed by the
// driver's name as sysfs gives it (the driver link of the adapter's parent device).
struct I2cDriverLimits {
    const char* driver = nullptr;  // nullptr: a driver not in the table
    int maxRead = 0;               // bytes per read message; 0: no limit of the driver's own
    int maxWrite = 0;              // bytes of the write message before a read; 0: no limit
    // Whether a write and a read go in one ioctl with a repeated START between them. Without,
    // each message is its own transaction, so the pointer write and the read are two ioctls.
    bool repeatedStart = true;
    // Only a write followed by a read to the same address, or a single message (mcp2221, ft260;
    // i2c-bcm2835: one read per ioctl, and last). The transport's transactions are all of that
    // shape; the flag says why it must stay so.
    bool writeThenReadOnly = false;
    // The errno values the driver gives when the chip does not acknowledge (0: unused slot).
    std::array<int, 2> noAcknowledge{};
};

// The limits of `driver`, or those of a driver not in the table (reads of at most 32 bytes).
const I2cDriverLimits& i2cDriverLimits(const QString& driver);

// Whether `error` (an errno value) is the driver's way of saying that the chip did not answer.
bool isNoAcknowledge(const I2cDriverLimits& limits, int error);
