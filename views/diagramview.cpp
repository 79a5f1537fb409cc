// SPDX-License-Identifier: MIT
#include "views/diagramview.h"

#include "session/session.h"
#include "views/formcells.h"
#include "views/formcontext.h"
#include "views/mainwindowform.h"
#include "views/readablecolours.h"

#include <QComboBox>
#include <QPushButton>

namespace {
QComboBox* matrixBox(const MainWindowForm& ui, int output) {
    return widgetAt<QComboBox>(ui.gridLayout_2, 3 * output, 0);
}

QPushButton* outputButton(const MainWindowForm& ui, int output) {
    return widgetAt<QPushButton>(ui.gridLayout_2, 3 * output, 2);
}
}  // namespace

void DiagramView::refresh() {
    MainWindowForm& ui = *form_.ui;
    const RegisterImage& r = s_.image;
    const quint32 word = Field::matrixWord(r);
    const int outputs = matrixOutputCount(ui.gridLayout_2);
    for (int i = 0; i < outputs; ++i) {
        QComboBox* box = matrixBox(ui, i);
        setDetached(form_, box, SIGNAL(currentIndexChanged(int)), form_.familySlots.matrixBox,
                    [&] { box->setCurrentIndex(Field::crosspointCode(word, i)); });
        QPushButton* button = outputButton(ui, i);
        setDetached(form_, button, SIGNAL(toggled(bool)), form_.familySlots.outputButton,
                    [&] { button->setChecked((r[Reg::ClockOutputEnable] >> i) & 1); });
    }

    const char* valueChanged = SIGNAL(valueChanged(int));
    const char* spinSlot = form_.familySlots.spinBox;
    auto setSpin = [&](QSpinBox* box, int value) {
        setDetached(form_, box, valueChanged, spinSlot, [&] { box->setValue(value); });
    };
    setSpin(ui.sbXCOdrive, Field::xcoDrive(r));
    setSpin(ui.sbCAPLOAD, Field::capLoad(r));
    setSpin(ui.sbChargePump, Field::chargePump(r));
    setSpin(ui.sbPB, Field::pb(r));
    setSpin(ui.sbQCounter, Field::qCounter(r));
    s_.div1N = Field::div1N(r);
    setSpin(ui.sbDIV1N, s_.div1N);
    s_.div2N = Field::div2N(r);
    setSpin(ui.sbDIV2N, s_.div2N);

    // These stay connected: their slots listen to clicked(), which setting the state does not emit.
    ui.cbPO->setChecked(Field::po(r));
    (Field::div1FromReference(r) ? ui.rbDIV1CLK_ref : ui.rbDIV1CLK_PLL)->setChecked(true);
    (Field::div2FromReference(r) ? ui.rbDIV2CLK_ref : ui.rbDIV2CLK_PLL)->setChecked(true);
}

void DiagramView::markOutputButtons() {
    const int outputs = matrixOutputCount(form_.ui->gridLayout_2);
    for (int i = 0; i < outputs; ++i)
        if (QPushButton* button = outputButton(*form_.ui, i))
            markCheckedState(button);
}

void DiagramView::takeDiv1Source() {
    Field::setDiv1FromReference(s_.image, form_.ui->rbDIV1CLK_ref->isChecked());
}

void DiagramView::takeDiv2Source() {
    Field::setDiv2FromReference(s_.image, form_.ui->rbDIV2CLK_ref->isChecked());
}

void DiagramView::takePo() {
    Field::setPo(s_.image, form_.ui->cbPO->isChecked());
}

void DiagramView::takeOutputButtons() {
    int enables = 0;
    const int outputs = matrixOutputCount(form_.ui->gridLayout_2);
    for (int i = 0; i < outputs; ++i) {
        enables >>= 1;
        const QPushButton* button = outputButton(*form_.ui, i);
        if (button && button->isChecked())
            enables |= 0x20;
    }
    Field::setOutputEnables(s_.image, enables);
}

void DiagramView::takeMatrix() {
    quint32 word = 0;
    const int outputs = matrixOutputCount(form_.ui->gridLayout_2);
    for (int i = 0; i < outputs; ++i) {
        const QComboBox* box = matrixBox(*form_.ui, i);
        word = (word << 3) | quint32((box ? box->currentIndex() : 0) & 7);
    }
    Field::setMatrixWord(s_.image, word);
}

void DiagramView::takeSpinBoxes() {
    const MainWindowForm& ui = *form_.ui;
    RegisterImage& r = s_.image;
    s_.div1N = ui.sbDIV1N->value();
    Field::setDiv1N(r, s_.div1N);
    s_.div2N = ui.sbDIV2N->value();
    Field::setDiv2N(r, s_.div2N);
    Field::setXcoDrive(r, ui.sbXCOdrive->value());
    Field::setCapLoad(r, ui.sbCAPLOAD->value());
    Field::setChargePump(r, ui.sbChargePump->value());
    Field::setPb(r, ui.sbPB->value());
    Field::setQCounter(r, ui.sbQCounter->value());
}

void DiagramView::takeReference() {
    s_.fRef = static_cast<double>(form_.ui->sbFreference->value());
}

void DiagramView::selectCrosspoint(int output, int code) {
    QComboBox* box = output == 0 ? form_.ui->cbMatrix_LCLK1 : form_.ui->cbMatrix_LCLK2;
    box->setCurrentIndex(code);
}

int DiagramView::shownDiv2N() const {
    return form_.ui->sbDIV2N->value();
}
