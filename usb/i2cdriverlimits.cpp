// SPDX-License-Identifier: MIT
#include "usb/i2cdriverlimits.h"

#include <cerrno>

namespace {
// i2c-tiny-usb: the adapter firmware's data stage cannot exceed 254 bytes; 128 keeps well
// inside it. cp2112: reads up to 512 bytes, a write part of at most 16. dln2: 256 bytes, and
// every message a transaction of its own.
const I2cDriverLimits Known[] = {
    {"i2c-tiny-usb", 128, 0, true, false, {ENXIO, 0}},
    {"i2c-bcm2835", 0, 0, true, true, {EREMOTEIO, 0}},
    {"mcp2221", 0, 0, true, true, {ENXIO, 0}},
    {"ft260", 0, 0, true, true, {ENXIO, EREMOTEIO}},
    {"cp2112", 512, 16, true, false, {ETIMEDOUT, 0}},
    {"dln2-i2c", 256, 256, false, false, {EREMOTEIO, EPROTO}},
};
// Any other driver: small reads, and the kernel's usual codes for a missing acknowledge.
const I2cDriverLimits Unknown = {nullptr, 32, 0, true, false, {ENXIO, EREMOTEIO}};
}  // namespace

const I2cDriverLimits& i2cDriverLimits(const QString& driver) {
    for (const I2cDriverLimits& limits : Known) {
        if (driver == QLatin1String(limits.driver))
            return limits;
    }
    return Unknown;
}

bool isNoAcknowledge(const I2cDriverLimits& limits, int error) {
    for (int code : limits.noAcknowledge) {
        if (code != 0 && code == error)
            return true;
    }
    return false;
}
