#pragma once

#include <QString>

class QStatusBar;

// Follows the status bar through a run of refreshes. Every frequency refresh clears the bar and
// shows only its PLL warnings, so a failed chip write reported early in the run would vanish
// unseen, and the success line of the action that started the run (a device read, a file load)
// would go at once. At the end the bar shows the last error of the run, if there was one (a
// failed write matters more than a warning that every refresh shows again); otherwise what the
// refreshes left, or the success line when they left nothing. An edit has no success line: pass
// an empty one.
class StatusLineWatch {
public:
    StatusLineWatch(QStatusBar* bar, QString successLine);
    void check();   // after each step of the run
    void finish();  // after the last step

private:
    QStatusBar* bar_;
    QString successLine_;
    QString lastError_;
};
