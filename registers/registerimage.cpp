// SPDX-License-Identifier: MIT
#include "registers/registerimage.h"

void RegisterImage::applyStartupDefaults() {
    (*this)[Reg::CapLoad] = 0x40;
    (*this)[Reg::XcoDrive] |= 0x10;
}

const char* configurationFieldNames(quint8 address) {
    switch (address) {
        case Reg::ClockOutputEnable:
            return "output enables";
        case Reg::Div1:
            return "DIV1SRC, DIV1N";
        case Reg::XcoDrive:
            return "XDRV";
        case Reg::CapLoad:
            return "CAPLOAD";
        case Reg::PumpPb:
            return "charge pump, PB bits 9..8";
        case Reg::PbLow:
            return "PB bits 7..0";
        case Reg::PoQ:
            return "PO, Q counter";
        case Reg::Matrix1:
            return "crosspoints LCLK1, LCLK2, LCLK3 bits 2..1";
        case Reg::Matrix2:
            return "crosspoints LCLK3 bit 0, LCLK4, CLK5, CLK6 bit 2";
        case Reg::Matrix3:
            return "crosspoint CLK6 bits 1..0";
        case Reg::Div2:
            return "DIV2SRC, DIV2N";
        default:
            return "";
    }
}

namespace Field {
namespace {
void setMasked(RegisterImage& r, quint8 address, quint8 mask, int value) {
    r[address] = static_cast<quint8>((r[address] & ~mask) | (value & mask));
}
}  // namespace

int outputEnables(const RegisterImage& r) {
    return r[Reg::ClockOutputEnable] & 0x3F;
}
void setOutputEnables(RegisterImage& r, int enables) {
    setMasked(r, Reg::ClockOutputEnable, 0x3F, enables);
}

bool div1FromReference(const RegisterImage& r) {
    return r[Reg::Div1] & 0x80;
}
void setDiv1FromReference(RegisterImage& r, bool fromReference) {
    setMasked(r, Reg::Div1, 0x80, fromReference ? 0x80 : 0);
}
int div1N(const RegisterImage& r) {
    return r[Reg::Div1] & 0x7F;
}
void setDiv1N(RegisterImage& r, int n) {
    setMasked(r, Reg::Div1, 0x7F, n);
}

bool div2FromReference(const RegisterImage& r) {
    return r[Reg::Div2] & 0x80;
}
void setDiv2FromReference(RegisterImage& r, bool fromReference) {
    setMasked(r, Reg::Div2, 0x80, fromReference ? 0x80 : 0);
}
int div2N(const RegisterImage& r) {
    return r[Reg::Div2] & 0x7F;
}
void setDiv2N(RegisterImage& r, int n) {
    setMasked(r, Reg::Div2, 0x7F, n);
}

int xcoDrive(const RegisterImage& r) {
    return (r[Reg::XcoDrive] >> 3) & 3;
}
void setXcoDrive(RegisterImage& r, int drive) {
    setMasked(r, Reg::XcoDrive, 0x18, (drive & 3) << 3);
}

int capLoad(const RegisterImage& r) {
    return r[Reg::CapLoad];
}
void setCapLoad(RegisterImage& r, int load) {
    r[Reg::CapLoad] = static_cast<quint8>(load);
}

int chargePump(const RegisterImage& r) {
    return (r[Reg::PumpPb] >> 2) & 7;
}
void setChargePump(RegisterImage& r, int pump) {
    setMasked(r, Reg::PumpPb, 0x1C, (pump & 7) << 2);
}

int pb(const RegisterImage& r) {
    return ((r[Reg::PumpPb] & 3) << 8) | r[Reg::PbLow];
}
void setPb(RegisterImage& r, int pb) {
    setMasked(r, Reg::PumpPb, 0x03, (pb >> 8) & 3);
    r[Reg::PbLow] = static_cast<quint8>(pb);
}

bool po(const RegisterImage& r) {
    return r[Reg::PoQ] & 0x80;
}
void setPo(RegisterImage& r, bool po) {
    setMasked(r, Reg::PoQ, 0x80, po ? 0x80 : 0);
}

int qCounter(const RegisterImage& r) {
    return r[Reg::PoQ] & 0x7F;
}
void setQCounter(RegisterImage& r, int q) {
    setMasked(r, Reg::PoQ, 0x7F, q);
}

quint32 matrixWord(const RegisterImage& r) {
    return (quint32(r[Reg::Matrix1]) << 10) | (quint32(r[Reg::Matrix2]) << 2) |
           (quint32(r[Reg::Matrix3]) >> 6);
}

void setMatrixWord(RegisterImage& r, quint32 word) {
    r[Reg::Matrix1] = static_cast<quint8>(word >> 10);
    r[Reg::Matrix2] = static_cast<quint8>(word >> 2);
    setMasked(r, Reg::Matrix3, 0xC0, static_cast<int>((word & 3) << 6));
}

int crosspointCode(quint32 word, int output) {
    return (word >> (15 - 3 * output)) & 7;
}

void setCrosspointCode(RegisterImage& r, int output, int code) {
    std::array<int, OutputCount> codes{};
    const quint32 word = matrixWord(r);
    for (int i = 0; i < OutputCount; ++i)
        codes[std::size_t(i)] = crosspointCode(word, i);
    codes[std::size_t(output)] = code;
    setMatrixWord(r, packCrosspointCodes(codes));
}

quint32 packCrosspointCodes(const std::array<int, OutputCount>& codes) {
    quint32 word = 0;
    for (int code : codes)
        word = (word << 3) | quint32(code & 7);
    return word;
}
}  // namespace Field
