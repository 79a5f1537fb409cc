#include "registers/registerwrite.h"

#include "usb/i2ctinyusb.h"

std::optional<QString> writeRegister(AdapterConnection& c, const RegisterImage& image,
                                     quint8 address) {
    if (i2c_write_register(c, c.i2cAddress, address, image[address]) < 0)
        return i2c_error_text(c);
    return std::nullopt;
}
