#include "frequency/solverhandlers.h"

#include "app/mainwindowform.h"
#include "app/session.h"
#include "app/statuslinewatch.h"
#include "frequency/frequencydisplay.h"
#include "frequency/solutionfields.h"
#include "frequency/solver.h"
#include "registers/blockdiagram.h"
#include "registers/registergrid.h"
#include "registers/registerwrite.h"

#include <QBrush>
#include <QLineEdit>
#include <QPalette>
#include <QRadioButton>

namespace {
QString targetText(double hz) {
    return QString::asprintf("%12.5f", hz);
}

void takeOptions(Session& s) {
    s.solver.refFrequency = s.fRef;
    s.solver.f1Preferred = s.ui->cbF1_pref->isChecked() ? 1 : 0;
    s.solver.f2Preferred = s.ui->cbF2_pref->isChecked() ? 1 : 0;
}

// White when the search found settings, red when it found none. The refreshes that follow
// recolour the field by closeness wherever that rule applies.
void markSolveResult(QLineEdit* field, QPalette palette, double bestError) {
    const Qt::GlobalColor colour = bestError < 0 ? Qt::red : Qt::white;
    palette.setBrush(QPalette::All, field->backgroundRole(), QBrush(colour, Qt::SolidPattern));
    field->setPalette(palette);
}

// Each refresh clears the status bar; a failed write in the grid refresh stays in view unless a
// later message takes its place.
void showSolution(Session& s) {
    StatusLineWatch watch(s.ui->statusBar, QString());
    refreshDiagram(s);
    refreshRegisterGrid(s);
    watch.check();
    refreshFrequencies(s);
    pushCoreRegisters(s);
    watch.finish();
}

// Checking a radio button from here emits no clicked(), so the source handlers stay out of it.
void select(QRadioButton* button) {
    if (!button->isChecked())
        button->setChecked(true);
}
}  // namespace

void onF1Edited(Session& s) {
    MainWindowForm& ui = *s.ui;
    const QPalette palette = ui.leF1->palette();
    if (s.updatingWidgets)
        return;
    const bool f2Enabled = ui.cbF2_enable->isChecked();
    if (!f2Enabled) {
        ui.leF2->setText(ui.leF1->text());
        s.solver.divider2 = ui.sbDIV2N->value();
    }
    takeOptions(s);
    bool ok1 = false;
    bool ok2 = false;
    s.solver.targetF1 = readTarget(ui.leF1->text(), &ok1);
    s.solver.targetF2 = readTarget(ui.leF2->text(), &ok2);
    if (!(f2Enabled && ok2))
        s.solver.targetF2 = s.solver.targetF1;
    ui.leF1->setText(targetText(s.solver.targetF1));
    ui.leF2->setText(targetText(s.solver.targetF2));
    if (!ok1)
        return;  // nothing to solve for: no register changes, nothing written
    solveDividers(s);
    markSolveResult(ui.leF1, palette, s.solver.bestError);
    showSolution(s);
}

void onF2Edited(Session& s) {
    MainWindowForm& ui = *s.ui;
    const QPalette palette = ui.leF2->palette();
    if (s.updatingWidgets)
        return;
    takeOptions(s);
    bool ok1 = false;
    bool ok2 = false;
    s.solver.targetF1 = readTarget(ui.leF1->text(), &ok1);
    s.solver.targetF2 = readTarget(ui.leF2->text(), &ok2);
    if (!ok1)
        s.solver.targetF1 = s.solver.targetF2;
    ui.leF1->setText(targetText(s.solver.targetF1));
    ui.leF2->setText(targetText(s.solver.targetF2));
    if (!ok2)
        return;
    solveDividers(s);
    markSolveResult(ui.leF2, palette, s.solver.bestError);
    showSolution(s);
}

void onF2EnableToggled(Session& s, bool on) {
    if (s.updatingWidgets)
        return;
    MainWindowForm& ui = *s.ui;
    // Held while leF2 and cbF2_pref change, so that the solve below runs once.
    s.updatingWidgets = true;
    ui.leF2->setEnabled(on);
    if (!on) {
        ui.leF2->setText(ui.leF1->text());
        ui.cbF2_pref->setChecked(false);
    }
    ui.cbF2_pref->setEnabled(on);
    s.updatingWidgets = false;
    onF2Edited(s);
}

void trimTargetText(QLineEdit* field) {
    field->setText(field->text().trimmed());
}

void solveDividers(Session& s) {
    MainWindowForm& ui = *s.ui;
    SolverRecord& record = s.solver;
    const bool f2Enabled = ui.cbF2_enable->isChecked();
    record = searchDividers(record, f2Enabled, s.pllLowLimit, s.pllHighLimit);
    ui.lbIterations->setText(QString::asprintf("Iterations: %d", record.iterations));

    // A target below the PLL path comes from the reference through its divider.
    if (takenFromReference(record.targetF1, s.pllLowLimit)) {
        select(ui.rbDIV1CLK_ref);
        Field::setDiv1FromReference(s.image, true);
        record.divider1 = referenceDivider(record.refFrequency, record.targetF1);
    } else {
        select(ui.rbDIV1CLK_PLL);
        Field::setDiv1FromReference(s.image, false);
    }
    s.div1N = record.divider1;
    if (f2Enabled) {
        if (takenFromReference(record.targetF2, s.pllLowLimit)) {
            select(ui.rbDIV2CLK_ref);
            Field::setDiv2FromReference(s.image, true);
            record.divider2 = referenceDivider(record.refFrequency, record.targetF2);
        } else {
            select(ui.rbDIV2CLK_PLL);
            Field::setDiv2FromReference(s.image, false);
        }
        s.div2N = record.divider2;
    }
    applySolution(s);
    selectChargePump(s, record.pTotal);
}

void applySolution(Session& s) {
    MainWindowForm& ui = *s.ui;
    const SolverRecord& record = s.solver;
    // A new index runs the matrix handler through its connection: it stores and writes the
    // crosspoint codes. The same index emits nothing.
    const int code1 = applyDivider1(s.image, record.divider1);
    if (code1 != KeepCrosspoint)
        ui.cbMatrix_LCLK1->setCurrentIndex(code1);
    if (ui.cbF2_enable->isChecked()) {
        const int code2 = applyDivider2(s.image, record.divider2);
        if (code2 != KeepCrosspoint)
            ui.cbMatrix_LCLK2->setCurrentIndex(code2);
    }
    if (!(record.bestError >= 0))
        return;  // no solution: the PLL stays as it is
    applyPllSettings(s.image, record.pTotal, record.qTotal);
}
