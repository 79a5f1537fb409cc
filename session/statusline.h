// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <functional>

// What an operation has to say, and how much it matters.
enum class ReportKind { Info, Warning, Error };

struct Report {
    ReportKind kind = ReportKind::Info;
    QString text;
};

// The one-line status of the tool as the operations leave it. Every report replaces the line, and
// a frequency refresh clears it before it shows its PLL warnings, as the window always did. A run
// is one user action with everything it sets off; runs nest, and only the outermost one counts.
// At the end of a run the line shows the last error of that run, if there was one (a failed write
// matters more than a warning that every refresh shows again); otherwise what the run left, or its
// last info line when it left nothing. Errors of earlier runs never come back.
class StatusLine {
public:
    using Listener = std::function<void(const QString& text)>;

    // Called with the new text whenever the line changes (not when a text is shown again); the
    // window shows it.
    void setListener(Listener listener);

    // Called at the end of every outermost run, before the line settles: the window takes stock
    // of what the action changed there (its undo step, the chip's marks). Must not begin a run.
    void setRunEndListener(std::function<void()> listener);

    void show(const Report& report);
    void clear();
    const QString& text() const { return text_; }

    void beginRun();
    void endRun();
    // A later success of the same run has made the errors so far moot (a scan that could not open
    // one adapter but opened the next): the end of the run no longer brings them back.
    void settleErrors() { runError_.clear(); }

    // Holds a run for its lifetime.
    class Run {
    public:
        explicit Run(StatusLine& line) : line_(line) { line_.beginRun(); }
        ~Run() { line_.endRun(); }
        Run(const Run&) = delete;
        Run& operator=(const Run&) = delete;

    private:
        StatusLine& line_;
    };

private:
    void set(const QString& text);

    QString text_;
    QString runError_;
    QString runInfo_;
    int depth_ = 0;
    Listener listener_;
    std::function<void()> runEndListener_;
};
