// SPDX-License-Identifier: MIT
#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

class QMainWindow;
class QWidget;

// The size a window of the wanted size gets on a screen: the wanted size where the available
// area holds it with its frame, else as much of it as the area holds (at least 1 x 1).
QSize fittedWindowSize(const QSize& wanted, const QRect& available, const QMargins& frame);

// Gives the window the wanted size where its screen's available area holds it, frame included,
// with the form as its central widget, exactly as the form was built. Where the area is smaller,
// the window takes what fits, at the area's top left, and the form keeps its own size inside a
// scroll area ("formScrollArea"), with scroll bars. The form must be the window's central widget,
// or the scroll area's widget after an earlier fit.
void fitWindowToScreen(QMainWindow& window, QWidget* form, const QSize& wanted);

// After the window is shown: when it moves to another screen, it fits that screen as above where
// the form scrolls or would have to; a window that fits both keeps the size the user gave it.
void refitOnScreenChange(QMainWindow& window, QWidget* form, const QSize& wanted);

// A dialog larger than its screen's available area, frame included, is made to fit it.
void fitDialogToScreen(QWidget& dialog);
