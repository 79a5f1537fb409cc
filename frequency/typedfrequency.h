// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <optional>

// A frequency as a person types it for an output: hertz, or kilohertz and megahertz with a
// "k" or "M" suffix ("25M", "14.31818M", "32.768k", "48000000"), white space around it aside.
// The number follows the window's rule for a typed target (readTarget): positive and finite.
// "m" is refused rather than read as milli or mega.
std::optional<double> readTypedFrequency(const QString& text);
