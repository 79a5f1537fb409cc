#include "frequency/frequencydisplay.h"

#include "app/mainwindowform.h"
#include "app/session.h"
#include "frequency/frequencymodel.h"
#include "registers/formcells.h"

#include <QBrush>
#include <QComboBox>
#include <QLineEdit>
#include <QPalette>

namespace {
QString frequencyText(double hz) {
    return QString::asprintf("%12.5f Hz", hz);
}

// Sets updatingWidgets for the lifetime of the guard and then puts back what was there, so that
// a refresh inside a bulk update (a file load) does not end that update's silence early.
class UpdatingWidgets {
public:
    explicit UpdatingWidgets(Session& s) : s_(s), was_(s.updatingWidgets) {
        s_.updatingWidgets = true;
    }
    ~UpdatingWidgets() { s_.updatingWidgets = was_; }
    UpdatingWidgets(const UpdatingWidgets&) = delete;
    UpdatingWidgets& operator=(const UpdatingWidgets&) = delete;

private:
    Session& s_;
    bool was_;
};

// A target field holding 0 or no number takes the output as its target, so it shows what the
// output gives and agrees with it. With colour set, the field then gets the colour of the
// closeness rule through the palette copy.
void compareWithTarget(QLineEdit* field, QPalette& palette, double output, bool colour) {
    double target = field->text().trimmed().toDouble();  // 0 when it is no number
    if (target == 0) {
        field->setText(QString::asprintf("%12.5f", output));
        target = output;
    }
    if (!colour)
        return;
    if (const std::optional<Qt::GlobalColor> c = targetColour(output, target))
        palette.setBrush(QPalette::All, field->backgroundRole(), QBrush(*c, Qt::SolidPattern));
    field->setPalette(palette);
}
}  // namespace

void refreshFrequencies(Session& s) {
    MainWindowForm& ui = *s.ui;
    ui.statusBar->clearMessage();
    s.fPll = pllFrequency(ui.sbFreference->value(), Field::pb(s.image), ui.cbPO->isChecked(),
                          Field::qCounter(s.image));
    ui.lePLL->setText(frequencyText(s.fPll));
    const PllRange range{s.pllLowLimit, s.pllHighLimit};
    if (pllBelowRange(s.fPll, range))
        ui.statusBar->showMessage(PllWarning::Low, 0);
    if (pllAboveRange(s.fPll, range))
        ui.statusBar->showMessage(PllWarning::High, 0);
    refreshOutputFrequencies(s);
}

void refreshOutputFrequencies(Session& s) {
    MainWindowForm& ui = *s.ui;
    QPalette f1Palette = ui.leF1->palette();
    QPalette f2Palette = ui.leF2->palette();
    const double div1Clk = ui.rbDIV1CLK_ref->isChecked() ? s.fRef : s.fPll;
    const double div2Clk = ui.rbDIV2CLK_ref->isChecked() ? s.fRef : s.fPll;

    const QGridLayout* matrix = ui.gridLayout_2;
    const int outputs = matrixOutputCount(matrix);
    for (int i = 0; i < outputs; ++i) {
        const QComboBox* box = widgetAt<QComboBox>(matrix, 3 * i, 0);
        const int code = box ? box->currentIndex() : -1;  // no box: no source, 0 Hz
        const double output = outputFrequency(code, s.fRef, div1Clk, div2Clk, s.div1N, s.div2N);
        if (QLineEdit* field = widgetAt<QLineEdit>(matrix, 3 * i + 1, 0))
            field->setText(frequencyText(output));

        const UpdatingWidgets quiet(s);
        if (i == 0)
            compareWithTarget(ui.leF1, f1Palette, output, true);
        else if (i == 1)
            compareWithTarget(ui.leF2, f2Palette, output, ui.cbF2_enable->isChecked());
    }
}

void setPllRange(Session& s, bool extended) {
    const PllRange range = pllRangeFor(extended);
    s.pllLowLimit = range.low;
    s.pllHighLimit = range.high;
}

void selectChargePump(Session& s, int pTotal) {
    Field::setChargePump(s.image, 0);
    const ChargePumpChoice choice = chargePumpFor(pTotal);
    if (!choice.message.isEmpty())
        s.ui->statusBar->showMessage(choice.message, 0);
    Field::setChargePump(s.image, choice.pump);
}
