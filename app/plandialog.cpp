// SPDX-License-Identifier: MIT
#include "app/plandialog.h"

#include "session/session.h"
#include "views/readablecolours.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
enum Column {
    OutputColumn,
    TargetColumn,
    AchievedColumn,
    ErrorHzColumn,
    ErrorPpmColumn,
    RouteColumn
};

QComboBox* comboBox(const QString& name, const QStringList& items, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->addItems(items);
    return box;
}

// Dark red where it reads on the dialog's background, a light red on a dark one.
void colourText(QLabel* label, bool alarm) {
    QPalette palette = label->palette();
    const QPalette& dialog = label->parentWidget()->palette();
    palette.setColor(QPalette::WindowText,
                     alarm ? readableOn(dialog.color(QPalette::Window),
                                        {QColor(Qt::darkRed), QColor(255, 128, 128)})
                           : dialog.color(QPalette::WindowText));
    label->setPalette(palette);
}
}  // namespace

PlanDialog::PlanDialog(const Session& s, ApplyPlan apply, QWidget* parent)
    : QDialog(parent), s_(s), apply_(std::move(apply)) {
    setObjectName(QStringLiteral("PlanDialog"));
    setWindowTitle(tr("Plan outputs"));
    buildForm();
    showReference();
    clearPlan();
}

void PlanDialog::buildForm() {
    auto* layout = new QVBoxLayout(this);

    auto* outputs = new QGroupBox(tr("Targets"), this);
    auto* grid = new QGridLayout(outputs);
    for (int i = 0; i < OutputCount; ++i) {
        const QString name = outputName(i);
        QCheckBox* check = new QCheckBox(name, outputs);
        check->setObjectName(QStringLiteral("cbPlan_") + name);
        QLineEdit* target = new QLineEdit(outputs);
        target->setObjectName(QStringLiteral("lePlan_") + name);
        target->setPlaceholderText(tr("Hz, e.g. 25M or 100k"));
        grid->addWidget(check, i, 0);
        grid->addWidget(target, i, 1);
        checks_[std::size_t(i)] = check;
        targets_[std::size_t(i)] = target;
        // A typed target means that output is to be planned.
        connect(target, &QLineEdit::textEdited, this, [check](const QString& text) {
            if (!text.trimmed().isEmpty())
                check->setChecked(true);
        });
        connect(target, &QLineEdit::textChanged, this, &PlanDialog::inputChanged);
        connect(check, &QCheckBox::toggled, this, &PlanDialog::inputChanged);
    }
    auto* top = new QHBoxLayout;
    top->addWidget(outputs);
    layout->addLayout(top);

    auto* options = new QFormLayout;
    tolerance_ = new QLineEdit(this);
    tolerance_->setObjectName(QStringLiteral("lePlanTolerance"));
    tolerance_->setPlaceholderText(tr("any"));
    options->addRow(tr("Tolerance (ppm):"), tolerance_);
    disableUnused_ = new QCheckBox(tr("Disable unused outputs"), this);
    disableUnused_->setObjectName(QStringLiteral("cbPlanDisableUnused"));
    options->addRow(QString(), disableUnused_);
    grade_ = comboBox(QStringLiteral("cbPlanGrade"), {tr("Commercial"), tr("Industrial")}, this);
    options->addRow(tr("Part grade:"), grade_);
    supply_ = comboBox(QStringLiteral("cbPlanSupply"), {tr("3.3 V"), tr("2.5 V")}, this);
    options->addRow(tr("LCLK supply:"), supply_);
    referenceKind_ =
        comboBox(QStringLiteral("cbPlanReference"), {tr("Crystal"), tr("Driven clock")}, this);
    options->addRow(tr("Reference:"), referenceKind_);
    reference_ = new QLabel(this);
    reference_->setObjectName(QStringLiteral("lbPlanReference"));
    options->addRow(tr("Reference frequency:"), reference_);
    top->addLayout(options);
    // The board the window checks the chip's rules for, until another is picked here.
    grade_->setCurrentIndex(s_.board.grade == PartGrade::Industrial ? 1 : 0);
    supply_->setCurrentIndex(s_.board.supply == LclkSupply::V2_5 ? 1 : 0);
    referenceKind_->setCurrentIndex(s_.board.reference == ReferenceKind::DrivenClock ? 1 : 0);
    connect(tolerance_, &QLineEdit::textChanged, this, &PlanDialog::inputChanged);
    connect(disableUnused_, &QCheckBox::toggled, this, &PlanDialog::inputChanged);
    for (QComboBox* box : {grade_, supply_, referenceKind_})
        connect(box, qOverload<int>(&QComboBox::currentIndexChanged), this,
                &PlanDialog::inputChanged);

    table_ = new QTableWidget(OutputCount, 6, this);
    table_->setObjectName(QStringLiteral("twPlan"));
    table_->setHorizontalHeaderLabels({tr("Output"), tr("Target"), tr("Achieved"), tr("Error (Hz)"),
                                       tr("Error (ppm)"), tr("Route")});
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table_);

    pll_ = new QLabel(this);
    pll_->setObjectName(QStringLiteral("lbPlanPll"));
    banks_ = new QLabel(this);
    banks_->setObjectName(QStringLiteral("lbPlanBanks"));
    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("lbPlanMessage"));
    message_->setWordWrap(true);
    layout->addWidget(pll_);
    layout->addWidget(banks_);
    layout->addWidget(message_);

    auto* buttons = new QDialogButtonBox(this);
    planButton_ = buttons->addButton(tr("Plan"), QDialogButtonBox::ActionRole);
    planButton_->setObjectName(QStringLiteral("pbPlan"));
    planButton_->setDefault(true);
    applyButton_ = buttons->addButton(tr("Apply"), QDialogButtonBox::ApplyRole);
    applyButton_->setObjectName(QStringLiteral("pbPlanApply"));
    QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
    close->setObjectName(QStringLiteral("pbPlanClose"));
    connect(planButton_, &QPushButton::clicked, this, &PlanDialog::plan);
    connect(applyButton_, &QPushButton::clicked, this, &PlanDialog::apply);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(860, 600);  // the table's six columns side by side
}

void PlanDialog::showReference() {
    reference_->setText(QStringLiteral("%1 (the window's)").arg(hzText(s_.fRef)));
}

PlanInput PlanDialog::input() const {
    PlanInput in;
    for (int i = 0; i < OutputCount; ++i) {
        in.checked[std::size_t(i)] = checks_[std::size_t(i)]->isChecked();
        in.targets[std::size_t(i)] = targets_[std::size_t(i)]->text();
    }
    in.tolerancePpm = tolerance_->text();
    in.disableUnused = disableUnused_->isChecked();
    in.board.grade = grade_->currentIndex() == 1 ? PartGrade::Industrial : PartGrade::Commercial;
    in.board.supply = supply_->currentIndex() == 1 ? LclkSupply::V2_5 : LclkSupply::V3_3;
    in.board.reference =
        referenceKind_->currentIndex() == 1 ? ReferenceKind::DrivenClock : ReferenceKind::Crystal;
    return in;
}

void PlanDialog::plan() {
    showReference();
    const PlanRequestOrError built = buildPlanRequest(input(), s_);
    if (!built.request) {
        showError(built.error);
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);  // the search may take a noticeable moment
    const Plan result = planOutputs(*built.request);
    QApplication::restoreOverrideCursor();
    if (!result.found) {
        showError(QStringLiteral("Error: %1.").arg(result.problem));
        return;
    }
    plan_ = result;
    plannedFrom_ = built.request->current;
    plannedReference_ = built.request->referenceHz;
    showPlan(result);
}

// The plan is for the image and reference it was computed from; anything else would put
// settings on the chip that the table never showed.
void PlanDialog::apply() {
    if (!plan_)
        return;
    if (s_.image.bytes != plannedFrom_.bytes || s_.fRef != plannedReference_) {
        clearPlan();
        showError(
            QStringLiteral("Error: the window's registers or reference changed since the plan; "
                           "press Plan again."));
        return;
    }
    const Plan applied = *plan_;
    applyButton_->setEnabled(false);  // written once; a new Plan is needed for the next Apply
    const QString status = apply_(applied);
    message_->setText(status);
    colourText(message_, status.startsWith(QLatin1String("Error: ")));
}

// What is shown no longer matches the fields: it may still be read, but not applied.
void PlanDialog::inputChanged() {
    applyButton_->setEnabled(false);
}

void PlanDialog::showError(const QString& text) {
    clearPlan();
    message_->setText(text);
    colourText(message_, true);
}

void PlanDialog::clearPlan() {
    plan_.reset();
    table_->clearContents();
    for (int i = 0; i < OutputCount; ++i)
        table_->setItem(i, OutputColumn, new QTableWidgetItem(outputName(i)));
    pll_->clear();
    banks_->clear();
    message_->clear();
    applyButton_->setEnabled(false);
}

void PlanDialog::showPlan(const Plan& plan) {
    const std::array<PlanRowTexts, OutputCount> rows = planRows(plan);
    for (int i = 0; i < OutputCount; ++i) {
        const PlanRowTexts& row = rows[std::size_t(i)];
        const QStringList cells = {row.output,  row.target,   row.achieved,
                                   row.errorHz, row.errorPpm, row.route};
        for (int column = 0; column < cells.size(); ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            if (row.missesTolerance) {
                item->setBackground(missColour());
                item->setForeground(
                    QColor(Qt::black));  // a dark palette's light text would not read
            }
            table_->setItem(i, column, item);
        }
    }
    table_->resizeColumnsToContents();
    pll_->setText(pllText(plan));
    banks_->setText(banksText(plan));
    message_->setText(summaryText(plan));
    colourText(message_, !plan.withinTolerance);
    applyButton_->setEnabled(true);
}
