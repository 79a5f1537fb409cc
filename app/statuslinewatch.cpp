#include "app/statuslinewatch.h"

#include <QStatusBar>

StatusLineWatch::StatusLineWatch(QStatusBar* bar, QString successLine)
    : bar_(bar), successLine_(std::move(successLine)) {}

void StatusLineWatch::check() {
    const QString message = bar_->currentMessage();
    if (!message.isEmpty() && message != successLine_)
        report_ = message;
}

void StatusLineWatch::finish() {
    check();
    if (bar_->currentMessage().isEmpty())
        bar_->showMessage(report_.isEmpty() ? successLine_ : report_, 0);
}
