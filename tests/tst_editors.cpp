// SPDX-License-Identifier: MIT
#include "windowfixture.h"

#include <QAbstractItemView>
#include <QtTest>

#include <initializer_list>

namespace {
const std::vector<int> GridOrder = {0x09, 0x0C, 0x12, 0x13, 0x40, 0x41,
                                    0x42, 0x44, 0x45, 0x46, 0x47};

std::vector<int> concat(std::initializer_list<std::vector<int>> parts) {
    std::vector<int> all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Puts bytes into the image and shows them everywhere, as a load would; the chip gets them too
// through the grid refresh. The transfer log starts empty afterwards.
void setImage(WindowFixture& f, std::initializer_list<std::pair<int, int>> bytes) {
    for (auto [address, value] : bytes)
        f.session().image[address] = quint8(value);
    f.views().refreshGrid();
    f.views().refreshDiagram();
    f.usb->resetTransfers();
}

QString fieldText(WindowFixture& f, int row) {
    return f.window->findChild<QLineEdit*>(QString::asprintf("leVal%02d", row))->text();
}

void clickCheckBox(QAbstractButton* box) {
    QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
}
}  // namespace

// The grid and the block diagram, driven through their widgets with the simulated adapter open.
class TestEditors : public QObject {
    Q_OBJECT

private slots:
    void gridTickWritesOnlyThatRegister();
    void gridTickFailureStaysInStatusBar();
    void gridShowsImageAndBitsAgree_data();
    void gridShowsImageAndBitsAgree();
    void gridRefreshGoesOnAfterFailedWrite();
    void fixedBitsToggleLikeAnyOther();
    void toggleRestoresOlderGridValueAfterSkippedRefresh();
    void divSourceRadioButtons_data();
    void divSourceRadioButtons();
    void poCheckBox();
    void outputButtonKeepsTopBits();
    void matrixSelection_data();
    void matrixSelection();
    void matrixStopsAtFirstFailedWrite();
    void spinBoxes_data();
    void spinBoxes();
    void spinChangeRewritesAllSevenFields();
    void referenceSpinBoxSetsFRef();
    void diagramShowsChipAfterRead();
};

void TestEditors::gridTickWritesOnlyThatRegister() {
    WindowFixture f;
    MainWindow& w = f.open();
    w.show();
    setImage(f, {{0x09, 0x00}});
    QCheckBox* clk6 = f.ui().cb005;
    QCOMPARE(f.ui().lb005->text(), QString("CLK6"));
    clickCheckBox(clk6);
    QVERIFY(clk6->isChecked());
    QCOMPARE(int(f.session().image[0x09]), 0x20);
    QCOMPARE(fieldText(f, 0), QString("0x20"));
    QCOMPARE(f.writes(), (std::vector<std::pair<int, int>>{{0x09, 0x20}}));
    QCOMPARE(int(f.chip->registerValue(0x09)), 0x20);
    QVERIFY(f.ui().pbCLK6->isChecked());
    QVERIFY(!f.ui().pbCLK5->isChecked());
}

void TestEditors::gridTickFailureStaysInStatusBar() {
    WindowFixture f;
    MainWindow& w = f.open();
    w.show();
    setImage(f, {{0x09, 0x00}});
    // Transfer 1 is the status query after the write of 0x09: the chip does not acknowledge.
    f.usb->injectFault(1, SimFault::answer(2));
    clickCheckBox(f.ui().cb005);
    QCOMPARE(f.writes(), (std::vector<std::pair<int, int>>{{0x09, 0x20}}));
    // The diagram refresh after the write clears the bar; the error is shown again after it, in
    // words of its own: the USB library saw no error in a transfer that went through.
    QCOMPARE(f.ui().statusBar->currentMessage(),
             QString("Error: the chip at I2C address 0x69 did not acknowledge"));
    QCOMPARE(int(f.session().image[0x09]), 0x20);
    QVERIFY(f.ui().pbCLK6->isChecked());

    // The next tick's write goes through: the earlier error does not come back.
    f.usb->resetTransfers();
    clickCheckBox(f.ui().cb004);
    QCOMPARE(f.writes(), (std::vector<std::pair<int, int>>{{0x09, 0x30}}));
    QVERIFY(!f.ui().statusBar->currentMessage().startsWith("Error: "));
}

void TestEditors::gridShowsImageAndBitsAgree_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("upper-case digits") << 5 << 0x41 << 0xAB << "0xAB";
    QTest::newRow("leading zero") << 7 << 0x44 << 0x05 << "0x05";
    QTest::newRow("all ones") << 10 << 0x47 << 0xFF << "0xFF";
    QTest::newRow("zero") << 3 << 0x13 << 0x00 << "0x00";
}

void TestEditors::gridShowsImageAndBitsAgree() {
    QFETCH(int, row);
    QFETCH(int, address);
    QFETCH(int, value);
    QFETCH(QString, text);
    WindowFixture f;
    f.open();
    f.session().image[address] = quint8(value);
    f.views().refreshGrid();
    QCOMPARE(fieldText(f, row), text);
    for (int bit = 0; bit < 8; ++bit) {
        auto* box = f.window->findChild<QCheckBox*>(QString::asprintf("cb%02d%d", row, bit));
        QCOMPARE(box->isChecked(), bool((value >> bit) & 1));
    }
    // A grid refresh writes all eleven shown registers in grid order, changed or not.
    QCOMPARE(f.writtenRegisters(), GridOrder);
    QCOMPARE(int(f.chip->registerValue(address)), value);
}

void TestEditors::gridRefreshGoesOnAfterFailedWrite() {
    WindowFixture f;
    f.open();
    f.session().image[0x13] = 0x5A;
    // Transfers 0..5 are the writes of 0x09, 0x0C and 0x12 with their status queries; 0x12's
    // status answers "not acknowledged".
    f.usb->injectFault(5, SimFault::answer(2));
    f.views().refreshGrid();
    QCOMPARE(f.writtenRegisters(), GridOrder);
    QVERIFY(f.ui().statusBar->currentMessage().startsWith("Error: "));
    QCOMPARE(fieldText(f, 3), QString("0x5A"));
    QCOMPARE(int(f.chip->registerValue(0x13)), 0x5A);
}

void TestEditors::fixedBitsToggleLikeAnyOther() {
    WindowFixture f;
    MainWindow& w = f.open();
    w.show();
    setImage(f, {{0x46, 0x3F}});
    QCOMPARE(f.ui().lb090->text(), QString("1"));
    clickCheckBox(f.ui().cb090);
    QCOMPARE(int(f.session().image[0x46]), 0x3E);
    QCOMPARE(f.writes(), (std::vector<std::pair<int, int>>{{0x46, 0x3E}}));
}

// The matrix handler skips its grid refresh after a failed write; the next toggle rebuilds every
// byte from the boxes, so the grid's older value returns to the image without a write.
void TestEditors::toggleRestoresOlderGridValueAfterSkippedRefresh() {
    WindowFixture f;
    MainWindow& w = f.open();
    w.show();
    setImage(f, {{0x44, 0x00}, {0x45, 0x00}, {0x46, 0x3F}});
    f.usb->injectFault(0, SimFault::failure(-1, "Input/Output Error"));
    f.ui().cbMatrix_LCLK1->setCurrentIndex(6);
    QCOMPARE(int(f.session().image[0x44]), 0xC0);
    f.usb->resetTransfers();
    clickCheckBox(f.ui().cb000);
    QCOMPARE(int(f.session().image[0x44]), 0x00);
    QCOMPARE(f.writtenRegisters(), std::vector<int>{0x09});
}

void TestEditors::divSourceRadioButtons_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    QTest::newRow("DIV1 from reference") << "rbDIV1CLK_ref" << 0x0C << 0x08 << 0x88;
    QTest::newRow("DIV1 from PLL") << "rbDIV1CLK_PLL" << 0x0C << 0x88 << 0x08;
    QTest::newRow("DIV2 from reference") << "rbDIV2CLK_ref" << 0x47 << 0x7F << 0xFF;
    QTest::newRow("DIV2 from PLL") << "rbDIV2CLK_PLL" << 0x47 << 0x85 << 0x05;
    QTest::newRow("selected one clicked again") << "rbDIV1CLK_PLL" << 0x0C << 0x11 << 0x11;
}

void TestEditors::divSourceRadioButtons() {
    QFETCH(QString, button);
    QFETCH(int, address);
    QFETCH(int, before);
    QFETCH(int, after);
    WindowFixture f;
    MainWindow& w = f.open();
    w.show();
    setImage(f, {{address, before}});
    auto* radio = w.findChild<QRadioButton*>(button);
    clickCheckBox(radio);
    QVERIFY(radio->isChecked());
    QCOMPARE(int(f.session().image[address]), after);
    // Written twice: inside the grid refresh, then alone.
    QCOMPARE(f.writtenRegisters(), concat({GridOrder, {address}}));
    QCOMPARE(int(f.chip->registerValue(address)), after);
}

void TestEditors::poCheckBox() {
    WindowFixture f;
    MainWindow& w = f.open();
    w.show();
    setImage(f, {{0x42, 0x05}});
    clickCheckBox(f.ui().cbPO);
    QCOMPARE(int(f.session().image[0x42]), 0x85);
    QCOMPARE(f.writtenRegisters(), concat({GridOrder, {0x42}}));
    QVERIFY(f.ui().cb067->isChecked());
    clickCheckBox(f.ui().cbPO);
    QCOMPARE(int(f.session().image[0x42]), 0x05);
}

void TestEditors::outputButtonKeepsTopBits() {
    WindowFixture f;
    MainWindow& w = f.open();
    w.show();
    setImage(f, {{0x09, 0xC1}});
    QVERIFY(f.ui().pbLCLK1->isChecked());
    clickCheckBox(f.ui().pbCLK5);
    QCOMPARE(int(f.session().image[0x09]), 0xD1);
    QCOMPARE(f.writtenRegisters(), concat({GridOrder, {0x09}}));
    QCOMPARE(fieldText(f, 0), QString("0xD1"));
    clickCheckBox(f.ui().pbLCLK1);
    QCOMPARE(int(f.session().image[0x09]), 0xD0);
}

void TestEditors::matrixSelection_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("index");
    QTest::addColumn<QList<int>>("before");
    QTest::addColumn<QList<int>>("after");
    QTest::newRow("LCLK1 DIV2CLK/4")
        << "cbMatrix_LCLK1" << 6 << QList<int>{0x00, 0x00, 0x3F} << QList<int>{0xC0, 0x00, 0x3F};
    QTest::newRow("CLK6 UNDEFINED!")
        << "cbMatrix_CLK6" << 7 << QList<int>{0x00, 0x00, 0x15} << QList<int>{0x00, 0x01, 0xD5};
    QTest::newRow("LCLK3 across 0x44/0x45")
        << "cbMatrix_LCLK3" << 5 << QList<int>{0xFC, 0x7F, 0xFF} << QList<int>{0xFE, 0xFF, 0xFF};
}

void TestEditors::matrixSelection() {
    QFETCH(QString, box);
    QFETCH(int, index);
    QFETCH(QList<int>, before);
    QFETCH(QList<int>, after);
    WindowFixture f;
    MainWindow& w = f.open();
    w.show();
    setImage(f, {{0x44, before[0]}, {0x45, before[1]}, {0x46, before[2]}});
    auto* combo = w.findChild<QComboBox*>(box);
    // Pick the item in the open list, as a user does.
    combo->showPopup();
    QAbstractItemView* view = combo->view();
    const QRect item = view->visualRect(view->model()->index(index, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
    QCOMPARE(combo->currentIndex(), index);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(int(f.session().image[0x44 + i]), after[i]);
    QCOMPARE(f.writtenRegisters(), concat({{0x44, 0x45, 0x46}, GridOrder}));
    QCOMPARE(fieldText(f, 7), QString::asprintf("0x%02X", after[0]));
}

void TestEditors::matrixStopsAtFirstFailedWrite() {
    WindowFixture f;
    f.open();
    setImage(f, {{0x44, 0x00}, {0x45, 0x00}, {0x46, 0x3F}});
    // Transfer 2 is the write of 0x45 (0x44 took transfers 0 and 1).
    f.usb->injectFault(2, SimFault::noData());
    f.ui().cbMatrix_CLK5->setCurrentIndex(3);
    // 0x44 and its status query, then the write of 0x45 that moved nothing and the end of the
    // transaction it may have left open (request 6 without data); nothing after it.
    QCOMPARE(f.writtenRegisters(), std::vector<int>{0x44});
    QCOMPARE(int(f.usb->transfers().size()), 4);
    QCOMPARE(int(f.usb->transfers()[2].request), 7);
    QCOMPARE(int(f.usb->transfers()[3].request), 6);
    QCOMPARE(int(f.usb->transfers()[3].length), 0);
    QCOMPARE(int(f.session().image[0x45]), 0x06);
    QCOMPARE(fieldText(f, 8), QString("0x00"));  // grid not refreshed
    QVERIFY(f.ui().statusBar->currentMessage().startsWith("Error: "));
}

void TestEditors::spinBoxes_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("value");
    QTest::addColumn<QList<int>>("addresses");
    QTest::addColumn<QList<int>>("before");
    QTest::addColumn<QList<int>>("after");
    QTest::newRow("PB 1023") << "sbPB" << 1023 << QList<int>{0x40, 0x41} << QList<int>{0xC0, 0x00}
                             << QList<int>{0xC3, 0xFF};
    QTest::newRow("PB 256") << "sbPB" << 256 << QList<int>{0x40, 0x41} << QList<int>{0xE0, 0x00}
                            << QList<int>{0xE1, 0x00};
    QTest::newRow("Q keeps PO") << "sbQCounter" << 127 << QList<int>{0x42} << QList<int>{0x80}
                                << QList<int>{0xFF};
    QTest::newRow("DIV1N keeps source")
        << "sbDIV1N" << 100 << QList<int>{0x0C} << QList<int>{0x84} << QList<int>{0xE4};
    QTest::newRow("DIV2N") << "sbDIV2N" << 5 << QList<int>{0x47} << QList<int>{0x04}
                           << QList<int>{0x05};
    QTest::newRow("XDRV keeps others")
        << "sbXCOdrive" << 1 << QList<int>{0x12} << QList<int>{0xF7} << QList<int>{0xEF};
    QTest::newRow("CAPLOAD") << "sbCAPLOAD" << 255 << QList<int>{0x13} << QList<int>{0x40}
                             << QList<int>{0xFF};
    QTest::newRow("PUMP keeps PB")
        << "sbChargePump" << 5 << QList<int>{0x40} << QList<int>{0xC2} << QList<int>{0xD6};
}

void TestEditors::spinBoxes() {
    QFETCH(QString, box);
    QFETCH(int, value);
    QFETCH(QList<int>, addresses);
    QFETCH(QList<int>, before);
    QFETCH(QList<int>, after);
    WindowFixture f;
    MainWindow& w = f.open();
    w.show();
    std::initializer_list<std::pair<int, int>> none{};
    setImage(f, none);
    for (int i = 0; i < addresses.size(); ++i)
        f.session().image[addresses[i]] = quint8(before[i]);
    setImage(f, none);
    auto* spin = w.findChild<QSpinBox*>(box);
    spin->setFocus();
    spin->selectAll();
    QTest::keyClicks(spin, QString::number(value));
    QTest::keyClick(spin, Qt::Key_Return);
    QCOMPARE(spin->value(), value);
    for (int i = 0; i < addresses.size(); ++i)
        QCOMPARE(int(f.session().image[addresses[i]]), after[i]);
    // Each change: the grid, then the core seven registers.
    const std::vector<int> oneChange =
        concat({GridOrder, {0x0C, 0x12, 0x13, 0x40, 0x41, 0x42, 0x47}});
    const std::vector<int> written = f.writtenRegisters();
    QVERIFY(!written.empty());
    QCOMPARE(written.size() % oneChange.size(), std::size_t(0));
    QVERIFY(std::equal(oneChange.begin(), oneChange.end(), written.end() - oneChange.size()));
    for (int i = 0; i < addresses.size(); ++i)
        QCOMPARE(int(f.chip->registerValue(addresses[i])), after[i]);
}

void TestEditors::spinChangeRewritesAllSevenFields() {
    WindowFixture f;
    MainWindow& w = f.open();
    w.show();
    setImage(f, {{0x0C, 0x02}, {0x47, 0x81}});
    QCOMPARE(f.session().div1N, 2);
    QCOMPARE(f.ui().sbDIV1N->value(), 4);
    f.ui().sbQCounter->setFocus();
    QTest::keyClick(f.ui().sbQCounter, Qt::Key_Up);
    QCOMPARE(int(f.session().image[0x0C]), 0x04);
    QCOMPARE(int(f.session().image[0x47]), 0x84);
    QCOMPARE(f.session().div1N, 4);
    QCOMPARE(f.session().div2N, 4);
    QCOMPARE(int(f.session().image[0x42]), 0x01);
}

void TestEditors::referenceSpinBoxSetsFRef() {
    WindowFixture f;
    MainWindow& w = f.open();
    w.show();
    f.ui().sbFreference->setFocus();
    QTest::keyClick(f.ui().sbFreference, Qt::Key_Up);
    QCOMPARE(f.ui().sbFreference->value(), 10001000);
    QCOMPARE(f.session().fRef, 10001000.0);
    QVERIFY(f.usb->transfers().empty());
    f.ui().sbFreference->setValue(1);
    QCOMPARE(f.ui().sbFreference->value(), 1000000);
    f.ui().sbFreference->setValue(300000000);
    QCOMPARE(f.ui().sbFreference->value(), 200000000);
}

// After a device read every diagram control shows the chip's registers, and refreshing writes
// nothing of its own.
void TestEditors::diagramShowsChipAfterRead() {
    WindowFixture f(WindowFixture::Start::WithoutAdapter);
    f.chip->setRegisterValue(0x09, 0x2A);
    f.chip->setRegisterValue(0x0C, 0x85);
    f.chip->setRegisterValue(0x12, 0x18);
    f.chip->setRegisterValue(0x40, 0xD6);
    f.chip->setRegisterValue(0x41, 0x34);
    f.chip->setRegisterValue(0x42, 0x93);
    f.chip->setRegisterValue(0x44, 0x30);
    f.chip->setRegisterValue(0x45, 0x5E);
    f.chip->setRegisterValue(0x46, 0xBF);
    f.chip->setRegisterValue(0x47, 0x02);
    f.usb->plug(SimDevice::adapter(1, 4, f.chip));
    f.open();
    MainWindowForm& ui = f.ui();
    const bool pressed[] = {false, true, false, true, false, true};
    QPushButton* buttons[] = {ui.pbLCLK1, ui.pbLCLK2, ui.pbLCLK3, ui.pbLCLK4, ui.pbCLK5, ui.pbCLK6};
    for (int i = 0; i < 6; ++i)
        QCOMPARE(buttons[i]->isChecked(), pressed[i]);
    const int codes[] = {1, 4, 0, 5, 7, 2};
    QComboBox* boxes[] = {ui.cbMatrix_LCLK1, ui.cbMatrix_LCLK2, ui.cbMatrix_LCLK3,
                          ui.cbMatrix_LCLK4, ui.cbMatrix_CLK5,  ui.cbMatrix_CLK6};
    for (int i = 0; i < 6; ++i)
        QCOMPARE(boxes[i]->currentIndex(), codes[i]);
    QVERIFY(ui.rbDIV1CLK_ref->isChecked());
    QVERIFY(ui.rbDIV2CLK_PLL->isChecked());
    QCOMPARE(ui.sbDIV1N->value(), 5);
    QCOMPARE(ui.sbDIV2N->value(), 4);  // 2 is below the spin box's range
    QCOMPARE(f.session().div2N, 2);
    QCOMPARE(ui.sbXCOdrive->value(), 3);
    QCOMPARE(ui.sbChargePump->value(), 5);
    QCOMPARE(ui.sbPB->value(), 0x234);
    QCOMPARE(ui.sbQCounter->value(), 0x13);
    QVERIFY(ui.cbPO->isChecked());
    QCOMPARE(int(f.chip->registerValue(0x09)), 0x2A);
    f.views().refreshDiagram();
    QVERIFY(f.usb->transfers().empty());
}

QTEST_MAIN(TestEditors)
#include "tst_editors.moc"
