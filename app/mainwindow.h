#pragma once

#include "app/formtransportview.h"
#include "app/session.h"

#include <QMainWindow>

#include <memory>

class MainWindowForm;
class UsbBackend;

constexpr int MainWindowWidth = 1420;
constexpr int MainWindowHeight = 830;

// The one window of the tool. Its slots are the only entry points after start-up; each hands over
// to the subsystem that owns the behaviour, working on the window's Session.
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
    std::shared_ptr<UsbBackend> usb_;
    MainWindowForm* ui_;
    FormTransportView transportView_;
    Session session_;
};

// Gives the window its start-up size and shows it.
void showMainWindow(MainWindow& window);
