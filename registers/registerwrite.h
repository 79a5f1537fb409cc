#pragma once

#include "registers/registerimage.h"

#include <QString>

#include <optional>

struct AdapterConnection;

// Writes one register of the image to the chip at the connection's I2C address. Returns the
// error line ("Error: ...") when the write failed; nothing when it went out or no adapter is open.
std::optional<QString> writeRegister(AdapterConnection& c, const RegisterImage& image,
                                     quint8 address);
