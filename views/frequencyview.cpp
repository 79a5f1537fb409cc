// SPDX-License-Identifier: MIT
#include "views/frequencyview.h"

#include "common/printabletext.h"
#include "frequency/frequencyreadout.h"
#include "frequency/solver.h"
#include "frequency/typedfrequency.h"
#include "session/session.h"
#include "views/formcells.h"
#include "views/formcontext.h"
#include "views/mainwindowform.h"

#include <QBrush>
#include <QLineEdit>

namespace {
QString frequencyText(double hz) {
    return QString::asprintf("%12.5f Hz", hz);
}

// Every background colour Vantrel gives a field is light, so its text is black whatever the
// desktop's theme: a dark theme's light text would not read on it.
void setBackground(QPalette& palette, const QLineEdit* field, Qt::GlobalColor colour) {
    palette.setBrush(QPalette::All, field->backgroundRole(), QBrush(colour, Qt::SolidPattern));
    palette.setBrush(QPalette::All, field->foregroundRole(), QBrush(Qt::black, Qt::SolidPattern));
}

// A text that is neither a number nor a frequency counts as no number here, as in a file.
double targetOrZero(const QString& text, bool* ok) {
    return readTargetField(text, ok).value_or(0);
}
}  // namespace

// A target field holding 0 or no number takes the output as its target, so it shows what the
// output gives and agrees with it. With colour set, the field then gets the colour of the
// closeness rule through the palette copy.
void FrequencyView::compareWithTarget(QLineEdit* field, QPalette& palette, double output,
                                      bool colour) {
    double target = targetFieldNumber(field->text());  // 0 when it is no finite number
    if (target == 0) {
        showTarget(field, targetText(output));
        target = output;
    }
    if (!colour)
        return;
    if (const std::optional<Qt::GlobalColor> c = targetColour(output, target))
        setBackground(palette, field, *c);
    field->setPalette(palette);
}

void FrequencyView::refresh() {
    MainWindowForm& ui = *form_.ui;
    s_.status.clear();
    const FrequencyReadout readout = readFrequencies(s_.image, s_.fRef, s_.div1N, s_.div2N,
                                                     PllRange{s_.pllLowLimit, s_.pllHighLimit});
    ui.lePLL->setText(frequencyText(readout.fPll));
    for (const QString& warning : readout.pllWarnings)
        s_.status.show({ReportKind::Warning, warning});

    QPalette f1Palette = ui.leF1->palette();
    QPalette f2Palette = ui.leF2->palette();
    const QGridLayout* matrix = ui.gridLayout_2;
    const int outputs = std::min(matrixOutputCount(matrix), OutputCount);
    for (int i = 0; i < outputs; ++i) {
        const double output = readout.outputs[std::size_t(i)];
        if (QLineEdit* field = widgetAt<QLineEdit>(matrix, 3 * i + 1, 0))
            field->setText(frequencyText(output));

        const UpdatingWidgets quiet(form_);
        if (i == 0)
            compareWithTarget(ui.leF1, f1Palette, output, true);
        else if (i == 1)
            compareWithTarget(ui.leF2, f2Palette, output, ui.cbF2_enable->isChecked());
    }
}

void FrequencyView::showTarget(QLineEdit* field, const QString& text) {
    field->setText(text);
    shownTargets_[field] = text;
}

bool FrequencyView::refuseUnreadable(QLineEdit* field, const char* name) {
    bool ok = false;
    if (readTargetField(field->text(), &ok))
        return false;
    s_.status.show({ReportKind::Error,
                    QStringLiteral("Error: the target \"%1\" of %2 is not a frequency in Hz (a k "
                                   "or M suffix may follow the number); it stays as it was.")
                        .arg(printableText(field->text().trimmed()), QLatin1String(name))});
    field->setText(shownTargets_.value(field, field->text()));
    return true;
}

void FrequencyView::takeOptions() {
    s_.solver.refFrequency = s_.fRef;
    s_.solver.f1Preferred = form_.ui->cbF1_pref->isChecked() ? 1 : 0;
    s_.solver.f2Preferred = form_.ui->cbF2_pref->isChecked() ? 1 : 0;
}

bool FrequencyView::takeF1Target(int shownDiv2N) {
    MainWindowForm& ui = *form_.ui;
    if (form_.updatingWidgets || refuseUnreadable(ui.leF1, "F1"))
        return false;
    const bool f2On = ui.cbF2_enable->isChecked();
    if (!f2On) {
        ui.leF2->setText(ui.leF1->text());
        s_.solver.divider2 = shownDiv2N;
    }
    takeOptions();
    bool ok1 = false;
    bool ok2 = false;
    s_.solver.targetF1 = targetOrZero(ui.leF1->text(), &ok1);
    s_.solver.targetF2 = targetOrZero(ui.leF2->text(), &ok2);
    if (!(f2On && ok2))
        s_.solver.targetF2 = s_.solver.targetF1;
    showTarget(ui.leF1, targetText(s_.solver.targetF1));
    showTarget(ui.leF2, targetText(s_.solver.targetF2));
    return ok1;  // nothing to solve for: no register changes, nothing written
}

bool FrequencyView::takeF2Target() {
    MainWindowForm& ui = *form_.ui;
    if (form_.updatingWidgets || refuseUnreadable(ui.leF2, "F2"))
        return false;
    takeOptions();
    bool ok1 = false;
    bool ok2 = false;
    s_.solver.targetF1 = targetOrZero(ui.leF1->text(), &ok1);
    s_.solver.targetF2 = targetOrZero(ui.leF2->text(), &ok2);
    if (!ok1)
        s_.solver.targetF1 = s_.solver.targetF2;
    showTarget(ui.leF1, targetText(s_.solver.targetF1));
    showTarget(ui.leF2, targetText(s_.solver.targetF2));
    return ok2;
}

void FrequencyView::takeF2Enable(bool on) {
    MainWindowForm& ui = *form_.ui;
    const UpdatingWidgets quiet(form_);
    ui.leF2->setEnabled(on);
    if (!on) {
        // F1 may hold a text not yet confirmed; one that is no frequency is refused when it is
        // confirmed, for F1, and F2 takes what F1 showed before it.
        bool ok = false;
        const bool readable = readTargetField(ui.leF1->text(), &ok).has_value();
        showTarget(ui.leF2, readable ? ui.leF1->text() : shownTargets_.value(ui.leF1));
        ui.cbF2_pref->setChecked(false);
    }
    ui.cbF2_pref->setEnabled(on);
}

void FrequencyView::trimTarget(QLineEdit* field) {
    field->setText(field->text().trimmed());
}

void FrequencyView::takePllRange(bool extended) {
    const PllRange range = pllRangeFor(extended);
    s_.pllLowLimit = range.low;
    s_.pllHighLimit = range.high;
}

void FrequencyView::resetTargets() {
    showTarget(form_.ui->leF1, QStringLiteral("0.0"));
    showTarget(form_.ui->leF2, QStringLiteral("0.0"));
}

bool FrequencyView::f2Enabled() const {
    return form_.ui->cbF2_enable->isChecked();
}

void FrequencyView::showIterations(int iterations) {
    form_.ui->lbIterations->setText(QString::asprintf("Iterations: %d", iterations));
}

void FrequencyView::markSolveResult(QLineEdit* field, QPalette palette, double bestError) {
    setBackground(palette, field, bestError < 0 ? Qt::red : Qt::white);
    field->setPalette(palette);
}

void FrequencyView::saveInto(RegisterFileContents& c) const {
    const MainWindowForm& ui = *form_.ui;
    c.flags = 0;
    if (ui.cbPLL_extend->isChecked())
        c.flags |= RegisterFileFlag::PllExtended;
    if (ui.cbF1_pref->isChecked())
        c.flags |= RegisterFileFlag::F1Preferred;
    if (ui.cbF2_pref->isChecked())
        c.flags |= RegisterFileFlag::F2Preferred;
    if (ui.cbF2_enable->isChecked())
        c.flags |= RegisterFileFlag::F2Enabled;
    c.f1Number = targetFieldNumber(ui.leF1->text());
    c.f2Number = targetFieldNumber(ui.leF2->text());
}

// Runs with updatingWidgets set by the load: cbPLL_extend's slot still takes the range, the
// target slots stay out.
void FrequencyView::restoreFrom(const RegisterFileContents& c) {
    MainWindowForm& ui = *form_.ui;
    const bool extended = c.flags & RegisterFileFlag::PllExtended;
    if (ui.cbPLL_extend->isChecked() != extended)
        ui.cbPLL_extend->toggle();
    ui.cbF1_pref->setChecked(c.flags & RegisterFileFlag::F1Preferred);
    ui.cbF2_pref->setChecked(c.flags & RegisterFileFlag::F2Preferred);
    const bool f2On = c.flags & RegisterFileFlag::F2Enabled;
    ui.cbF2_enable->setChecked(f2On);
    ui.leF2->setEnabled(f2On);
    ui.cbF2_pref->setEnabled(f2On);
    showTarget(ui.leF1, targetText(c.f1Number));
    showTarget(ui.leF2, targetText(c.f2Number));
}
