#include "registers/blockdiagram.h"

#include "app/mainwindowform.h"
#include "app/session.h"
#include "frequency/frequencydisplay.h"
#include "registers/formcells.h"
#include "registers/registergrid.h"
#include "registers/registerwrite.h"

#include <QComboBox>
#include <QPushButton>

namespace {
constexpr int I2cAddressCount = 128;
constexpr int DefaultI2cAddress = 0x69;

QComboBox* matrixBox(const Session& s, int output) {
    return widgetAt<QComboBox>(s.ui->gridLayout_2, 3 * output, 0);
}

QPushButton* outputButton(const Session& s, int output) {
    return widgetAt<QPushButton>(s.ui->gridLayout_2, 3 * output, 2);
}

// Sets a family widget from the image with its editing slot detached, so that the refresh never
// starts an edit and exactly one connection remains afterwards. The first refresh only connects.
template <typename Set>
void setDetached(Session& s, QObject* widget, const char* signal, const char* slot, Set set) {
    if (!widget)
        return;
    if (!s.firstRefresh)
        QObject::disconnect(widget, signal, s.window, slot);
    set();
    QObject::connect(widget, signal, s.window, slot);
}

// The I2C address box is filled once; the scan connection comes after the selection, so filling
// it starts no scan.
void setUpDeviceAddressBox(Session& s) {
    QComboBox* box = s.ui->DeviceAddresscomboBox;
    box->clear();
    for (int address = 0; address < I2cAddressCount; ++address)
        box->addItem(QString::asprintf("0x%02X", address));
    box->setCurrentIndex(DefaultI2cAddress);
    QObject::connect(box, SIGNAL(currentIndexChanged(int)), s.window,
                     SLOT(on_actionScan_triggered()));
}
}  // namespace

void refreshDiagram(Session& s) {
    if (s.firstRefresh)
        setUpDeviceAddressBox(s);

    MainWindowForm& ui = *s.ui;
    RegisterImage& r = s.image;
    const quint32 word = Field::matrixWord(r);
    const int outputs = matrixOutputCount(ui.gridLayout_2);
    for (int i = 0; i < outputs; ++i) {
        QComboBox* box = matrixBox(s, i);
        setDetached(s, box, SIGNAL(currentIndexChanged(int)), SLOT(on_anymatrixcombobox_changed()),
                    [&] { box->setCurrentIndex(Field::crosspointCode(word, i)); });
        QPushButton* button = outputButton(s, i);
        setDetached(s, button, SIGNAL(toggled(bool)), SLOT(on_anyclockbutton_toggled()),
                    [&] { button->setChecked((r[Reg::ClockOutputEnable] >> i) & 1); });
    }

    const char* valueChanged = SIGNAL(valueChanged(int));
    const char* spinSlot = SLOT(on_anysbvalue_changed());
    auto setSpin = [&](QSpinBox* box, int value) {
        setDetached(s, box, valueChanged, spinSlot, [&] { box->setValue(value); });
    };
    setSpin(ui.sbXCOdrive, Field::xcoDrive(r));
    setSpin(ui.sbCAPLOAD, Field::capLoad(r));
    setSpin(ui.sbChargePump, Field::chargePump(r));
    setSpin(ui.sbPB, Field::pb(r));
    setSpin(ui.sbQCounter, Field::qCounter(r));
    s.div1N = Field::div1N(r);
    setSpin(ui.sbDIV1N, s.div1N);
    s.div2N = Field::div2N(r);
    setSpin(ui.sbDIV2N, s.div2N);

    // These stay connected: their slots listen to clicked(), which setting the state does not emit.
    ui.cbPO->setChecked(Field::po(r));
    (Field::div1FromReference(r) ? ui.rbDIV1CLK_ref : ui.rbDIV1CLK_PLL)->setChecked(true);
    (Field::div2FromReference(r) ? ui.rbDIV2CLK_ref : ui.rbDIV2CLK_PLL)->setChecked(true);

    refreshFrequencies(s);
}

void onDiv1SourceClicked(Session& s) {
    Field::setDiv1FromReference(s.image, s.ui->rbDIV1CLK_ref->isChecked());
    refreshRegisterGrid(s);
    pushRegister(s, Reg::Div1);
}

void onDiv2SourceClicked(Session& s) {
    Field::setDiv2FromReference(s.image, s.ui->rbDIV2CLK_ref->isChecked());
    refreshRegisterGrid(s);
    pushRegister(s, Reg::Div2);
}

void onPoClicked(Session& s) {
    Field::setPo(s.image, s.ui->cbPO->isChecked());
    refreshRegisterGrid(s);
    pushRegister(s, Reg::PoQ);
}

void onClockButtonToggled(Session& s) {
    if (s.updatingWidgets)
        return;
    int enables = 0;
    const int outputs = matrixOutputCount(s.ui->gridLayout_2);
    for (int i = 0; i < outputs; ++i) {
        enables >>= 1;
        const QPushButton* button = outputButton(s, i);
        if (button && button->isChecked())
            enables |= 0x20;
    }
    Field::setOutputEnables(s.image, enables);
    refreshRegisterGrid(s);
    pushRegister(s, Reg::ClockOutputEnable);
}

void onMatrixComboBoxChanged(Session& s) {
    if (s.updatingWidgets)
        return;
    quint32 word = 0;
    const int outputs = matrixOutputCount(s.ui->gridLayout_2);
    for (int i = 0; i < outputs; ++i) {
        const QComboBox* box = matrixBox(s, i);
        word = (word << 3) | quint32((box ? box->currentIndex() : 0) & 7);
    }
    Field::setMatrixWord(s.image, word);
    // The three matrix registers go out in order; the first failure stops the rest and leaves the
    // grid as it was, while the image keeps the new codes.
    AdapterConnection& c = s.adapter;
    for (quint8 address : {Reg::Matrix1, Reg::Matrix2, Reg::Matrix3}) {
        if (i2c_write_register(c, c.i2cAddress, address, s.image[address]) < 0) {
            i2c_report_error(c);
            return;
        }
    }
    refreshRegisterGrid(s);
}

void onRegisterSpinBoxChanged(Session& s) {
    if (s.updatingWidgets)
        return;
    MainWindowForm& ui = *s.ui;
    RegisterImage& r = s.image;
    s.div1N = ui.sbDIV1N->value();
    Field::setDiv1N(r, s.div1N);
    s.div2N = ui.sbDIV2N->value();
    Field::setDiv2N(r, s.div2N);
    Field::setXcoDrive(r, ui.sbXCOdrive->value());
    Field::setCapLoad(r, ui.sbCAPLOAD->value());
    Field::setChargePump(r, ui.sbChargePump->value());
    Field::setPb(r, ui.sbPB->value());
    Field::setQCounter(r, ui.sbQCounter->value());
    refreshRegisterGrid(s);
    pushCoreRegisters(s);
}

void onReferenceChanged(Session& s) {
    s.fRef = static_cast<double>(s.ui->sbFreference->value());
    refreshFrequencies(s);
}
