// SPDX-License-Identifier: MIT
#include "i2cdriverprofile.h"

#include <cerrno>

namespace {
using Parent = I2cDriverProfile::Parent;
constexpr quint64 FuncI2c = 0x00000001;
constexpr quint64 FuncProtocolMangling = 0x00000004;
constexpr quint64 FuncSmbusEmulated = 0x0EFF0008;
constexpr quint64 Plain = FuncI2c | FuncSmbusEmulated;
}  // namespace

// In the adapter names, {interface} stands for the USB interface's sysfs name, {bus} and
// {device} for the USB bus and device numbers (three digits).
const I2cDriverProfile I2cDrivers::Profiles[7] = {
    // The kernel sends each message whole as one I/O request, then asks for the status; the
    // adapter firmware's data stage cannot exceed 254 bytes and reads are kept to 128. A failed
    // request is "failure reading data": EIO.
    {"i2c-tiny-usb", "usb", "i2c-tiny-usb at bus {bus} device {device}", Parent::UsbInterface, "",
     0x0403, 0xC631, 0 /* the firmware's answer */, 128, 254, 0, EIO, false, false, false,
     EOPNOTSUPP, ENXIO, ENXIO, true},
    // A read only as the last message; the controller's error flag on a missing acknowledge.
    {"i2c-bcm2835", "platform", "bcm2835 (i2c@7e804000)", Parent::Platform,
     "platform/soc/fe804000.i2c", 0, 0, Plain | FuncProtocolMangling, 0, 0, 0, EINVAL, true, false,
     false, EOPNOTSUPP, EREMOTEIO, EREMOTEIO, false},
    // One message, or a register write then a read from the same address.
    {"mcp2221", "hid", "MCP2221 usb-i2c bridge", Parent::UsbHid, "0003:04D8:00DD.0001", 0x04D8,
     0x00DD, Plain, 0, 0, 0, EINVAL, false, true, false, EOPNOTSUPP, ENXIO, ENXIO, false},
    // The same, as an adapter quirk of the i2c core, with at most 2 bytes before the read.
    {"ft260", "hid", "FT260 usb-i2c bridge", Parent::UsbHid, "0003:0403:6030.0003", 0x0403, 0x6030,
     Plain, 0, 0, 2, EOPNOTSUPP, false, true, false, EOPNOTSUPP, EIO, EIO, false},
    // The bridge's read request takes 1..512 bytes, its write request 61 and the write part of a
    // write-then-read 16; a request it refuses is EINVAL. A missing acknowledge is a time-out.
    {"cp2112", "hid", "CP2112 SMBus Bridge on hidraw0", Parent::UsbHid, "0003:10C4:EA90.0002",
     0x10C4, 0xEA90, Plain, 512, 61, 16, EINVAL, false, true, false, EOPNOTSUPP, ETIMEDOUT,
     ETIMEDOUT, false},
    // Each message is a transaction of its own, at most 256 bytes (adapter quirks); a write and a
    // read in one call would not be one transaction and are refused here. A read the chip does
    // not acknowledge is EREMOTEIO; a write, short, is EPROTO.
    {"dln2-i2c", "platform", "dln2-i2c-{interface}-0", Parent::UsbPlatform, "dln2-i2c.1.auto",
     0xA257, 0x2013, Plain, 256, 256, 0, EOPNOTSUPP, false, false, true, EOPNOTSUPP, EREMOTEIO,
     EPROTO, false},
    // A controller no table knows: only i2c-dev's own limits.
    {"acme-i2c", "platform", "ACME I2C controller", Parent::Platform, "platform/acme-i2c.0", 0, 0,
     Plain, 0, 0, 0, EINVAL, false, false, false, EOPNOTSUPP, ENXIO, ENXIO, false},
};

const I2cDriverProfile& I2cDrivers::tinyUsb() {
    return Profiles[0];
}

const I2cDriverProfile& I2cDrivers::bcm2835() {
    return Profiles[1];
}

const I2cDriverProfile& I2cDrivers::unknown() {
    return Profiles[6];
}

const I2cDriverProfile* I2cDrivers::find(std::string_view driver) {
    for (const I2cDriverProfile& p : Profiles)
        if (driver == p.driver)
            return &p;
    return nullptr;
}
