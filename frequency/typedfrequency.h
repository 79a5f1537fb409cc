// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <optional>

// A frequency as a person types it for an output or a reference, in the window's plan dialog and
// on vantrel-cli's command line: hertz, with an optional k (kHz, also K) or M (MHz) right after
// the number ("25M", "14.31818M", "32.768k", "48000000"), white space around it aside. The number
// follows the window's rule for a typed target (readTarget): positive and finite. "m" is refused
// rather than read as milli or mega. A result within a millionth of a hertz of whole hertz is
// that whole number, so "14.31818M" is 14318180 Hz, not the nearest double of 14.31818 * 1e6.
std::optional<double> readTypedFrequency(const QString& text);

// The text of the window's target field F1 or F2. A plain number is read as it always was
// (readTarget: ok false and 0 for one that is no frequency to solve for, such as 0 or -5; an
// empty field alike); a frequency with its k or M suffix as readTypedFrequency reads it. Anything
// else ("25 MHz", "abc") is refused: nullopt.
std::optional<double> readTargetField(const QString& text, bool* ok);
