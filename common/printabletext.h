// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <string>

// Text from outside (device strings, file names) shown on one line: a control character or an
// invalid unit would break the line or garble what follows, so each is shown as a visible
// replacement instead.

// C0 controls and DEL become their control pictures (U+2400..U+241F, U+2421), so that a line
// feed shows as "␊"; C1 controls, the line and paragraph separators U+2028/U+2029 and unpaired
// surrogates become U+FFFD. Everything else is kept.
QString printableText(const QString& text);

// The text cut to at most maxLength UTF-16 units, never in the middle of a character.
QString cutWhole(const QString& text, int maxLength);

// A device string as bytes: valid UTF-8 decoded, each byte that is not part of a valid UTF-8
// sequence shown as U+FFFD, then made printable as above.
QString printableDeviceString(const std::string& bytes);
