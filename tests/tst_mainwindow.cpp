// SPDX-License-Identifier: MIT
#include "windowfixture.h"

#include <QImageReader>
#include <QMetaMethod>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// QObject::receivers() is protected; a member pointer taken in a derived class reaches it legally.
struct ReceiverCount : QObject {
    static int of(const QObject* object, const char* signal) {
        return (object->*(&ReceiverCount::receivers))(signal);
    }
};
}  // namespace

// The window's lifecycle: slot table, start-up state, size, and the connection scheme that keeps
// refreshes from re-entering the editing slots.
class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void slotTable();
    void startupWithoutAdapter();
    void startupSizeAndTitle();
    void exactlyOneConnectionPerFamilyWidget();
    void oneHandlerRunAfterManyRefreshes_data();
    void oneHandlerRunAfterManyRefreshes();
    void updatingWidgetsSilencesEditingSlots_data();
    void updatingWidgetsSilencesEditingSlots();
    void closingWritesNothing_data();
    void closingWritesNothing();
    void windowIcon();
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

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
