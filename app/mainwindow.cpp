// SPDX-License-Identifier: MIT
#include "app/mainwindow.h"

#include "app/editmenu.h"
#include "app/plandialog.h"
#include "app/windowmenus.h"
#include "frequency/frequencymodel.h"
#include "frequency/solve.h"
#include "session/boardsettings.h"
#include "usb/libusbbackend.h"
#include "views/mainwindowform.h"
#include "views/windowfit.h"

#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QMetaObject>

// The built-in icons, from a static library: registered by hand.
static void initResources() {
    Q_INIT_RESOURCE(vantrel);
}

namespace {
using Run = StatusLine::Run;

// The form takes its icon from "chip.png" in the working directory; started from the desktop's
// menu there is none, so the installed one stands in: the icon theme's, else the built-in one,
// whose four images are decoded only when the theme has none. Looking it up and decoding it costs
// about as much as a tenth of the first paint, so it waits until that paint is done.
void useInstalledIconWithoutChipPng(QMainWindow& window) {
    if (!window.windowIcon().availableSizes().isEmpty())
        return;  // "chip.png" was there
    const QString name = QStringLiteral("vantrel");
    if (QIcon::hasThemeIcon(name)) {
        window.setWindowIcon(QIcon::fromTheme(name));
        return;
    }
    initResources();
    QIcon builtIn;
    for (int size : {16, 32, 64, 256})
        builtIn.addFile(QStringLiteral(":/icons/vantrel-%1.png").arg(size), QSize(size, size));
    window.setWindowIcon(builtIn);
}

// What Apply says it did with the plan.
QString planAppliedText(bool adapterOpen, bool liveWrites) {
    if (!adapterOpen)
        return QStringLiteral(
            "Info: The plan is in the registers shown; no adapter is open, so nothing was "
            "written.");
    if (!liveWrites)
        return QStringLiteral("Info: The plan is in the registers shown; Write to chip writes it.");
    return QStringLiteral("Info: The plan was written to the chip.");
}
}  // namespace

MainWindow::MainWindow(QWidget* parent) : MainWindow(std::make_shared<LibUsbBackend>(), parent) {}

MainWindow::MainWindow(std::shared_ptr<UsbBackend> usb, QWidget* parent)
    : QMainWindow(parent),
      usb_(std::move(usb)),
      ui_(new MainWindowForm),
      views_(form_, session_),
      files_(form_, session_, views_),
      chip_(session_, views_, this) {
    ui_->setupUi(this);
    addToolsMenu();
    chip_.addUsbEntries(ui_->menuUSB);
    addShortcuts(*ui_);
    addKeyboardAccess(*this, *ui_);
    addHelpMenu(*this, *ui_);
    form_.ui = ui_;
    form_.window = this;
    form_.familySlots.bitBox = SLOT(on_anycheckbox_toggled());
    form_.familySlots.outputButton = SLOT(on_anyclockbutton_toggled());
    form_.familySlots.matrixBox = SLOT(on_anymatrixcombobox_changed());
    form_.familySlots.spinBox = SLOT(on_anysbvalue_changed());
    form_.familySlots.addressBox = SLOT(on_actionScan_triggered());
    session_.board = loadUserBoardFacts();
    views_.findings.install();
    views_.chip.install([this] { chip_.openComparison(); });
    session_.status.setListener([this](const QString& text) {
        if (text.isEmpty())
            ui_->statusBar->clearMessage();
        else
            ui_->statusBar->showMessage(text, 0);
    });

    i2c_init(session_.adapter, usb_.get(), &views_.device);
    session_.fRef = static_cast<double>(ui_->sbFreference->value());
    session_.pllLowLimit = NormalPllRange.low;
    session_.pllHighLimit = NormalPllRange.high;
    session_.image.applyStartupDefaults();
    session_.solver.targetF1 = 0;
    session_.solver.targetF2 = 0;
    views_.diagram.markOutputButtons();
    views_.refreshGrid();
    views_.device.setUpAddressBox();
    views_.refreshDiagram();
    form_.firstRefresh = false;
    recorded_ = currentState();
    session_.status.setRunEndListener([this] { takeStockOfRun(); });
    QMetaObject::invokeMethod(this, &MainWindow::startUpScanTurn, Qt::QueuedConnection);
}

MainWindow::~MainWindow() {
    delete planDialog_;  // it reads the session, which goes before the window's children do
    i2c_close(session_.adapter);
    session_.status.setListener({});
    session_.status.setRunEndListener({});
    delete ui_;
}

// Closing takes the focus from a target field, which would confirm a target the user typed but
// never confirmed; closing writes nothing to the chip.
void MainWindow::closeEvent(QCloseEvent* event) {
    closing_ = true;
    QMainWindow::closeEvent(event);
}

// A window shown but not yet painted would stay blank, its progress bar unseen, while the scan
// holds the event loop: the scan waits for the first paint.
void MainWindow::startUpScanTurn() {
    if (startUpScan_ != StartUpScan::Queued)
        return;
    if (isVisible() && !testAttribute(Qt::WA_Mapped))
        startUpScan_ = StartUpScan::WaitingForFirstPaint;
    else
        runStartUpScan();
}

// The scan starts after the paint has reached the screen, not inside it.
void MainWindow::paintEvent(QPaintEvent* event) {
    QMainWindow::paintEvent(event);
    if (startUpScan_ == StartUpScan::WaitingForFirstPaint)
        QMetaObject::invokeMethod(this, &MainWindow::runStartUpScan, Qt::QueuedConnection);
}

// After the first paint: the installed icon where "chip.png" gave none, then the Scan action, and
// a file named at start-up loaded in the same run: an error of the scan stays on the status line
// rather than the load's success.
void MainWindow::runStartUpScan() {
    if (startUpScan_ == StartUpScan::Done)
        return;
    startUpScan_ = StartUpScan::Done;
    useInstalledIconWithoutChipPng(*this);
    const Run run(session_.status);
    scan();
    if (!startUpFile_.isEmpty())
        files_.loadFile(startUpFile_);
}

void MainWindow::solveForF1() {
    const QPalette palette = ui_->leF1->palette();
    if (views_.frequency.takeF1Target(views_.diagram.shownDiv2N()))
        solveAndShow(ui_->leF1, palette);
}

void MainWindow::solveForF2() {
    const QPalette palette = ui_->leF2->palette();
    if (views_.frequency.takeF2Target())
        solveAndShow(ui_->leF2, palette);
}

// The solution goes into the image; a new crosspoint for LCLK1 or LCLK2 is selected in the matrix,
// whose slot writes it. Then every view shows the result and the core registers are written.
void MainWindow::solveAndShow(QLineEdit* field, const QPalette& palette) {
    Session& s = session_;
    const QString warning = solveIntoImage(
        s.solver, s.image, s.div1N, s.div2N, views_.frequency.f2Enabled(), s.pllLowLimit,
        s.pllHighLimit,
        [this](int output, int code) { views_.diagram.selectCrosspoint(output, code); });
    views_.frequency.showIterations(s.solver.iterations);
    if (!warning.isEmpty())
        s.status.show({ReportKind::Warning, warning});
    views_.frequency.markSolveResult(field, palette, s.solver.bestError);
    views_.refreshDiagram();
    views_.refreshGrid();
    views_.refreshFrequencies();
    pushCoreRegisters(s);
}

void MainWindow::editRegister(quint8 address) {
    views_.refreshGrid();
    pushRegister(session_, address);
}

void MainWindow::copyDividersToSolver() {
    ::copyDividersToSolver(session_);
}

// Added in code after the form's File and USB menus, which stay as the form has them.
void MainWindow::addToolsMenu() {
    QMenu* tools = ui_->menuBar->addMenu(tr("&Tools"));
    tools->setObjectName(QStringLiteral("menuTools"));
    planOutputsAction_ = tools->addAction(tr("&Plan outputs..."));
    planOutputsAction_->setObjectName(QStringLiteral("actionPlan_outputs"));
    connect(planOutputsAction_, &QAction::triggered, this, &MainWindow::openPlanDialog);
    chip_.addLogEntry(tools);
    edit_ = new EditMenu([this](const WindowState& state) { restoreState(state); }, this);
    edit_->addTo(ui_->menuBar, tools->menuAction());
    // The list the indicator beside the status line opens, for the keyboard.
    QAction* rules =
        tools->addAction(tr("&Chip rules..."), this, [this] { views_.findings.openList(); });
    rules->setObjectName(QStringLiteral("actionChip_rules"));
}

// Window-modal without a nested event loop: the window waits, the caller does not.
void MainWindow::openPlanDialog() {
    if (!planDialog_)
        planDialog_ = new PlanDialog(
            session_, [this](const Plan& plan) { return applyPlanFromDialog(plan); }, this);
    planDialog_->showReference();
    fitDialogToScreen(*planDialog_);
    planDialog_->open();
}

// The plan goes into the image and onto the chip in the safe order, the output enables last; the
// window then shows it as after a file load, without writing the registers a second time.
QString MainWindow::applyPlanFromDialog(const Plan& plan) {
    {
        const Run run(session_.status);
        session_.status.clear();
        applyPlan(plan, session_.image);
        const bool open = i2c_is_open(session_.adapter);
        if (pushConfiguration(session_))
            session_.status.show({ReportKind::Info, planAppliedText(open, session_.liveWrites)});
        copyDividersToSolver();
        views_.showWritten();
    }
    return session_.status.text();
}

void MainWindow::openAdapter() {
    i2c_close(session_.adapter);
    session_.chip.forget();
    newChipRead_ = true;
    session_.status.clear();
    if (views_.device.openSelected() < 0)
        return;
    views_.refreshGrid();
    views_.refreshDiagram();
    copyDividersToSolver();
    views_.refreshFrequencies();
}

// A scan that opened an adapter shows what was read, with both targets back at zero; with live
// writes on it also sets CAPLOAD to its start-up value on the chip, and the grid's refresh writes
// every row back.
void MainWindow::scan() {
    i2c_close(session_.adapter);
    session_.chip.forget();
    newChipRead_ = true;
    session_.status.clear();
    views_.device.scanDevices();
    if (!session_.adapter.openedByScan)
        return;
    session_.status.settleErrors();
    if (session_.liveWrites) {
        session_.image[Reg::CapLoad] = 0x40;
        pushRegister(session_, Reg::CapLoad);
    }
    views_.refreshGrid();
    views_.refreshDiagram();
    copyDividersToSolver();
    views_.frequency.resetTargets();
    views_.refreshFrequencies();
}

void MainWindow::on_cbF2_pref_clicked() {
    const Run run(session_.status);
    solveForF2();
}
void MainWindow::on_cbF1_pref_clicked() {
    const Run run(session_.status);
    solveForF1();
}
void MainWindow::on_leF2_returnPressed() {
    views_.frequency.trimTarget(ui_->leF2);
}
void MainWindow::on_leF1_returnPressed() {
    views_.frequency.trimTarget(ui_->leF1);
}
void MainWindow::on_cbPLL_extend_toggled(bool checked) {
    views_.frequency.takePllRange(checked);
}
void MainWindow::on_cbF2_enable_toggled(bool checked) {
    const Run run(session_.status);
    if (form_.updatingWidgets)
        return;
    views_.frequency.takeF2Enable(checked);
    solveForF2();
}
void MainWindow::on_leF2_editingFinished() {
    const Run run(session_.status);
    if (!closing_)
        solveForF2();
}
void MainWindow::on_leF1_editingFinished() {
    const Run run(session_.status);
    if (!closing_)
        solveForF1();
}
void MainWindow::on_sbFreference_valueChanged(int) {
    const Run run(session_.status);
    views_.diagram.takeReference();
    views_.refreshFrequencies();
}
void MainWindow::on_rbDIV2CLK_PLL_clicked() {
    const Run run(session_.status);
    views_.diagram.takeDiv2Source();
    editRegister(Reg::Div2);
}
void MainWindow::on_rbDIV2CLK_ref_clicked() {
    on_rbDIV2CLK_PLL_clicked();
}
void MainWindow::on_rbDIV1CLK_PLL_clicked() {
    const Run run(session_.status);
    views_.diagram.takeDiv1Source();
    editRegister(Reg::Div1);
}
void MainWindow::on_rbDIV1CLK_ref_clicked() {
    on_rbDIV1CLK_PLL_clicked();
}
void MainWindow::on_cbPO_clicked() {
    const Run run(session_.status);
    views_.diagram.takePo();
    editRegister(Reg::PoQ);
}
void MainWindow::on_anycheckbox_toggled() {
    const Run run(session_.status);
    if (form_.updatingWidgets)
        return;
    views_.grid.takeBitBoxes();
    views_.refreshDiagram();
}
void MainWindow::on_anyclockbutton_toggled() {
    const Run run(session_.status);
    if (form_.updatingWidgets)
        return;
    views_.diagram.takeOutputButtons();
    editRegister(Reg::ClockOutputEnable);
}
// The three matrix registers go out in order; the first failure stops the rest and leaves the grid
// as it was, while the image keeps the new codes.
void MainWindow::on_anymatrixcombobox_changed() {
    const Run run(session_.status);
    if (form_.updatingWidgets)
        return;
    views_.diagram.takeMatrix();
    if (pushMatrixRegisters(session_))
        views_.refreshGrid();
    else
        views_.findings.refresh();  // the image holds the new codes without a refresh
}
void MainWindow::on_anysbvalue_changed() {
    const Run run(session_.status);
    if (form_.updatingWidgets)
        return;
    views_.diagram.takeSpinBoxes();
    views_.refreshGrid();
    pushCoreRegisters(session_);
}
// A read that fails part-way leaves the bytes read so far in the image, without a refresh; the
// findings follow the image all the same.
void MainWindow::on_actionOpen_triggered() {
    const Run run(session_.status);
    openAdapter();
    views_.findings.refresh();
}
void MainWindow::on_actionScan_triggered() {
    const Run run(session_.status);
    scan();
    views_.findings.refresh();
}
void MainWindow::on_actionSave_As_triggered() {
    const Run run(session_.status);
    files_.saveAs();
}
void MainWindow::on_actionSave_triggered() {
    const Run run(session_.status);
    files_.save();
}
void MainWindow::on_actionLoad_triggered() {
    const Run run(session_.status);
    files_.load();
}

WindowState MainWindow::currentState() const {
    WindowState state;
    state.image = session_.image;
    state.fRef = session_.fRef;
    state.targetF1 = session_.solver.targetF1;
    state.targetF2 = session_.solver.targetF2;
    state.f1Text = ui_->leF1->text();
    state.f2Text = ui_->leF2->text();
    return state;
}

// An undo or redo: the whole state as it was, shown as after a load; with live writes on, the
// registers that differ go to the chip in the safe order, 0x09 last, the first failure stopping
// the rest.
void MainWindow::restoreState(const WindowState& state) {
    const Run run(session_.status);
    session_.status.clear();
    const std::vector<quint8> changed = changedConfigurationRegisters(session_.image, state.image);
    {
        const UpdatingWidgets quiet(form_);
        session_.image = state.image;
        session_.fRef = state.fRef;
        ui_->sbFreference->setValue(static_cast<int>(state.fRef));
        session_.solver.targetF1 = state.targetF1;
        session_.solver.targetF2 = state.targetF2;
        ui_->leF1->setText(state.f1Text);
        ui_->leF2->setText(state.f2Text);
        copyDividersToSolver();
        views_.showWritten();
    }
    if (session_.liveWrites) {
        if (const std::optional<FailedWrite> failed = writeChipRegisters(session_, changed))
            session_.status.show({ReportKind::Error, failed->error});
    }
    recorded_ = currentState();
}

// The end of every action: a change of the image, the reference or the targets becomes one undo
// step (a chip read starts the history again), and the marks follow the chip.
void MainWindow::takeStockOfRun() {
    const WindowState now = currentState();
    if (newChipRead_) {
        newChipRead_ = false;
        edit_->clear();
        recorded_ = now;
    } else if (now != recorded_) {
        // Text typed into a target field and not confirmed is no action of its own.
        WindowState before = recorded_;
        before.f1Text = now.f1Text;
        before.f2Text = now.f2Text;
        if (now != before)
            edit_->record(recorded_, now);
        recorded_ = now;
    }
    views_.refreshChipState();
    chip_.refresh();
}

// On a screen too small for it the window fits the screen and the form scrolls.
void showMainWindow(MainWindow& window) {
    const QSize wanted(MainWindowWidth, MainWindowHeight);
    fitWindowToScreen(window, window.form()->centralWidget, wanted);
    window.show();
    refitOnScreenChange(window, window.form()->centralWidget, wanted);
}
