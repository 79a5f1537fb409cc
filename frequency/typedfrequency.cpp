// SPDX-License-Identifier: MIT
#include "frequency/typedfrequency.h"

#include "frequency/solver.h"

#include <cmath>

std::optional<double> readTypedFrequency(const QString& text) {
    QString number = text.trimmed();
    double scale = 1;
    if (number.endsWith(QLatin1Char('k'))) {
        scale = 1e3;
        number.chop(1);
    } else if (number.endsWith(QLatin1Char('M'))) {
        scale = 1e6;
        number.chop(1);
    }
    // "25 M" is as clear as "25M"; a suffix alone is no number and readTarget refuses it.
    bool ok = false;
    const double value = readTarget(number.trimmed(), &ok) * scale;
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}
