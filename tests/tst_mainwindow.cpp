// SPDX-License-Identifier: MIT
#include "app/windowmenus.h"
#include "sim/watchedusb.h"
#include "windowfixture.h"

#include <QElapsedTimer>
#include <QImageReader>
#include <QMenu>
#include <QMessageBox>
#include <QMetaMethod>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// QObject::receivers() is protected; a member pointer taken in a derived class reaches it legally.
struct ReceiverCount : QObject {
    static int of(const QObject* object, const char* signal) {
        return (object->*(&ReceiverCount::receivers))(signal);
    }
};
// Notes each paint of a widget, with what a progress bar showed.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QWidget* widget) : widget_(widget) { widget->installEventFilter(this); }
    std::vector<int> shownValues;  // the bar's value at each paint; 0 for other widgets

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (object == widget_ && event->type() == QEvent::Paint) {
            auto* bar = qobject_cast<QProgressBar*>(widget_);
            shownValues.push_back(bar ? bar->value() : 0);
        }
        return false;
    }

private:
    QWidget* widget_;
};

// The request, value, index and data of each transfer, to compare two logs.
QStringList requestsOf(const std::vector<SimTransfer>& transfers) {
    QStringList list;
    for (const SimTransfer& t : transfers) {
        QString line =
            QString::asprintf("%02X %d %d %d:", t.requestType, t.request, t.value, t.index);
        for (quint8 byte : t.data)
            line += QString::asprintf(" %02X", byte);
        list << line;
    }
    return list;
}
}  // namespace

// The window's lifecycle: slot table, start-up state, size, and the connection scheme that keeps
// refreshes from re-entering the editing slots.
class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void slotTable();
    void startupWithoutAdapter();
    void startupSizeAndTitle();
    void startUpScanRunsOnceTheWindowIsPainted();
    void progressBarRepaintsAtMostEvery16ms();
    void exactlyOneConnectionPerFamilyWidget();
    void oneHandlerRunAfterManyRefreshes_data();
    void oneHandlerRunAfterManyRefreshes();
    void updatingWidgetsSilencesEditingSlots_data();
    void updatingWidgetsSilencesEditingSlots();
    void closingWritesNothing_data();
    void closingWritesNothing();
    void windowIcon();
    void menusAfterFileAndUsb();
    void menusByKeyboard_data();
    void menusByKeyboard();
    void chipRulesAndQuit();
    void shortcuts_data();
    void shortcuts();
    void aboutVantrel();
};

void TestMainWindow::slotTable() {
    const QStringList expected = {
        "on_cbF2_pref_clicked()",
        "on_cbF1_pref_clicked()",
        "on_leF2_returnPressed()",
        "on_leF1_returnPressed()",
        "on_cbPLL_extend_toggled(bool)",
        "on_cbF2_enable_toggled(bool)",
        "on_leF2_editingFinished()",
        "on_leF1_editingFinished()",
        "on_sbFreference_valueChanged(int)",
        "on_rbDIV2CLK_PLL_clicked()",
        "on_rbDIV2CLK_ref_clicked()",
        "on_rbDIV1CLK_PLL_clicked()",
        "on_rbDIV1CLK_ref_clicked()",
        "on_cbPO_clicked()",
        "on_anycheckbox_toggled()",
        "on_anyclockbutton_toggled()",
        "on_anymatrixcombobox_changed()",
        "on_anysbvalue_changed()",
        "on_actionOpen_triggered()",
        "on_actionScan_triggered()",
        "on_actionSave_As_triggered()",
        "on_actionSave_triggered()",
        "on_actionLoad_triggered()",
    };
    const QMetaObject& mo = MainWindow::staticMetaObject;
    QCOMPARE(QString(mo.className()), QString("MainWindow"));
    QCOMPARE(QString(mo.superClass()->className()), QString("QMainWindow"));
    QCOMPARE(mo.methodCount() - mo.methodOffset(), int(expected.size()));
    for (int i = 0; i < expected.size(); ++i) {
        const QMetaMethod m = mo.method(mo.methodOffset() + i);
        QCOMPARE(QString(m.methodSignature()), expected[i]);
        QCOMPARE(m.methodType(), QMetaMethod::Slot);
        QCOMPARE(m.access(), QMetaMethod::Private);
        QCOMPARE(m.returnType(), int(QMetaType::Void));
    }
    QCOMPARE(mo.propertyCount(), mo.propertyOffset());
}

void TestMainWindow::startupWithoutAdapter() {
    WindowFixture f(WindowFixture::Start::WithoutAdapter);
    f.open();
    const Session& s = f.session();
    MainWindowForm& ui = f.ui();

    for (int a = 0; a < RegisterImage::Size; ++a)
        QCOMPARE(int(s.image[a]), a == 0x12 ? 0x10 : a == 0x13 ? 0x40 : 0);
    QCOMPARE(s.div1N, 0);
    QCOMPARE(s.div2N, 0);
    QCOMPARE(ui.sbDIV1N->value(), 4);
    QCOMPARE(ui.sbDIV2N->value(), 4);
    QCOMPARE(ui.sbCAPLOAD->value(), 64);
    QCOMPARE(ui.sbXCOdrive->value(), 2);
    QCOMPARE(ui.leVal02->text(), QString("0x10"));
    QCOMPARE(ui.leVal03->text(), QString("0x40"));
    QCOMPARE(ui.cb036->isChecked(), true);  // CPL_6 of 0x13
    QVERIFY(ui.rbDIV1CLK_PLL->isChecked());
    QVERIFY(ui.rbDIV2CLK_PLL->isChecked());
    QCOMPARE(s.fRef, 10000000.0);
    QCOMPARE(s.pllLowLimit, 100000000);
    QCOMPARE(s.pllHighLimit, 400000000);
    QCOMPARE(s.solver.targetF1, 0.0);
    QCOMPARE(s.solver.targetF2, 0.0);
    QCOMPARE(f.form().firstRefresh, false);
    QCOMPARE(f.form().updatingWidgets, false);
    QVERIFY(!s.adapter.handle);
    QCOMPARE(int(s.adapter.i2cAddress), 0x69);

    QComboBox* addresses = ui.DeviceAddresscomboBox;
    QCOMPARE(addresses->count(), 128);
    for (int i = 0; i < 128; ++i)
        QCOMPARE(addresses->itemText(i), QString::asprintf("0x%02X", i));
    QCOMPARE(addresses->currentIndex(), 105);
    QCOMPARE(addresses->currentText(), QString("0x69"));

    // No adapter: no transfer has been made and no further scan runs by itself.
    QVERIFY(f.usb->transfers().empty());
    QCOMPARE(f.usb->openCount(), 0);
}

void TestMainWindow::startupSizeAndTitle() {
    WindowFixture f(WindowFixture::Start::WithoutAdapter);
    MainWindow& w = f.open();
    QCOMPARE(w.objectName(), QString("MainWindow"));
    QCOMPARE(w.windowTitle(), QString("Vantrel - CY22150"));
    QCOMPARE(w.size(), QSize(1420, 829));
    showMainWindow(w);
    QCOMPARE(w.size(), QSize(1420, 830));
    QVERIFY(w.isVisible());
}

// As main() starts it: built, shown, then the event loop. The scan waits for the first paint, so
// the user sees the window and the read's progress; its transfers are those of a window that scans
// without being shown.
void TestMainWindow::startUpScanRunsOnceTheWindowIsPainted() {
    WindowFixture hidden;
    hidden.open();
    const QStringList expected = requestsOf(hidden.startUpTransfers);
    QVERIFY(expected.size() > 515);  // the read of 256 registers and the writes after it

    auto sim = std::make_shared<SimUsbBackend>();
    sim->plug(SimDevice::adapter(1, 4, std::make_shared<SimCy22150>(0x69)));
    auto usb = std::make_shared<WatchedUsb>(sim);
    MainWindow w(usb);
    const PaintWatch windowPaints(&w);
    QVERIFY(w.startUpScanPending());
    QVERIFY(sim->transfers().empty());

    int transfers = 0;
    bool shownAtFirstTransfer = false;
    usb->onTransfer = [&] {
        if (transfers++ == 0)
            shownAtFirstTransfer = w.isVisible() && w.testAttribute(Qt::WA_Mapped) &&
                                   !windowPaints.shownValues.empty();
    };
    showMainWindow(w);
    QVERIFY(waitForStartUpScan(w));
    QVERIFY(shownAtFirstTransfer);
    QCOMPARE(requestsOf(sim->transfers()), expected);

    // Once: the event loop runs on, and no further scan comes.
    sim->resetTransfers();
    QTest::qWait(50);
    QVERIFY(sim->transfers().empty());
}

// A read on a bus with a real adapter's latency: the bar advances visibly, but repaints at most
// once per 16 ms, and its last paint shows the end of the read.
void TestMainWindow::progressBarRepaintsAtMostEvery16ms() {
    auto sim = std::make_shared<SimUsbBackend>();
    sim->plug(SimDevice::adapter(1, 4, std::make_shared<SimCy22150>(0x69)));
    auto usb = std::make_shared<WatchedUsb>(sim);
    MainWindow w(usb);
    showMainWindow(w);
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(waitForStartUpScan(w));
    QProgressBar* bar = w.form()->LOADSAVEprogressBar;
    QTest::qWait(20);  // the start-up read's last paint is more than 16 ms old

    usb->latencyUs = 200;
    const PaintWatch paints(bar);
    QElapsedTimer clock;
    clock.start();
    w.form()->actionOpen->trigger();
    const qint64 elapsedMs = clock.elapsed();
    QVERIFY2(!w.session().status.text().startsWith("Error"), qPrintable(w.session().status.text()));

    const std::vector<int>& shown = paints.shownValues;
    QVERIFY2(shown.size() >= 3, qPrintable(QString::number(shown.size())));
    QVERIFY2(qint64(shown.size()) <= 2 + elapsedMs / 16,
             qPrintable(QStringLiteral("%1 paints in %2 ms").arg(shown.size()).arg(elapsedMs)));
    QVERIFY(std::is_sorted(shown.begin(), shown.end()));
    QVERIFY(shown.front() < shown.back());
    QCOMPARE(shown.back(), bar->maximum());
}

void TestMainWindow::exactlyOneConnectionPerFamilyWidget() {
    WindowFixture f;
    MainWindow& w = f.open();
    for (int i = 0; i < 3; ++i) {
        f.views().refreshGrid();
        f.views().refreshDiagram();
    }
    int boxes = 0;
    for (const QCheckBox* box : w.findChildren<QCheckBox*>()) {
        if (!QRegularExpression("^cb\\d{3}$").match(box->objectName()).hasMatch())
            continue;
        ++boxes;
        QCOMPARE(ReceiverCount::of(box, SIGNAL(toggled(bool))), 1);
    }
    QCOMPARE(boxes, 88);
    for (const QComboBox* box : w.findChildren<QComboBox*>()) {
        if (box->objectName().startsWith("cbMatrix_") || box == f.ui().DeviceAddresscomboBox)
            QCOMPARE(ReceiverCount::of(box, SIGNAL(currentIndexChanged(int))), 1);
    }
    for (const QPushButton* button : w.findChildren<QPushButton*>())
        QCOMPARE(ReceiverCount::of(button, SIGNAL(toggled(bool))), 1);
    for (const QSpinBox* spin : w.findChildren<QSpinBox*>())
        QCOMPARE(ReceiverCount::of(spin, SIGNAL(valueChanged(int))), 1);
}

// Refreshing many times must leave exactly one connection per editing widget: one user change
// then runs its handler once, which the number of register writes shows.
void TestMainWindow::oneHandlerRunAfterManyRefreshes_data() {
    QTest::addColumn<QString>("widget");
    QTest::addColumn<int>("writes");
    QTest::newRow("bit check box") << "cb000" << 1;                  // the changed register only
    QTest::newRow("output button") << "pbLCLK3" << 11 + 1;           // grid, then 0x09
    QTest::newRow("register spin box") << "sbQCounter" << 11 + 7;    // grid, then the core seven
    QTest::newRow("matrix combo box") << "cbMatrix_CLK5" << 3 + 11;  // matrix, then grid
}

void TestMainWindow::oneHandlerRunAfterManyRefreshes() {
    QFETCH(QString, widget);
    QFETCH(int, writes);
    WindowFixture f;
    MainWindow& w = f.open();
    for (int i = 0; i < 5; ++i) {
        f.views().refreshGrid();
        f.views().refreshDiagram();
    }
    f.usb->resetTransfers();

    QWidget* target = w.findChild<QWidget*>(widget);
    QVERIFY(target);
    if (auto* box = qobject_cast<QComboBox*>(target)) {
        box->setCurrentIndex(box->currentIndex() + 1);
    } else if (auto* spin = qobject_cast<QSpinBox*>(target)) {
        spin->setFocus();
        QTest::keyClick(spin, Qt::Key_Up);
    } else {
        auto* button = qobject_cast<QAbstractButton*>(target);
        QVERIFY(button);
        button->click();
    }
    QCOMPARE(int(f.writtenRegisters().size()), writes);
}

void TestMainWindow::updatingWidgetsSilencesEditingSlots_data() {
    QTest::addColumn<QString>("widget");
    QTest::newRow("bit check box") << "cb055";
    QTest::newRow("output button") << "pbCLK6";
    QTest::newRow("register spin box") << "sbCAPLOAD";
    QTest::newRow("divider spin box") << "sbDIV2N";
    QTest::newRow("matrix combo box") << "cbMatrix_LCLK2";
}

void TestMainWindow::updatingWidgetsSilencesEditingSlots() {
    QFETCH(QString, widget);
    WindowFixture f;
    MainWindow& w = f.open();
    const RegisterImage before = f.session().image;
    f.form().updatingWidgets = true;

    QWidget* target = w.findChild<QWidget*>(widget);
    QVERIFY(target);
    if (auto* box = qobject_cast<QComboBox*>(target))
        box->setCurrentIndex(3);
    else if (auto* spin = qobject_cast<QSpinBox*>(target))
        spin->setValue(spin->value() + 5);
    else
        qobject_cast<QAbstractButton*>(target)->click();

    QVERIFY(f.session().image.bytes == before.bytes);
    QVERIFY(f.usb->transfers().empty());
}

void TestMainWindow::closingWritesNothing_data() {
    QTest::addColumn<QString>("field");
    QTest::newRow("F1") << "leF1";
    QTest::newRow("F2") << "leF2";
}

// A target typed but not confirmed is left as it is when the window goes: the focus leaving the
// field on the way out must not solve and write.
void TestMainWindow::closingWritesNothing() {
    QFETCH(QString, field);
    WindowFixture f;
    MainWindow& w = f.open();
    showMainWindow(w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    if (field == "leF2")
        QTest::mouseClick(f.ui().cbF2_enable, Qt::LeftButton);
    auto* edit = w.findChild<QLineEdit*>(field);
    edit->setFocus();
    QVERIFY(QTest::qWaitFor([&] { return edit->hasFocus(); }));
    edit->selectAll();
    QTest::keyClicks(edit, "25000000");
    f.usb->resetTransfers();

    QVERIFY(w.close());
    f.window.reset();
    QCOMPARE(f.writtenRegisters(), std::vector<int>());
}

// The form takes its icon from "chip.png" in the working directory; without it the window still
// has the installed one.
void TestMainWindow::windowIcon() {
    {
        WindowFixture f(WindowFixture::Start::WithoutAdapter);
        const QIcon icon = f.open().windowIcon();
        QCOMPARE(icon.availableSizes(), QList<QSize>{QImageReader("chip.png").size()});
    }
    const QString previous = QDir::currentPath();
    QTemporaryDir empty;
    QVERIFY(empty.isValid());
    QVERIFY(QDir::setCurrent(empty.path()));
    WindowFixture f(WindowFixture::Start::WithoutAdapter);
    const QIcon icon = f.open().windowIcon();
    QVERIFY(QDir::setCurrent(previous));
    QVERIFY(!icon.isNull());
    QVERIFY(!icon.pixmap(QSize(64, 64)).isNull());
    QVERIFY(icon.availableSizes().contains(QSize(256, 256)));
}

// The Edit, Tools and Help menus come after File and USB, which keep their titles, actions and
// order; the USB menu's own entries come after Scan and Open.
void TestMainWindow::menusAfterFileAndUsb() {
    WindowFixture f(WindowFixture::Start::WithoutAdapter);
    MainWindow& w = f.open();
    MainWindowForm& ui = f.ui();
    QMenu* edit = w.findChild<QMenu*>("menuEdit");
    QMenu* tools = w.findChild<QMenu*>("menuTools");
    QMenu* help = w.findChild<QMenu*>("menuHelp");
    QVERIFY(edit);
    QVERIFY(tools);
    QVERIFY(help);
    QCOMPARE(ui.menuBar->actions(),
             QList<QAction*>({ui.menuFile->menuAction(), ui.menuUSB->menuAction(),
                              edit->menuAction(), tools->menuAction(), help->menuAction()}));
    auto texts = [](const QMenu* menu) {
        QStringList list;
        for (const QAction* action : menu->actions())
            list << action->objectName() + ":" + action->text();
        return list;
    };
    // The texts are the form's, with the mnemonics marked; Quit comes after the form's entries.
    QCOMPARE(ui.menuFile->title(), QString("&File"));
    QCOMPARE(texts(ui.menuFile), QStringList({"actionLoad:&Load", "actionSave:&Save",
                                              "actionSave_As:Save &As", "actionQuit:&Quit"}));
    QCOMPARE(ui.menuUSB->title(), QString("&USB"));
    QCOMPARE(texts(ui.menuUSB), QStringList({"actionScan:&Scan", "actionOpen:&Open", ":",
                                             "actionWrite_changes_at_once:Write changes at once",
                                             "actionWrite_to_chip:Write to chip",
                                             "actionRead_chip_again:Read chip again",
                                             "actionCompare_with_chip:Compare with chip…"}));
    QCOMPARE(edit->title(), QString("&Edit"));
    QCOMPARE(texts(edit), QStringList({"actionUndo:Undo", "actionRedo:Redo"}));
    QCOMPARE(tools->title(), QString("&Tools"));
    QCOMPARE(texts(tools),
             QStringList({"actionPlan_outputs:&Plan outputs...", "actionChip_log:Chip log…",
                          "actionChip_rules:&Chip rules..."}));
    QCOMPARE(help->title(), QString("&Help"));
    QCOMPARE(texts(help), QStringList({"actionAbout:&About Vantrel", "actionAbout_Qt:About &Qt"}));
}

// Alt and the menu's letter open it, the entry's letter runs the entry: every entry without a
// mouse.
void TestMainWindow::menusByKeyboard_data() {
    QTest::addColumn<int>("menuKey");
    QTest::addColumn<int>("entryKey");
    QTest::addColumn<QString>("action");
    QTest::newRow("File > Load") << int(Qt::Key_F) << int(Qt::Key_L) << "actionLoad";
    QTest::newRow("File > Save") << int(Qt::Key_F) << int(Qt::Key_S) << "actionSave";
    QTest::newRow("File > Save As") << int(Qt::Key_F) << int(Qt::Key_A) << "actionSave_As";
    QTest::newRow("File > Quit") << int(Qt::Key_F) << int(Qt::Key_Q) << "actionQuit";
    QTest::newRow("USB > Scan") << int(Qt::Key_U) << int(Qt::Key_S) << "actionScan";
    QTest::newRow("USB > Open") << int(Qt::Key_U) << int(Qt::Key_O) << "actionOpen";
    QTest::newRow("Tools > Plan outputs")
        << int(Qt::Key_T) << int(Qt::Key_P) << "actionPlan_outputs";
    QTest::newRow("Tools > Chip rules") << int(Qt::Key_T) << int(Qt::Key_C) << "actionChip_rules";
    QTest::newRow("Help > About Vantrel") << int(Qt::Key_H) << int(Qt::Key_A) << "actionAbout";
    QTest::newRow("Help > About Qt") << int(Qt::Key_H) << int(Qt::Key_Q) << "actionAbout_Qt";
}

void TestMainWindow::menusByKeyboard() {
    QFETCH(int, menuKey);
    QFETCH(int, entryKey);
    QFETCH(QString, action);
    WindowFixture f(WindowFixture::Start::WithoutAdapter);
    MainWindow& w = f.open();
    QAction* a = w.findChild<QAction*>(action);
    QVERIFY(a);
    QObject::disconnect(a, &QAction::triggered, nullptr, nullptr);  // no dialog, no closing
    QSignalSpy triggered(a, &QAction::triggered);
    showMainWindow(w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key(menuKey), Qt::AltModifier);
    QWidget* menu = QApplication::activePopupWidget();
    QVERIFY(menu);
    QTest::keyClick(menu, Qt::Key(entryKey));
    QCOMPARE(triggered.count(), 1);
    QVERIFY(!QApplication::activePopupWidget());
}

// Tools > Chip rules opens the list that the indicator beside the status line opens; File > Quit
// closes the window.
void TestMainWindow::chipRulesAndQuit() {
    WindowFixture f(WindowFixture::Start::WithoutAdapter);
    MainWindow& w = f.open();
    showMainWindow(w);
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(!w.views().findings.dialog());
    w.findChild<QAction*>("actionChip_rules")->trigger();
    QVERIFY(w.views().findings.dialog());
    QVERIFY(w.views().findings.dialog()->isVisible());
    w.findChild<QAction*>("actionQuit")->trigger();
    QVERIFY(!w.isVisible());
    QVERIFY(f.usb->transfers().empty());  // nothing written on the way out
}

void TestMainWindow::shortcuts_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("keys");
    QTest::newRow("Load") << "actionLoad"
                          << "Ctrl+O";
    QTest::newRow("Save") << "actionSave"
                          << "Ctrl+S";
    QTest::newRow("Save As") << "actionSave_As"
                             << "Ctrl+Shift+S";
    QTest::newRow("Scan") << "actionScan"
                          << "F5";
    QTest::newRow("Open") << "actionOpen"
                          << "";
    QTest::newRow("Quit") << "actionQuit"
                          << "Ctrl+Q";
}

// Each shortcut is on its action, and pressing it in the window runs the action once.
void TestMainWindow::shortcuts() {
    QFETCH(QString, action);
    QFETCH(QString, keys);
    WindowFixture f(WindowFixture::Start::WithoutAdapter);
    MainWindow& w = f.open();
    QAction* a = w.findChild<QAction*>(action);
    QVERIFY(a);
    QCOMPARE(a->shortcut().toString(QKeySequence::PortableText), keys);
    if (keys.isEmpty())
        return;
    // The action is disconnected from its slot, so that no dialog opens; the count is what counts.
    a->disconnect(&w);
    QSignalSpy triggered(a, &QAction::triggered);
    showMainWindow(w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keySequence(&w, QKeySequence(keys));
    QCOMPARE(triggered.count(), 1);
}

// The About box names the version and the licence, and no web address: the project has none.
void TestMainWindow::aboutVantrel() {
    const QString text = aboutVantrelText();
    QVERIFY2(text.contains("Vantrel 0.1"), qPrintable(text));
    QVERIFY(text.contains("MIT licence"));
    QVERIFY2(!text.contains("http") && !text.contains("<a "), qPrintable(text));

    WindowFixture f(WindowFixture::Start::WithoutAdapter);
    MainWindow& w = f.open();
    QString shown;
    QTimer closer;  // answers the box once it is up
    QObject::connect(&closer, &QTimer::timeout, [&] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(top);
            if (box && box->isVisible()) {
                shown = box->windowTitle() + "|" + box->text();
                box->accept();
            }
        }
    });
    closer.start(10);
    QAction* about = w.findChild<QAction*>("actionAbout");
    QVERIFY(about);
    about->trigger();
    QCOMPARE(shown, "About Vantrel|" + text);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
