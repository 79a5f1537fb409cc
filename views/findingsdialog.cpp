// SPDX-License-Identifier: MIT
#include "views/findingsdialog.h"

#include "frequency/boardfacts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

FindingsDialog::FindingsDialog(QWidget* parent, BoardFactsChanged changed)
    : QDialog(parent), changed_(std::move(changed)) {
    setObjectName(QStringLiteral("findingsDialog"));
    setWindowTitle(tr("Chip rules"));

    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("findingsSummary"));
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("findingsList"));
    list_->setMinimumWidth(640);

    auto* board = new QGroupBox(tr("The board around the chip"), this);
    grade_ = new QComboBox(board);
    grade_->setObjectName(QStringLiteral("gradeBox"));
    grade_->addItem(tr("Commercial"), int(PartGrade::Commercial));
    grade_->addItem(tr("Industrial"), int(PartGrade::Industrial));
    supply_ = new QComboBox(board);
    supply_->setObjectName(QStringLiteral("supplyBox"));
    supply_->addItem(tr("3.3 V"), int(LclkSupply::V3_3));
    supply_->addItem(tr("2.5 V"), int(LclkSupply::V2_5));
    driven_ = new QCheckBox(tr("Driven clock (not a crystal)"), board);
    driven_->setObjectName(QStringLiteral("drivenBox"));
    load_ = new QDoubleSpinBox(board);
    load_->setObjectName(QStringLiteral("boardLoadBox"));
    load_->setRange(0, MaxBoardLoadPf);
    load_->setDecimals(2);
    load_->setSingleStep(0.5);
    load_->setSuffix(tr(" pF"));
    load_->setToolTip(
        tr("The board's own load on the crystal (pads, traces); with CAPLOAD and "
           "the chip's 6 pF it makes the crystal's load"));
    auto* facts = new QFormLayout(board);
    facts->addRow(tr("Part grade:"), grade_);
    facts->addRow(tr("LCLK1-LCLK4 supply:"), supply_);
    facts->addRow(tr("Reference:"), driven_);
    facts->addRow(tr("Board load:"), load_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary_);
    layout->addWidget(list_);
    layout->addWidget(board);
    layout->addWidget(buttons);

    connect(grade_, &QComboBox::currentIndexChanged, this, [this] { factsEdited(); });
    connect(supply_, &QComboBox::currentIndexChanged, this, [this] { factsEdited(); });
    connect(driven_, &QCheckBox::toggled, this, [this] { factsEdited(); });
    connect(load_, &QDoubleSpinBox::valueChanged, this, [this] { factsEdited(); });
}

void FindingsDialog::showFindings(const Findings& findings, const BoardFacts& board) {
    showing_ = true;
    summary_->setText(findingsSummary(findings));
    list_->clear();
    for (const Finding& f : findings)
        list_->addItem(findingLine(f));
    grade_->setCurrentIndex(grade_->findData(int(board.grade)));
    supply_->setCurrentIndex(supply_->findData(int(board.supply)));
    driven_->setChecked(board.reference == ReferenceKind::DrivenClock);
    load_->setValue(board.boardLoadPf);
    showing_ = false;
}

BoardFacts FindingsDialog::boardFacts() const {
    BoardFacts board;
    board.grade = PartGrade(grade_->currentData().toInt());
    board.supply = LclkSupply(supply_->currentData().toInt());
    board.reference = driven_->isChecked() ? ReferenceKind::DrivenClock : ReferenceKind::Crystal;
    board.boardLoadPf = load_->value();
    return board;
}

void FindingsDialog::factsEdited() {
    if (!showing_ && changed_)
        changed_(boardFacts());
}
