#pragma once

#include <QString>

class QStatusBar;

// Follows the status bar through a run of refreshes after an action that succeeded (a device
// read, a file load). Every frequency refresh clears the bar, so the action's success line would
// vanish at once, and a failed chip write reported early in the run would be wiped by a later
// refresh. At the end the bar shows what the run reported last or, when it reported nothing, the
// success line again; a message still showing is left alone.
class StatusLineWatch {
public:
    StatusLineWatch(QStatusBar* bar, QString successLine);
    void check();   // after each step of the run
    void finish();  // after the last step

private:
    QStatusBar* bar_;
    QString successLine_;
    QString report_;
};
