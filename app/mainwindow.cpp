#include "app/mainwindow.h"

#include "app/mainwindowform.h"
#include "files/fileactions.h"
#include "frequency/frequencydisplay.h"
#include "frequency/solverhandlers.h"
#include "registers/blockdiagram.h"
#include "registers/registergrid.h"
#include "usb/discovery.h"
#include "usb/libusbbackend.h"

namespace {
constexpr qint32 NormalPllLowLimit = 100000000;
constexpr qint32 NormalPllHighLimit = 400000000;
}  // namespace

MainWindow::MainWindow(QWidget* parent) : MainWindow(std::make_shared<LibUsbBackend>(), parent) {}

MainWindow::MainWindow(std::shared_ptr<UsbBackend> usb, QWidget* parent)
    : QMainWindow(parent), usb_(std::move(usb)), ui_(new MainWindowForm), transportView_(ui_) {
    ui_->setupUi(this);
    session_.ui = ui_;
    session_.window = this;

    i2c_init(session_.adapter, usb_.get(), &transportView_);
    session_.fRef = static_cast<double>(ui_->sbFreference->value());
    session_.pllLowLimit = NormalPllLowLimit;
    session_.pllHighLimit = NormalPllHighLimit;
    session_.image.applyStartupDefaults();
    session_.solver.targetF1 = 0;
    session_.solver.targetF2 = 0;
    refreshRegisterGrid(session_);
    refreshDiagram(session_);  // also fills the I2C address box
    session_.firstRefresh = false;
    on_actionScan_triggered();
}

MainWindow::~MainWindow() {
    i2c_close(session_.adapter);
    delete ui_;
}

void MainWindow::on_cbF2_pref_clicked() {
    onF2Edited(session_);
}
void MainWindow::on_cbF1_pref_clicked() {
    onF1Edited(session_);
}
void MainWindow::on_leF2_returnPressed() {
    trimTargetText(ui_->leF2);
}
void MainWindow::on_leF1_returnPressed() {
    trimTargetText(ui_->leF1);
}
void MainWindow::on_cbPLL_extend_toggled(bool checked) {
    setPllRange(session_, checked);
}
void MainWindow::on_cbF2_enable_toggled(bool checked) {
    onF2EnableToggled(session_, checked);
}
void MainWindow::on_leF2_editingFinished() {
    onF2Edited(session_);
}
void MainWindow::on_leF1_editingFinished() {
    onF1Edited(session_);
}
void MainWindow::on_sbFreference_valueChanged(int) {
    onReferenceChanged(session_);
}
void MainWindow::on_rbDIV2CLK_PLL_clicked() {
    onDiv2SourceClicked(session_);
}
void MainWindow::on_rbDIV2CLK_ref_clicked() {
    onDiv2SourceClicked(session_);
}
void MainWindow::on_rbDIV1CLK_PLL_clicked() {
    onDiv1SourceClicked(session_);
}
void MainWindow::on_rbDIV1CLK_ref_clicked() {
    onDiv1SourceClicked(session_);
}
void MainWindow::on_cbPO_clicked() {
    onPoClicked(session_);
}
void MainWindow::on_anycheckbox_toggled() {
    onGridCheckboxToggled(session_);
}
void MainWindow::on_anyclockbutton_toggled() {
    onClockButtonToggled(session_);
}
void MainWindow::on_anymatrixcombobox_changed() {
    onMatrixComboBoxChanged(session_);
}
void MainWindow::on_anysbvalue_changed() {
    onRegisterSpinBoxChanged(session_);
}
void MainWindow::on_actionOpen_triggered() {
    onOpenAction(session_);
}
void MainWindow::on_actionScan_triggered() {
    onScanAction(session_);
}
void MainWindow::on_actionSave_As_triggered() {
    onSaveAsAction(session_);
}
void MainWindow::on_actionSave_triggered() {
    onSaveAction(session_);
}
void MainWindow::on_actionLoad_triggered() {
    onLoadAction(session_);
}

void showMainWindow(MainWindow& window) {
    window.resize(MainWindowWidth, MainWindowHeight);
    window.show();
}
