// SPDX-License-Identifier: MIT
#pragma once

#include "usb/i2ctinyusb.h"

class QTextStream;

// The progress of a register read as a bar on stderr, redrawn in place; silent when stderr is
// not a terminal, so logs and pipes get no control characters.
class ProgressBar : public TransportObserver {
public:
    ProgressBar(QTextStream& err, bool enabled) : err_(err), enabled_(enabled) {}

    void readProgress(int done, int count) override;
    // Ends a bar that a failure left unfinished.
    void finish();

private:
    QTextStream& err_;
    bool enabled_;
    int shownPercent_ = -1;
};
