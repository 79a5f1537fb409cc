// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

#include <array>

// The tool's own copy of the CY22150 register file, indexed by register address,
// and the packing of the fields that the editors decode from it.
struct RegisterImage {
    static constexpr int Size = 256;
    std::array<quint8, Size> bytes{};

    quint8& operator[](int address) { return bytes[static_cast<std::size_t>(address & 0xFF)]; }
    quint8 operator[](int address) const { return bytes[static_cast<std::size_t>(address & 0xFF)]; }

    // Start-up defaults: CAPLOAD 64 and XDRV 2, everything else as it is.
    void applyStartupDefaults();
};

namespace Reg {
constexpr quint8 ClockOutputEnable = 0x09;
constexpr quint8 Div1 = 0x0C;
constexpr quint8 XcoDrive = 0x12;
constexpr quint8 CapLoad = 0x13;
constexpr quint8 PumpPb = 0x40;
constexpr quint8 PbLow = 0x41;
constexpr quint8 PoQ = 0x42;
constexpr quint8 Matrix1 = 0x44;
constexpr quint8 Matrix2 = 0x45;
constexpr quint8 Matrix3 = 0x46;
constexpr quint8 Div2 = 0x47;
}  // namespace Reg

// The registers written by pushCoreRegisters, in write order.
constexpr std::array<quint8, 7> CoreRegisters = {
    Reg::Div1, Reg::XcoDrive, Reg::CapLoad, Reg::PumpPb, Reg::PbLow, Reg::PoQ, Reg::Div2};

// The registers of a configuration in write order: the PLL and the dividers first, the output
// enables (0x09) last, so that no output is enabled while the PLL and dividers still hold old
// values.
constexpr std::array<quint8, 11> SafeWriteOrder = {
    Reg::Div1,    Reg::XcoDrive, Reg::CapLoad,          Reg::PumpPb,
    Reg::PbLow,   Reg::PoQ,      Reg::Matrix1,          Reg::Matrix2,
    Reg::Matrix3, Reg::Div2,     Reg::ClockOutputEnable};

// The fields a configuration register holds, in words ("DIV1SRC, DIV1N"); empty for any other
// register.
const char* configurationFieldNames(quint8 address);

constexpr int OutputCount = 6;  // LCLK1, LCLK2, LCLK3, LCLK4, CLK5, CLK6
constexpr std::array<const char*, OutputCount> OutputNames = {"LCLK1", "LCLK2", "LCLK3",
                                                              "LCLK4", "CLK5",  "CLK6"};

// The crosspoint codes' sources as the matrix boxes name them, code 0 to 7.
constexpr std::array<const char*, 8> CrosspointNames = {"F ref",     "DIV1CLK/DIV1N", "DIV1CLK/2",
                                                        "DIV1CLK/3", "DIV2CLK/DIV2N", "DIV2CLK/2",
                                                        "DIV2CLK/4", "UNDEFINED!"};

// Field access. Setters do read-modify-write: they mask the value to the field's width and
// keep every other bit of the byte.
namespace Field {
int outputEnables(const RegisterImage& r);  // 0x09 bits 5..0, bit 0 = LCLK1
void setOutputEnables(RegisterImage& r, int enables);

bool div1FromReference(const RegisterImage& r);  // DIV1SRC, 0x0C bit 7
void setDiv1FromReference(RegisterImage& r, bool fromReference);
int div1N(const RegisterImage& r);  // 0x0C bits 6..0
void setDiv1N(RegisterImage& r, int n);

bool div2FromReference(const RegisterImage& r);  // DIV2SRC, 0x47 bit 7
void setDiv2FromReference(RegisterImage& r, bool fromReference);
int div2N(const RegisterImage& r);  // 0x47 bits 6..0
void setDiv2N(RegisterImage& r, int n);

int xcoDrive(const RegisterImage& r);  // XDRV, 0x12 bits 4..3
void setXcoDrive(RegisterImage& r, int drive);

int capLoad(const RegisterImage& r);  // CAPLOAD, 0x13
void setCapLoad(RegisterImage& r, int load);

int chargePump(const RegisterImage& r);  // PUMP, 0x40 bits 4..2
void setChargePump(RegisterImage& r, int pump);

int pb(const RegisterImage& r);  // PB, 10 bits over 0x40 bits 1..0 and 0x41
void setPb(RegisterImage& r, int pb);

bool po(const RegisterImage& r);  // PO, 0x42 bit 7
void setPo(RegisterImage& r, bool po);

int qCounter(const RegisterImage& r);  // Q, 0x42 bits 6..0
void setQCounter(RegisterImage& r, int q);

// The 18-bit crosspoint matrix word over 0x44, 0x45 and 0x46 bits 7..6, LCLK1 most significant.
quint32 matrixWord(const RegisterImage& r);
void setMatrixWord(RegisterImage& r, quint32 word);              // keeps the low six bits of 0x46
int crosspointCode(quint32 word, int output);                    // output 0 = LCLK1 .. 5 = CLK6
void setCrosspointCode(RegisterImage& r, int output, int code);  // the other outputs kept
quint32 packCrosspointCodes(const std::array<int, OutputCount>& codes);
}  // namespace Field
