// SPDX-License-Identifier: MIT
#include "cli/progressbar.h"

#include <QTextStream>

namespace {
constexpr int BarWidth = 40;
}

void ProgressBar::readProgress(int done, int count) {
    if (!enabled_)
        return;
    const int percent = progressBarValue(done, count, 100);
    if (percent == shownPercent_)
        return;
    shownPercent_ = percent;
    const int filled = progressBarValue(done, count, BarWidth);
    err_ << "\rReading the chip [" << QString(filled, '#') << QString(BarWidth - filled, ' ')
         << "] " << qSetFieldWidth(3) << percent << qSetFieldWidth(0) << '%';
    if (done >= count) {
        err_ << '\n';
        shownPercent_ = -1;
    }
    err_.flush();
}

void ProgressBar::finish() {
    if (enabled_ && shownPercent_ >= 0) {
        err_ << '\n';
        err_.flush();
        shownPercent_ = -1;
    }
}
