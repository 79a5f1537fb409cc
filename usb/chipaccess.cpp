// SPDX-License-Identifier: MIT
#include "usb/chipaccess.h"

#include "usb/usbbackend.h"

QString openAdapter(AdapterConnection& c, const UsbDeviceInfo& device) {
    return i2c_open(c, device) == I2cResult::Ok ? QString() : i2c_error_text(c);
}

QString readErrorText(const AdapterConnection& c, int result) {
    switch (result) {
        case I2cResult::Ok:
            return {};
        case I2cResult::NoAcknowledge:
            return QStringLiteral("Error: Device not found at this interface!");
        case I2cResult::ReadNotAcknowledged:
            return QStringLiteral("Error: Device not complete readable!");
        case I2cResult::BadCount:
            // The window shows nothing here; a caller still needs a line to print.
            return QStringLiteral("Error: invalid register count");
        default:
            return i2c_error_text(c);
    }
}

ChipRead readChip(AdapterConnection& c, RegisterImage& image) {
    ChipRead read;
    read.result = i2c_read_registers(c, c.i2cAddress, 0, RegisterImage::Size, image.bytes.data());
    read.error = readErrorText(c, read.result);
    return read;
}
