// SPDX-License-Identifier: MIT
#pragma once

#include "app/chiplogdialog.h"
#include "app/comparisondialog.h"

#include <QPointer>

class QAction;
class QMenu;
class QWidget;
struct FormViews;
struct Session;

// The USB menu's writes on demand and what the chip holds: "Write changes at once", "Write to
// chip", "Read chip again", the comparison, and Tools > "Chip log...". Each action is one run of
// the status line.
class ChipCommands {
public:
    ChipCommands(Session& s, FormViews& views, QWidget* window)
        : s_(s), views_(views), window_(window) {}
    ~ChipCommands();
    ChipCommands(const ChipCommands&) = delete;
    ChipCommands& operator=(const ChipCommands&) = delete;

    // Appends the entries to the USB menu, after Scan and Open, and takes the remembered choice
    // of live writes.
    void addUsbEntries(QMenu* usb);
    // Appends "Chip log..." to the Tools menu.
    void addLogEntry(QMenu* tools);

    // Asks first when the settings break one of the chip's rules at error level, naming them;
    // then writes what the chip does not hold and verifies.
    void writeToChip();
    void readAgain();
    // The image's configuration registers take what the chip holds; nothing is written.
    void takeChipValues();
    void openComparison();
    void openLog();
    // The open dialogs follow the session (the window calls it at the end of every action).
    void refresh();

    QAction* liveWritesAction() const { return liveWrites_; }
    QAction* writeAction() const { return write_; }
    QAction* readAgainAction() const { return readAgain_; }
    QAction* compareAction() const { return compare_; }
    QAction* logAction() const { return log_; }
    ComparisonDialog* comparison() const { return comparison_; }
    ChipLogDialog* logDialog() const { return logDialog_; }

private:
    void setLiveWrites(bool on);

    Session& s_;
    FormViews& views_;
    QWidget* window_;
    QAction* liveWrites_ = nullptr;
    QAction* write_ = nullptr;
    QAction* readAgain_ = nullptr;
    QAction* compare_ = nullptr;
    QAction* log_ = nullptr;
    QPointer<ComparisonDialog> comparison_;  // the window's children, made on first use
    QPointer<ChipLogDialog> logDialog_;
};
