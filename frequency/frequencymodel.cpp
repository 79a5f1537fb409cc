// SPDX-License-Identifier: MIT
#include "frequency/frequencymodel.h"

#include <QLocale>

#include <cmath>

int pllMultiplier(int pb, bool po) {
    return (po ? 1 : 0) + (4 + pb) * 2;
}

int pllDivider(int qCounter) {
    return (qCounter & 0x7F) + 2;
}

double pllFrequency(qint64 referenceHz, int pb, bool po, int qCounter) {
    const double pTotal = pllMultiplier(pb, po);
    const double qTotal = pllDivider(qCounter);  // at least 2, never a division by zero
    return double(referenceHz) * pTotal / qTotal;
}

bool pllBelowRange(double fPll, const PllRange& range) {
    return range.low > fPll;
}

bool pllAboveRange(double fPll, const PllRange& range) {
    return fPll > range.high;
}

double outputFrequency(int code, double fRef, double div1Clk, double div2Clk, int div1N,
                       int div2N) {
    switch (code) {
        case 0:
            return fRef;
        case 1:
            return div1Clk / div1N;
        case 2:
            return div1Clk * 0.5;
        case 3:
            return div1Clk / 3;
        case 4:
            return div2Clk / div2N;
        case 5:
            return div2Clk * 0.5;
        case 6:
            return div2Clk * 0.25;
        default:
            return 0;
    }
}

std::optional<Qt::GlobalColor> targetColour(double output, double target) {
    const double ratio = output / target;
    std::optional<Qt::GlobalColor> colour;
    if (ratio > 1.2 || ratio < 0.833333)
        colour = Qt::red;
    if (0.833333 <= ratio && ratio <= 1.2)
        colour = Qt::yellow;
    if (std::fabs(output - target) < 0.00002)
        colour = Qt::green;
    return colour;
}

ChargePumpChoice chargePumpFor(int pTotal) {
    const QString outOfRange =
        QStringLiteral("Warning: invalid charge-pump-setting, p out of range!");
    if (pTotal < 0)
        return {0, outOfRange};
    if (pTotal <= 15)
        return {0, QStringLiteral("Warning: unstable charge-pump-setting, p < 15!")};
    if (pTotal <= 44)
        return {0, {}};
    if (pTotal <= 479)
        return {1, {}};
    if (pTotal <= 639)
        return {2, {}};
    if (pTotal <= 799)
        return {3, {}};
    if (pTotal <= 1023)
        return {4, {}};
    // The warning texts are fixed; their numbers are not always the table's edges (15 warns
    // "p < 15!", 1320 warns "p > 1320!").
    if (pTotal <= 1319)
        return {5, QStringLiteral("Warning: unstable charge-pump-setting, p > 1023!")};
    if (pTotal <= 1679)
        return {6, QStringLiteral("Warning: unstable charge-pump-setting, p > 1320!")};
    if (pTotal <= 2055)
        return {7, QStringLiteral("Warning: unstable charge-pump-setting, p > 1680!")};
    return {0, outOfRange};
}

QString targetText(double hz) {
    const QString fixed = QString::asprintf("%12.5f", hz);
    if (!std::isfinite(hz) || (fixed.size() <= TargetTextMaxLength && fixed.toDouble() == hz))
        return fixed;
    return QString::number(hz, 'g', QLocale::FloatingPointShortest);
}
