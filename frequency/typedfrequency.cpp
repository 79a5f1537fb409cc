// SPDX-License-Identifier: MIT
#include "frequency/typedfrequency.h"

#include "frequency/solver.h"

#include <cmath>

std::optional<double> readTypedFrequency(const QString& text) {
    QString number = text.trimmed();
    double scale = 1;
    if (number.endsWith(QLatin1Char('k')) || number.endsWith(QLatin1Char('K')))
        scale = 1e3;
    else if (number.endsWith(QLatin1Char('M')))
        scale = 1e6;
    if (scale != 1)
        number.chop(1);
    // The suffix belongs to the number: "25 M" is refused like "25 MHz".
    bool ok = false;
    const double value = readTarget(number, &ok);
    if (!ok || number.trimmed() != number)
        return std::nullopt;
    const double hz = value * scale;
    if (!std::isfinite(hz))
        return std::nullopt;
    const double whole = std::round(hz);
    return std::fabs(hz - whole) <= 1e-6 ? whole : hz;
}
