#include "app/statuslinewatch.h"

#include <QStatusBar>

StatusLineWatch::StatusLineWatch(QStatusBar* bar, QString successLine)
    : bar_(bar), successLine_(std::move(successLine)) {}

void StatusLineWatch::check() {
    const QString message = bar_->currentMessage();
    if (message.startsWith(QLatin1String("Error: ")))
        lastError_ = message;
}

void StatusLineWatch::finish() {
    check();
    const QString message = bar_->currentMessage();
    if (!lastError_.isEmpty()) {
        if (message != lastError_)
            bar_->showMessage(lastError_, 0);
    } else if (message.isEmpty() && !successLine_.isEmpty()) {
        bar_->showMessage(successLine_, 0);
    }
}
