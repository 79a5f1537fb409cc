// SPDX-License-Identifier: MIT
#pragma once

#include "files/registerfile.h"

#include <QHash>
#include <QPalette>

class QLineEdit;
struct FormContext;
struct Session;

// The frequencies and the solver's fields: the PLL and output frequency fields, the PLL range,
// the targets leF1 and leF2 with their closeness colours, their preferences, F2's enable and the
// iteration count.
class FrequencyView {
public:
    FrequencyView(FormContext& form, Session& s) : form_(form), s_(s) {}

    // Recomputes the PLL and output frequencies from the session and shows them, with the PLL
    // warnings in the status line and the colours of the target fields. Changes no register.
    void refresh();

    // A target was confirmed: puts both targets into the solver record and shows them as numbers.
    // True when there is a target to solve for. A text that is neither a number nor a frequency
    // with its k or M suffix is refused: the field goes back to what it showed, the status line
    // says why and nothing else changes. shownDiv2N is DIV2N as the diagram shows it; with
    // F2 disabled it becomes the solver's second divider.
    bool takeF1Target(int shownDiv2N);
    bool takeF2Target();
    // F2 enabled or disabled: leF2 and cbF2_pref follow, quietly.
    void takeF2Enable(bool on);
    void trimTarget(QLineEdit* field);
    void takePllRange(bool extended);
    // "0.0" in both target fields, as after a scan that opened an adapter.
    void resetTargets();

    bool f2Enabled() const;
    void showIterations(int iterations);
    // White when the search found settings, red when it found none; the refreshes that follow
    // recolour the field by closeness wherever that rule applies.
    void markSolveResult(QLineEdit* field, QPalette palette, double bestError);

    // The options and target numbers that a register file keeps, and their return from one.
    void saveInto(RegisterFileContents& contents) const;
    void restoreFrom(const RegisterFileContents& contents);

private:
    void takeOptions();
    void compareWithTarget(QLineEdit* field, QPalette& palette, double output, bool colour);
    void showTarget(QLineEdit* field, const QString& text);
    bool refuseUnreadable(QLineEdit* field, const char* name);

    FormContext& form_;
    Session& s_;
    // What the window last put into each target field, to go back to when a typed target is
    // refused.
    QHash<const QLineEdit*, QString> shownTargets_;
};
