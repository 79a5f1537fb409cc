// SPDX-License-Identifier: MIT
#pragma once

#include "frequency/chiprules.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QListWidget;

// The list of the chip-rule findings of the window's configuration, with the board facts the
// check uses (part grade, LCLK supply, reference kind). A change of a board fact goes to the
// callback; the dialog shows what it is given and decides nothing.
class FindingsDialog : public QDialog {
public:
    using BoardFactsChanged = std::function<void(const BoardFacts&)>;

    FindingsDialog(QWidget* parent, BoardFactsChanged changed);

    // Shows the findings and the facts, without calling back.
    void showFindings(const Findings& findings, const BoardFacts& board);
    BoardFacts boardFacts() const;

    QListWidget* list() const { return list_; }
    QComboBox* gradeBox() const { return grade_; }
    QComboBox* supplyBox() const { return supply_; }
    QCheckBox* drivenBox() const { return driven_; }
    QDoubleSpinBox* boardLoadBox() const { return load_; }

private:
    void factsEdited();

    BoardFactsChanged changed_;
    QLabel* summary_;
    QListWidget* list_;
    QComboBox* grade_;
    QComboBox* supply_;
    QCheckBox* driven_;
    QDoubleSpinBox* load_;
    bool showing_ = false;
};
