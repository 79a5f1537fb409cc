// SPDX-License-Identifier: MIT
#include "views/readablecolours.h"

#include <QPainter>
#include <QPalette>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleOptionButton>

#include <algorithm>
#include <cmath>

namespace {
double channel(double value) {
    return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& c) {
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

// The output buttons' checked state: the style draws the button, then this fill and text replace
// its panel, so that on and off tell apart in any palette. Sizes stay the style's own.
class CheckedButtonStyle : public QProxyStyle {
public:
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
        if (element != CE_PushButton || !button || !(option->state & State_On)) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        const OnButtonColours colours = onButtonColours(option->palette);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing, false);
        painter->setPen(colours.text);
        painter->setBrush(colours.fill);
        painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
        painter->restore();
        QStyleOptionButton label(*button);
        label.palette.setColor(QPalette::ButtonText, colours.text);
        proxy()->drawControl(CE_PushButtonLabel, &label, painter, widget);
        if (option->state & State_HasFocus) {
            QStyleOptionFocusRect focus;
            focus.QStyleOption::operator=(*option);
            focus.rect = option->rect.adjusted(3, 3, -3, -3);
            focus.backgroundColor = colours.fill;
            proxy()->drawPrimitive(PE_FrameFocusRect, &focus, painter, widget);
        }
    }
};
}  // namespace

double contrastRatio(const QColor& a, const QColor& b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor readableOn(const QColor& background, const QList<QColor>& candidates) {
    QColor best = candidates.value(0);
    for (const QColor& c : candidates) {
        if (contrastRatio(c, background) >= ReadableText)
            return c;
        if (contrastRatio(c, background) > contrastRatio(best, background))
            best = c;
    }
    return best;
}

// Green for on, dark on a light button and light on a dark one; black or white where neither
// green stands out enough.
OnButtonColours onButtonColours(const QPalette& palette) {
    const QColor button = palette.color(QPalette::Button);
    const OnButtonColours choices[] = {{QColor(0, 100, 0), Qt::white},
                                       {QColor(144, 238, 144), Qt::black},
                                       {Qt::black, Qt::white},
                                       {Qt::white, Qt::black}};
    for (const OnButtonColours& c : choices)
        if (contrastRatio(c.fill, button) >= DistinctStates)
            return c;
    return choices[2];
}

void markCheckedState(QPushButton* button) {
    auto* style = new CheckedButtonStyle;
    style->setParent(button);
    button->setStyle(style);
}
