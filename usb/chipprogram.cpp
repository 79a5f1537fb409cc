#include "usb/chipprogram.h"

#include "usb/chipaccess.h"

ProgramResult writeConfiguration(AdapterConnection& c, const RegisterImage& image) {
    for (quint8 address : SafeWriteOrder) {
        const int result = i2c_write_register(c, c.i2cAddress, address, image[address]);
        if (result < 0) {
            ProgramResult failed;
            failed.ok = false;
            failed.failedRegister = address;
            // A missing acknowledge leaves the USB library without an error of its own.
            failed.error =
                result == I2cResult::NoAcknowledge ? readErrorText(c, result) : i2c_error_text(c);
            return failed;
        }
    }
    return {};
}

std::vector<RegisterDifference> compareConfiguration(const RegisterImage& expected,
                                                     const RegisterImage& read) {
    std::vector<RegisterDifference> differences;
    for (quint8 address : SafeWriteOrder) {
        if (expected[address] != read[address])
            differences.push_back({address, expected[address], read[address]});
    }
    return differences;
}
