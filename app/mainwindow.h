// SPDX-License-Identifier: MIT
#pragma once

#include "app/chipcommands.h"
#include "app/filecommands.h"
#include "session/session.h"
#include "session/undostep.h"
#include "views/formviews.h"

#include <QMainWindow>

#include <memory>

class EditMenu;
class MainWindowForm;
class PlanDialog;
class QAction;
class UsbBackend;
struct Plan;

constexpr int MainWindowWidth = 1420;
constexpr int MainWindowHeight = 830;

// The one window of the tool. It builds the form, creates the views over its Session and wires the
// named slots to them: each slot is one user action, a run of the status line.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // Uses libusb-1.0.
    explicit MainWindow(QWidget* parent = nullptr);
    // Uses the given USB backend (the tests pass a simulated adapter).
    explicit MainWindow(std::shared_ptr<UsbBackend> usb, QWidget* parent = nullptr);
    ~MainWindow() override;

    MainWindowForm* form() const { return ui_; }
    Session& session() { return session_; }
    FormContext& formContext() { return form_; }
    FormViews& views() { return views_; }
    // The Tools menu, after File and USB, and its "Plan outputs..." action.
    QAction* planOutputsAction() const { return planOutputsAction_; }
    // The plan dialog once the action has opened it, else null.
    PlanDialog* planDialog() const { return planDialog_; }
    // The USB menu's writes on demand, the comparison and the chip log.
    ChipCommands& chipCommands() { return chip_; }
    // The Edit menu and its undo history.
    EditMenu* editMenu() const { return edit_; }

    // The start-up scan runs once, from the event loop: at its first turn, or, for a window shown
    // before then, right after its first paint, so that the window is on screen while the chip is
    // read. True until it has run.
    bool startUpScanPending() const { return startUpScan_ != StartUpScan::Done; }
    // A register file that the start-up scan's run loads afterwards, as File > Load does; to be
    // given before the event loop first turns.
    void loadAfterStartUpScan(const QString& fileName) { startUpFile_ = fileName; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

    // The declaration order below is the slot order of the meta-object.
private slots:
    void on_cbF2_pref_clicked();
    void on_cbF1_pref_clicked();
    void on_leF2_returnPressed();
    void on_leF1_returnPressed();
    void on_cbPLL_extend_toggled(bool checked);
    void on_cbF2_enable_toggled(bool checked);
    void on_leF2_editingFinished();
    void on_leF1_editingFinished();
    void on_sbFreference_valueChanged(int);
    void on_rbDIV2CLK_PLL_clicked();
    void on_rbDIV2CLK_ref_clicked();
    void on_rbDIV1CLK_PLL_clicked();
    void on_rbDIV1CLK_ref_clicked();
    void on_cbPO_clicked();
    void on_anycheckbox_toggled();
    void on_anyclockbutton_toggled();
    void on_anymatrixcombobox_changed();
    void on_anysbvalue_changed();
    void on_actionOpen_triggered();
    void on_actionScan_triggered();
    void on_actionSave_As_triggered();
    void on_actionSave_triggered();
    void on_actionLoad_triggered();

private:
    void solveForF1();
    void solveForF2();
    void solveAndShow(QLineEdit* field, const QPalette& palette);
    void editRegister(quint8 address);
    void openAdapter();
    void scan();
    void copyDividersToSolver();
    void addToolsMenu();
    void openPlanDialog();
    QString applyPlanFromDialog(const Plan& plan);
    void startUpScanTurn();
    void runStartUpScan();
    WindowState currentState() const;
    void restoreState(const WindowState& state);
    void takeStockOfRun();

    std::shared_ptr<UsbBackend> usb_;
    MainWindowForm* ui_;
    bool closing_ = false;  // a target left unconfirmed is not solved (and written) on the way out
    enum class StartUpScan { Queued, WaitingForFirstPaint, Done };
    StartUpScan startUpScan_ = StartUpScan::Queued;
    QString startUpFile_;
    Session session_;
    FormContext form_;
    FormViews views_;
    FileCommands files_;
    QAction* planOutputsAction_ = nullptr;
    PlanDialog* planDialog_ = nullptr;  // a child of the window, made on first use
    ChipCommands chip_;
    EditMenu* edit_ = nullptr;
    WindowState recorded_;      // the state after the last action, the next step's "before"
    bool newChipRead_ = false;  // the action read a chip: the undo history starts again
};

// Gives the window its start-up size, or what of it the screen holds, and shows it.
void showMainWindow(MainWindow& window);
