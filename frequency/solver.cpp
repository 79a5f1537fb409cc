// SPDX-License-Identifier: MIT
#include "frequency/solver.h"

#include "frequency/frequencymodel.h"

#include <cmath>

namespace {
constexpr double PreferredWeight = 10000.0;
constexpr double LowestComparisonFrequency = 250000.0;
constexpr double QCeiling = 129.0;
constexpr double PFloor = 8.0;
constexpr double PCeiling = 2055.0;
constexpr double FirstQ = 2.0;
constexpr double DividerCeiling = 128.0;  // a rounded divider this large ends the walk of a Q
constexpr double DividerFloor = 2.0;
constexpr double ExcludedF2Divider = 3.0;  // DIV2 has no fixed /3
constexpr double RoundingOffset = 0.5;
constexpr double ReferenceDividerCeiling = 127.0;

// The first P of a Q puts the PLL at its lower limit, rounded down.
double firstMultiplier(double q, qint32 pllLowLimit, double refFrequency) {
    const double p = std::floor(double(pllLowLimit) * q / refFrequency);
    return p < PFloor ? PFloor : p;
}
}  // namespace

double readTarget(const QString& text, bool* ok) {
    bool converted = false;
    const double value = text.trimmed().toDouble(&converted);
    // toDouble accepts "0", "-5", "inf" and "nan", none of which is a frequency to solve for.
    *ok = converted && value > 0 && std::isfinite(value);
    return *ok ? value : 0;
}

SolverRecord searchDividers(SolverRecord record, bool f2Enabled, qint32 pllLowLimit,
                            qint32 pllHighLimit) {
    const double w1 = record.f1Preferred ? PreferredWeight : 1.0;
    const double w2 = record.f2Preferred ? PreferredWeight : 1.0;
    const double ref = record.refFrequency;
    double qMax = ref / LowestComparisonFrequency;
    if (qMax > QCeiling)
        qMax = QCeiling;
    record.bestError = -1;

    double targetF1 = record.targetF1;
    double targetF2 = f2Enabled ? record.targetF2 : record.targetF1;
    // A target below the PLL path comes from the reference; the search then serves the other.
    const double floorHz = pllPathFloor(pllLowLimit);
    if (targetF1 < floorHz && targetF2 > floorHz)
        targetF1 = targetF2;
    if (targetF2 < floorHz && targetF1 > floorHz)
        targetF2 = targetF1;

    const double low = pllLowLimit;
    const double high = pllHighLimit;
    double p = firstMultiplier(FirstQ, pllLowLimit, ref);
    double q = FirstQ;
    double best = -1;
    int counter = 0;
    const auto advanceQ = [&] {
        q += 1.0;
        p = firstMultiplier(q, pllLowLimit, ref);
    };

    for (;;) {
        ++counter;
        if (!(q <= qMax))
            break;
        // Products, not quotients: exact for integral frequencies, so the limits are in range.
        if (p > PCeiling || ref * p > high * q) {
            advanceQ();
            continue;
        }
        const double fp = ref * p;
        const double n1 = fp / (targetF1 * q) + RoundingOffset;
        if (n1 >= DividerCeiling) {
            advanceQ();
            continue;
        }
        const double n2 = fp / (targetF2 * q) + RoundingOffset;
        if (n2 >= DividerCeiling) {
            advanceQ();
            continue;
        }
        const bool candidate = ref * p >= low * q && n1 >= DividerFloor && n2 >= DividerFloor &&
                               std::trunc(n2) != ExcludedF2Divider;
        if (candidate) {
            const auto i1 = static_cast<qint32>(n1);  // both in [2, 128)
            const auto i2 = static_cast<qint32>(n2);
            double error = w1 * std::fabs(targetF1 - fp / (q * i1));
            if (f2Enabled)
                error += w2 * std::fabs(targetF2 - fp / (q * i2));
            // Strictly better only: among equal errors the first found (lowest Q, then P) stays.
            if (best < 0 || error < best) {
                record.bestError = error;
                record.divider1 = i1;
                if (f2Enabled)
                    record.divider2 = i2;
                record.pTotal = static_cast<qint32>(p);
                record.qTotal = static_cast<qint32>(q);
                if (error == 0)
                    break;
                best = error;
            }
        }
        p += 1.0;
    }
    record.iterations = counter;
    return record;
}

bool takenFromReference(double target, qint32 pllLowLimit) {
    return target < double(pllPathFloor(pllLowLimit));
}

qint32 referenceDivider(double refFrequency, double target) {
    double quotient = std::floor(refFrequency / target + RoundingOffset);
    if (!(quotient >= 0))  // negative or not a number: no divider
        quotient = 0;
    if (quotient > ReferenceDividerCeiling)
        quotient = ReferenceDividerCeiling;
    return static_cast<qint32>(quotient);
}
