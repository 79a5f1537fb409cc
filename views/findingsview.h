// SPDX-License-Identifier: MIT
#pragma once

#include "frequency/chiprules.h"
#include "views/findingsdialog.h"

#include <QPointer>

class QToolButton;
struct FormContext;
struct Session;

// The findings of the chip's own rules for the window's configuration: a permanent indicator
// beside the status line with their number, which opens their list and the board facts. It only
// shows: it changes no register, writes nothing and leaves the status line alone.
class FindingsView {
public:
    FindingsView(FormContext& form, Session& s) : form_(form), s_(s) {}
    ~FindingsView();
    FindingsView(const FindingsView&) = delete;
    FindingsView& operator=(const FindingsView&) = delete;

    // Puts the indicator into the status bar; the window calls it once the form is built.
    void install();
    // Checks the image with the reference and the board facts and shows the result.
    void refresh();
    // Opens (or raises) the list of the findings.
    void openList();
    // The user's board facts: kept in the user's settings, then checked with.
    void takeBoardFacts(const BoardFacts& board);

    const Findings& findings() const { return findings_; }
    QToolButton* indicator() const { return indicator_; }
    FindingsDialog* dialog() const { return dialog_; }

private:
    FormContext& form_;
    Session& s_;
    Findings findings_;
    QToolButton* indicator_ = nullptr;  // the status bar's child
    QPointer<FindingsDialog> dialog_;   // the window's child, made on first use
};
