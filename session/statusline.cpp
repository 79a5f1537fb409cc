// SPDX-License-Identifier: MIT
#include "session/statusline.h"

void StatusLine::setListener(Listener listener) {
    listener_ = std::move(listener);
}

void StatusLine::set(const QString& text) {
    if (text == text_)
        return;
    text_ = text;
    if (listener_)
        listener_(text_);
}

void StatusLine::show(const Report& report) {
    if (report.kind == ReportKind::Error)
        runError_ = report.text;
    else if (report.kind == ReportKind::Info)
        runInfo_ = report.text;
    set(report.text);
}

void StatusLine::clear() {
    set(QString());
}

void StatusLine::beginRun() {
    if (depth_++ > 0)
        return;
    runError_.clear();
    runInfo_.clear();
}

void StatusLine::setRunEndListener(std::function<void()> listener) {
    runEndListener_ = std::move(listener);
}

void StatusLine::endRun() {
    if (--depth_ > 0)
        return;
    if (runEndListener_)
        runEndListener_();
    if (!runError_.isEmpty()) {
        if (text_ != runError_)
            set(runError_);
    } else if (text_.isEmpty() && !runInfo_.isEmpty()) {
        set(runInfo_);
    }
}
