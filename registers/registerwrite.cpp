#include "registers/registerwrite.h"

#include "app/session.h"

void pushRegister(Session& s, quint8 address) {
    AdapterConnection& c = s.adapter;
    if (i2c_write_register(c, c.i2cAddress, address, s.image[address]) < 0)
        i2c_report_error(c);
}

void pushCoreRegisters(Session& s) {
    for (quint8 address : CoreRegisters)
        pushRegister(s, address);
}
