// SPDX-License-Identifier: MIT
#include "frequency/typedfrequency.h"

#include "frequency/solver.h"

#include <QRegularExpression>

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

namespace {
// A decimal number, also one too large for a double ("1e400"), which toDouble does not convert.
bool isPlainNumber(const QString& text) {
    static const QRegularExpression number(
        QStringLiteral("^[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?$"));
    bool converted = false;
    text.toDouble(&converted);
    return converted || text.isEmpty() || number.match(text).hasMatch();
}
}  // namespace

std::optional<double> readTargetField(const QString& text, bool* ok) {
    if (isPlainNumber(text.trimmed()))
        return readTarget(text, ok);
    const std::optional<double> hz = readTypedFrequency(text);
    *ok = hz.has_value();
    return hz;
}
