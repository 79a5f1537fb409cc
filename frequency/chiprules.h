// SPDX-License-Identifier: MIT
#pragma once

#include "registers/registerimage.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <array>

// The CY22150's own operating rules, as its datasheet gives them, and the check of a register
// image against them. Every figure the rules use stands once in ChipLimits; the planner, the
// views and the command line read the same figures.

// What the board around the chip is: the registers alone do not say it.
enum class PartGrade { Commercial, Industrial };
enum class LclkSupply { V3_3, V2_5 };  // the supply of LCLK1..LCLK4
enum class ReferenceKind { Crystal, DrivenClock };

struct BoardFacts {
    PartGrade grade = PartGrade::Commercial;
    LclkSupply supply = LclkSupply::V3_3;
    ReferenceKind reference = ReferenceKind::Crystal;
    double boardLoadPf = 2;  // the board's own load on the crystal: pads, traces
};

// A closed frequency range in hertz.
struct HzRange {
    double low;
    double high;
    bool contains(double hz) const { return low <= hz && hz <= high; }
};

// The datasheet's figures: a corrected figure is a change of one line here.
namespace ChipLimits {
constexpr int PTotalMin = 16;  // P = 2 * (PB + 4) + PO
constexpr int PTotalMax = 1023;
constexpr int QTotalMin = 2;  // Q = Q counter + 2
constexpr int QTotalMax = 129;
constexpr double ComparisonMinHz = 250e3;  // reference / Q
constexpr HzRange VcoCommercial{100e6, 400e6};
constexpr HzRange VcoIndustrial{100e6, 333.33e6};
constexpr int DividerNMin = 4;  // DIV1N, DIV2N
constexpr int DividerNMax = 127;
constexpr double OutputMaxHz = 200e6;
constexpr double OutputMaxLclkAt2V5Hz = 166.6e6;  // LCLK1..LCLK4 on a 2.5 V supply
constexpr double OutputMinHz = 80e3;
constexpr HzRange CrystalReference{8e6, 30e6};
constexpr HzRange DrivenReference{1e6, 133e6};
// The crystal's load: CAPLOAD steps of CapLoadStepPf on top of the chip's own OnChipLoadPf, plus
// the board's (BoardFacts::boardLoadPf).
constexpr double CapLoadStepPf = 0.09375;
constexpr double OnChipLoadPf = 6;

// The charge pump that P needs: the first band whose last P is at least P.
struct PumpBand {
    int pLast;
    int pump;
};
constexpr std::array<PumpBand, 5> PumpBands{{{44, 0}, {479, 1}, {639, 2}, {799, 3}, {1023, 4}}};

// The bits the register map fixes: (register & mask) must equal value.
struct FixedBits {
    quint8 address;
    quint8 mask;
    quint8 value;
    const char* bits;  // in words, for a finding
};
constexpr std::array<FixedBits, 4> FixedRegisterBits{{
    {0x09, 0xC0, 0x00, "bits 7-6 = 00"},
    {0x12, 0xE7, 0x20, "bits 7-5 = 001 and bits 2-0 = 000"},
    {0x40, 0xE0, 0xC0, "bits 7-5 = 110"},
    {0x46, 0x3F, 0x3F, "bits 5-0 = 111111"},
}};
}  // namespace ChipLimits

// The figures that depend on the board.
HzRange vcoRange(PartGrade grade);
HzRange referenceRange(ReferenceKind kind);
double outputMaximumHz(int output, const BoardFacts& board);  // output 0 = LCLK1 .. 5 = CLK6
// The load a crystal sees for a CAPLOAD value on this board, in pF.
double crystalLoadPf(int capLoad, const BoardFacts& board);
// The pump that P needs, or -1 for a P outside PTotalMin..PTotalMax.
int requiredChargePump(int pTotal);
// Sets the bits the register map fixes (ChipLimits::FixedRegisterBits), keeping every other bit.
void setFixedBits(RegisterImage& image);
// Whether a crosspoint code may divide by a bank whose DIVxN is `n`: code 1 and 4 need
// DividerNMin..DividerNMax, code 2 and 5 a multiple of 4, code 3 DIV1N 6, code 6 a multiple of 8;
// code 0 needs no bank. Code 7 and anything else is never allowed.
bool routeAllowsDividerN(int code, int n);

enum class Severity { Error, Warning };

// One rule of the table: its stable id, how grave breaking it is, and what it asks, in words.
struct ChipRule {
    const char* id;
    Severity severity;
    const char* summary;
};
const std::array<ChipRule, 15>& chipRules();

// One broken rule.
struct Finding {
    QString rule;  // the rule's id, e.g. "p-range"
    Severity severity = Severity::Error;
    QStringList concerns;  // outputs and fields, e.g. "LCLK3", "DIV1N"
    QString text;          // one line, without the id
};
using Findings = QVector<Finding>;

// The findings of an image driven by a reference of `referenceHz`. The PLL rules apply while an
// enabled output draws on the PLL through a divider bank; an image with every output disabled
// has no findings.
Findings checkChipRules(const RegisterImage& image, double referenceHz, const BoardFacts& board);
bool hasErrors(const Findings& findings);
// "rule-id: error: text (concerns)", the line a front end lists.
QString findingLine(const Finding& finding);
// How many findings there are, in a few words: "Chip rules: 0 findings", "Chip rules: 1 finding".
QString findingsSummary(const Findings& findings);

// The outputs' names, LCLK1 first.
QString outputName(int output);
// A frequency for a finding's text: "74.25 MHz", "156.25 kHz", "12 Hz".
QString hzText(double hz);
