// SPDX-License-Identifier: MIT
#pragma once

#include "app/planmodel.h"

#include <QColor>
#include <QDialog>

#include <array>
#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
struct Session;

// "Plan outputs": a target and a check box per output, the tolerance, "disable unused outputs"
// and the board facts. Plan shows the planner's best setting for the window's reference and
// register image; a row that misses the tolerance is coloured, never a message box. Apply hands
// the plan to the window, which writes it to the chip and shows it. Bad input is one "Error: "
// line in the dialog, and then nothing is planned or written.
class PlanDialog : public QDialog {
    Q_OBJECT

public:
    // Puts the plan into the window's image and onto the chip; returns the status line's text.
    using ApplyPlan = std::function<QString(const Plan& plan)>;

    PlanDialog(const Session& s, ApplyPlan apply, QWidget* parent = nullptr);

    // The background of a row whose output misses the tolerance.
    static QColor missColour() { return QColor(255, 170, 170); }

    // Shows the window's reference; called whenever the dialog is opened.
    void showReference();
    PlanInput input() const;

private:
    void buildForm();
    void plan();
    void apply();
    void inputChanged();
    void showError(const QString& text);
    void showPlan(const Plan& plan);
    void clearPlan();

    const Session& s_;
    ApplyPlan apply_;
    std::array<QCheckBox*, OutputCount> checks_{};
    std::array<QLineEdit*, OutputCount> targets_{};
    QLineEdit* tolerance_ = nullptr;
    QCheckBox* disableUnused_ = nullptr;
    QComboBox* grade_ = nullptr;
    QComboBox* supply_ = nullptr;
    QComboBox* referenceKind_ = nullptr;
    QLabel* reference_ = nullptr;
    QTableWidget* table_ = nullptr;
    QLabel* pll_ = nullptr;
    QLabel* banks_ = nullptr;
    QLabel* message_ = nullptr;
    QPushButton* planButton_ = nullptr;
    QPushButton* applyButton_ = nullptr;

    // The plan shown, and what it was computed from: Apply refuses it once the window's image or
    // reference has changed since.
    std::optional<Plan> plan_;
    RegisterImage plannedFrom_;
    double plannedReference_ = 0;
};
