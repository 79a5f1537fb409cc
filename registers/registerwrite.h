#pragma once

#include <QtGlobal>

struct Session;

// Write-through from the register image to the chip. A failed write is reported in the status
// bar and never undone in the image; the caller goes on either way.
void pushRegister(Session& s, quint8 address);
// 0x0C, 0x12, 0x13, 0x40, 0x41, 0x42 and 0x47, in this order.
void pushCoreRegisters(Session& s);
