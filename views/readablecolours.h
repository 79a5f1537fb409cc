// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QList>

class QPalette;
class QPushButton;

// The contrast of two colours as the Web Content Accessibility Guidelines define it, from 1 (the
// same) to 21 (black on white).
double contrastRatio(const QColor& a, const QColor& b);

// Text reads on a background from 4.5:1; two states of a control tell apart from 3:1.
constexpr double ReadableText = 4.5;
constexpr double DistinctStates = 3.0;

// The first of the candidates that reads on the background, else the one that reads best.
QColor readableOn(const QColor& background, const QList<QColor>& candidates);

// How an enabled output's button looks: a fill that differs from the palette's button colour by
// at least 3:1 and a text that reads on it.
struct OnButtonColours {
    QColor fill;
    QColor text;
};
OnButtonColours onButtonColours(const QPalette& palette);

// Gives a checkable button the fill and text of onButtonColours while it is checked, on top of
// whatever style the application has; its size and everything else stay the style's.
void markCheckedState(QPushButton* button);
