// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// How the CY22150's frequencies follow from its registers, and the rules that judge them.
// Frequencies are doubles in hertz.

// The reference frequencies that sbFreference offers, in whole hertz; a register file holds one
// of them.
constexpr qint32 ReferenceMinimumHz = 1000000;
constexpr qint32 ReferenceMaximumHz = 200000000;

// leF1 and leF2 hold at most this many characters.
constexpr int TargetTextMaxLength = 40;

// The text of a target frequency in leF1 or leF2, which is also what a file's F1 and F2 numbers
// come back as: "%12.5f" wherever that fits in TargetTextMaxLength characters and reads back as
// `hz` (every ordinary target), otherwise the shortest text that reads back as `hz`, such as
// "1e+35" or "12345678.12345679". A value that is not finite keeps its "%12.5f" text.
QString targetText(double hz);

// The stable range of the PLL; a frequency equal to a limit is stable.
struct PllRange {
    qint32 low;
    qint32 high;
};
constexpr PllRange NormalPllRange{100000000, 400000000};
constexpr PllRange ExtendedPllRange{25000000, 450000000};
constexpr PllRange pllRangeFor(bool extended) {
    return extended ? ExtendedPllRange : NormalPllRange;
}

// Targets below this frequency are taken from the reference through its divider, since the PLL
// path cannot divide its lowest frequency by more than 127.
constexpr qint32 pllPathFloor(qint32 pllLowLimit) {
    return pllLowLimit / 127;
}

// P = 2 * (PB + 4) + PO and Q = Q counter + 2, the chip's total multiplier and reference divider.
int pllMultiplier(int pb, bool po);
int pllDivider(int qCounter);
// Reference * P / Q, from the register fields PB (10 bits), PO and the Q counter (7 bits).
double pllFrequency(qint64 referenceHz, int pb, bool po, int qCounter);

namespace PllWarning {
inline const QString Low = QStringLiteral("Warning: unstable LOW PLL frequency!");
inline const QString High = QStringLiteral("Warning: unstable HIGH PLL frequency!");
}  // namespace PllWarning
bool pllBelowRange(double fPll, const PllRange& range);
bool pllAboveRange(double fPll, const PllRange& range);

// The frequency that an output's crosspoint code selects. div1Clk and div2Clk are the reference
// or the PLL, as the divider sources say. Code 7 ("UNDEFINED!") gives 0, and so does any code
// outside 0..7. A divider of 0 gives an infinite frequency, as plain division does.
double outputFrequency(int code, double fRef, double div1Clk, double div2Clk, int div1N, int div2N);

// Colour of a target field for an output and its target: red beyond 20 % (below the decimal
// bound 0.833333 or above 1.2 of the target), yellow within, green when the two agree within
// 0.00002 Hz. The later rule wins. No colour when no rule applies (a ratio that is not a number
// with outputs that differ, such as infinity against infinity): the field keeps its colour.
std::optional<Qt::GlobalColor> targetColour(double output, double target);

// The charge-pump setting for a total multiplier P, with the warning to show, if any.
struct ChargePumpChoice {
    int pump;
    QString message;  // empty: no warning
};
ChargePumpChoice chargePumpFor(int pTotal);
