// SPDX-License-Identifier: MIT
// The "Plan outputs" dialog with real widgets over the simulated adapter: what the table shows,
// the register writes that Apply sends and what the window shows afterwards, and bad input.

#include "app/plandialog.h"
#include "frequency/chiprules.h"
#include "windowfixture.h"

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include <memory>

namespace {
using Writes = std::vector<std::pair<int, int>>;

// The expected chip after a plan: the image as it was with the planned fields set through the
// register fields, independently of the planner's own applyPlan.
struct Expected {
    int pTotal;
    int qTotal;
    int pump;
    bool div1FromReference;
    int div1N;
    int lclk1Route;
    bool driven = false;  // CAPLOAD 0
};

RegisterImage plannedImage(RegisterImage image, const Expected& e) {
    Field::setPo(image, e.pTotal % 2 == 1);
    Field::setPb(image, (e.pTotal - (e.pTotal % 2)) / 2 - 4);
    Field::setQCounter(image, e.qTotal - 2);
    Field::setChargePump(image, e.pump);
    Field::setDiv1FromReference(image, e.div1FromReference);
    Field::setDiv1N(image, e.div1N);
    Field::setCrosspointCode(image, 0, e.lclk1Route);
    Field::setOutputEnables(image, 0x01);
    if (e.driven)
        image[Reg::CapLoad] = 0;
    // The bits the register map fixes: 0x09 7-6 = 00, 0x12 7-5 = 001 and 2-0 = 000, 0x40 7-5 = 110,
    // 0x46 5-0 = 111111.
    image[0x09] &= 0x3F;
    image[0x12] = quint8((image[0x12] & 0x18) | 0x20);
    image[0x40] = quint8((image[0x40] & 0x1F) | 0xC0);
    image[0x46] |= 0x3F;
    return image;
}

Writes safeOrderWrites(const RegisterImage& image) {
    Writes writes;
    for (quint8 address : SafeWriteOrder)
        writes.emplace_back(address, image[address]);
    return writes;
}

QStringList cellTexts(const QTableWidget* table, int row) {
    QStringList texts;
    for (int column = 0; column < table->columnCount(); ++column) {
        const QTableWidgetItem* item = table->item(row, column);
        texts << (item ? item->text() : QString());
    }
    return texts;
}

bool rowColoured(const QTableWidget* table, int row) {
    for (int column = 0; column < table->columnCount(); ++column) {
        const QTableWidgetItem* item = table->item(row, column);
        if (!item || item->background().color() != PlanDialog::missColour())
            return false;
    }
    return true;
}

bool rowUncoloured(const QTableWidget* table, int row) {
    for (int column = 0; column < table->columnCount(); ++column) {
        const QTableWidgetItem* item = table->item(row, column);
        if (item && item->background().style() != Qt::NoBrush)
            return false;
    }
    return true;
}

int messageBoxCount() {
    int count = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QMessageBox*>(w))
            ++count;
    return count;
}
}  // namespace

class TestPlanDialog : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void toolsMenuFollowsFileAndUsb();
    void planShowsTable_data();
    void planShowsTable();
    void applyWritesInSafeOrderAndShowsPlan();
    void applyStopsAtFailedWrite();
    void applyWithoutAdapterWritesNothing();
    void toleranceMissIsColouredWithoutMessageBox();
    void badInput_data();
    void badInput();
    void changedWindowRefusesApply();
    void referenceKindSetsCapLoad_data();
    void referenceKindSetsCapLoad();
    void unusedOutputs_data();
    void unusedOutputs();
    void rowTexts_data();
    void rowTexts();

private:
    MainWindowForm& ui() { return fixture_->ui(); }
    Session& session() { return fixture_->session(); }
    QString status() { return ui().statusBar->currentMessage(); }
    PlanDialog* openDialog();
    void type(const QString& output, const QString& target);
    void press(const char* button);
    QTableWidget* table() { return dialog_->findChild<QTableWidget*>("twPlan"); }
    QString label(const char* name) { return dialog_->findChild<QLabel*>(name)->text(); }
    QPushButton* button(const char* name) { return dialog_->findChild<QPushButton*>(name); }

    std::unique_ptr<WindowFixture> fixture_;
    PlanDialog* dialog_ = nullptr;
};

void TestPlanDialog::init() {
    fixture_ = std::make_unique<WindowFixture>();
    fixture_->open();
    QVERIFY(session().adapter.handle != nullptr);  // the start-up scan opened the adapter
    dialog_ = openDialog();
    QVERIFY(dialog_);
}

void TestPlanDialog::cleanup() {
    dialog_ = nullptr;
    fixture_.reset();
}

PlanDialog* TestPlanDialog::openDialog() {
    fixture_->window->planOutputsAction()->trigger();
    PlanDialog* dialog = fixture_->window->planDialog();
    return dialog && dialog->isVisible() ? dialog : nullptr;
}

// As a user types: the text goes in through the keyboard, which also checks the output.
void TestPlanDialog::type(const QString& output, const QString& target) {
    QLineEdit* field = dialog_->findChild<QLineEdit*>("lePlan_" + output);
    QVERIFY(field);
    field->clear();
    QTest::keyClicks(field, target);
}

void TestPlanDialog::press(const char* name) {
    QPushButton* b = button(name);
    QVERIFY(b);
    QTest::mouseClick(b, Qt::LeftButton);
}

void TestPlanDialog::toolsMenuFollowsFileAndUsb() {
    const QList<QAction*> menus = ui().menuBar->actions();
    QCOMPARE(menus.size(), 5);  // File, USB, Edit, Tools, Help
    QCOMPARE(menus[0]->menu(), ui().menuFile);
    QCOMPARE(menus[1]->menu(), ui().menuUSB);
    QCOMPARE(menus[2]->menu()->objectName(), QString("menuEdit"));
    QCOMPARE(menus[4]->menu()->objectName(), QString("menuHelp"));
    QMenu* tools = menus[3]->menu();
    QVERIFY(tools);
    QCOMPARE(tools->objectName(), QString("menuTools"));
    QCOMPARE(tools->title(), QString("&Tools"));
    QCOMPARE(tools->actions().value(0), fixture_->window->planOutputsAction());
    QVERIFY(tools->actions().contains(fixture_->window->chipCommands().logAction()));
    QCOMPARE(tools->actions()[0]->text(), QString("&Plan outputs..."));
    // Opening the dialog writes nothing and asks nothing.
    QVERIFY(fixture_->usb->transfers().empty());
    QCOMPARE(dialog_->windowModality(), Qt::WindowModal);
}

// A 25 MHz LCLK1 from the window's reference: the best plans have no error, the highest PLL
// frequency among them is 400 MHz at the lowest Q (2), and LCLK1 takes it through DIV1 / 16, the
// first bank among equals. P = 400 MHz * Q / reference; PB = P / 2 - 4; P up to 44 needs pump 0,
// up to 479 pump 1.
// The industrial grade's PLL ends at 333.33 MHz: the highest multiple of 25 MHz below is 325 MHz,
// P 65 (odd: PO 1, PB 28) at Q 2, and DIV1N 13.
void TestPlanDialog::planShowsTable_data() {
    QTest::addColumn<int>("reference");
    QTest::addColumn<int>("grade");  // the index of the grade box
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("div1N");
    QTest::addColumn<QString>("pll");
    QTest::newRow("10 MHz reference")
        << 10000000 << 0 << "25M" << 16 << "PLL: 400 MHz, P 80 (PB 36, PO 0), Q 2, pump 1";
    QTest::newRow("20 MHz reference, in hertz")
        << 20000000 << 0 << " 25000000 " << 16 << "PLL: 400 MHz, P 40 (PB 16, PO 0), Q 2, pump 0";
    QTest::newRow("k suffix") << 10000000 << 0 << "25000k" << 16
                              << "PLL: 400 MHz, P 80 (PB 36, PO 0), Q 2, pump 1";
    QTest::newRow("industrial grade")
        << 10000000 << 1 << "25M" << 13 << "PLL: 325 MHz, P 65 (PB 28, PO 1), Q 2, pump 1";
}

void TestPlanDialog::planShowsTable() {
    QFETCH(int, reference);
    QFETCH(int, grade);
    QFETCH(QString, target);
    QFETCH(int, div1N);
    QFETCH(QString, pll);
    ui().sbFreference->setValue(reference);
    fixture_->usb->resetTransfers();
    dialog_ = openDialog();
    QVERIFY(dialog_);
    QCOMPARE(label("lbPlanReference"), QString("%1 MHz (the window's)").arg(reference / 1000000));
    dialog_->findChild<QComboBox*>("cbPlanGrade")->setCurrentIndex(grade);
    type("LCLK1", target);
    QVERIFY(dialog_->findChild<QCheckBox*>("cbPlan_LCLK1")->isChecked());
    QVERIFY(!button("pbPlanApply")->isEnabled());
    press("pbPlan");

    QCOMPARE(cellTexts(table(), 0),
             (QStringList{"LCLK1", "25 MHz", "25 MHz", "+0.000 Hz", "+0.000 ppm",
                          QString("DIV1CLK/DIV1N (PLL, DIV1N %1)").arg(div1N)}));
    // The chip started with every output disabled; the others stay so.
    const QStringList others = {"LCLK2", "LCLK3", "LCLK4", "CLK5", "CLK6"};
    for (int row = 1; row < OutputCount; ++row)
        QCOMPARE(cellTexts(table(), row),
                 (QStringList{others[row - 1], "-", "off", "", "", "off"}));
    QCOMPARE(label("lbPlanPll"), pll);
    QCOMPARE(label("lbPlanBanks"), QString("DIV1: PLL / %1; DIV2: not used").arg(div1N));
    // No tolerance was typed: the summary claims none.
    QVERIFY2(label("lbPlanMessage").startsWith("Worst error 0.000 ppm on LCLK1; "),
             qPrintable(label("lbPlanMessage")));
    QVERIFY(label("lbPlanMessage").endsWith(" PLL settings examined."));
    for (int row = 0; row < OutputCount; ++row)
        QVERIFY(rowUncoloured(table(), row));
    QVERIFY(button("pbPlanApply")->isEnabled());
    QVERIFY(fixture_->usb->transfers().empty());  // planning writes nothing

    // A changed field makes the shown plan one that may not be applied any more.
    type("LCLK2", "48M");
    QVERIFY(!button("pbPlanApply")->isEnabled());
}

void TestPlanDialog::applyWritesInSafeOrderAndShowsPlan() {
    const RegisterImage before = session().image;
    type("LCLK1", "25M");
    press("pbPlan");
    press("pbPlanApply");

    const RegisterImage expected = plannedImage(before, {80, 2, 1, false, 16, 1});
    QCOMPARE(fixture_->writes(), safeOrderWrites(expected));  // each register once, 0x09 last
    QVERIFY(session().image.bytes == expected.bytes);
    for (int address = 0; address < RegisterImage::Size; ++address)
        QCOMPARE(int(fixture_->chip->registerValue(address)),
                 int(SafeWriteOrder.end() !=
                             std::find(SafeWriteOrder.begin(), SafeWriteOrder.end(), address)
                         ? expected[address]
                         : before[address]));

    // The window shows the plan as after a file load: the grid rows in grid order, the diagram
    // and the frequencies.
    const std::array<int, 11> gridOrder = {0x09, 0x0C, 0x12, 0x13, 0x40, 0x41,
                                           0x42, 0x44, 0x45, 0x46, 0x47};
    for (int row = 0; row < 11; ++row)
        QCOMPARE(
            fixture_->window->findChild<QLineEdit*>(QString::asprintf("leVal%02d", row))->text(),
            QString::asprintf("0x%02X", expected[gridOrder[std::size_t(row)]]));
    QCOMPARE(ui().cbMatrix_LCLK1->currentIndex(), 1);
    QCOMPARE(ui().sbDIV1N->value(), 16);
    QVERIFY(ui().rbDIV1CLK_PLL->isChecked());
    QCOMPARE(ui().sbPB->value(), 36);
    QCOMPARE(ui().sbQCounter->value(), 0);
    QCOMPARE(ui().sbChargePump->value(), 1);
    QCOMPARE(ui().lePLL->text(), QString("400000000.00000 Hz"));
    QCOMPARE(ui().leLCLK1->text(), QString("25000000.00000 Hz"));
    QCOMPARE(status(), QString("Info: The plan was written to the chip."));
    QCOMPARE(label("lbPlanMessage"), status());
    QCOMPARE(messageBoxCount(), 0);

    // Applied once: a second Apply needs a new Plan.
    QVERIFY(!button("pbPlanApply")->isEnabled());
    fixture_->usb->resetTransfers();
    press("pbPlanApply");
    QVERIFY(fixture_->usb->transfers().empty());
}

// Each register is a write and a status query; the write of 0x40, the fourth register, fails.
// The rest, the enables above all, stay unwritten; the image keeps the plan, as after any failed
// write.
void TestPlanDialog::applyStopsAtFailedWrite() {
    const RegisterImage before = session().image;
    type("LCLK1", "25M");
    press("pbPlan");
    fixture_->usb->injectFault(6, SimFault::failure(-1, "simulated failure"));
    press("pbPlanApply");
    const RegisterImage expected = plannedImage(before, {80, 2, 1, false, 16, 1});
    Writes firstThree = safeOrderWrites(expected);
    firstThree.resize(3);
    QCOMPARE(fixture_->writes(), firstThree);
    // Three writes with their status queries, then the failed write of 0x40, the end of the
    // transaction it began (request 6 with no data), and nothing after.
    QCOMPARE(int(fixture_->usb->transfers().size()), 8);
    QCOMPARE(int(fixture_->usb->transfers()[6].request), 7);
    QCOMPARE(int(fixture_->usb->transfers()[7].request), 6);
    QCOMPARE(int(fixture_->usb->transfers()[7].length), 0);
    QCOMPARE(int(fixture_->chip->registerValue(Reg::ClockOutputEnable)),
             int(before[Reg::ClockOutputEnable]));
    QVERIFY(status().startsWith("Error: "));
    QVERIFY(status().contains("simulated failure"));
    QCOMPARE(label("lbPlanMessage"), status());
    QVERIFY(session().image.bytes == expected.bytes);
    QCOMPARE(messageBoxCount(), 0);
}

void TestPlanDialog::applyWithoutAdapterWritesNothing() {
    fixture_ = std::make_unique<WindowFixture>(WindowFixture::Start::WithoutAdapter);
    fixture_->open();
    dialog_ = openDialog();
    QVERIFY(dialog_);
    const RegisterImage before = session().image;
    type("LCLK1", "25M");
    press("pbPlan");
    press("pbPlanApply");
    QVERIFY(fixture_->usb->transfers().empty());
    QVERIFY(session().image.bytes == plannedImage(before, {80, 2, 1, false, 16, 1}).bytes);
    QCOMPARE(status(), QString("Info: The plan is in the registers shown; no adapter is open, so "
                               "nothing was written."));
}

// 14.31818 MHz from a 10 MHz reference is 1.431818 times it, a ratio whose reduced denominator is
// 500000: no P / (Q * DIVxN) of the chip gives it within a thousandth of a ppm. 2.5 MHz is the
// reference through DIV2 / 4, exact, and leaves DIV1 to LCLK1.
void TestPlanDialog::toleranceMissIsColouredWithoutMessageBox() {
    type("LCLK1", "14.31818M");
    type("LCLK2", "2.5M");
    dialog_->findChild<QLineEdit*>("lePlanTolerance")->setText("0.001");
    press("pbPlan");
    QVERIFY(rowColoured(table(), 0));
    QVERIFY(rowUncoloured(table(), 1));
    QCOMPARE(table()->item(1, 4)->text(), QString("+0.000 ppm"));
    QVERIFY(label("lbPlanMessage").contains("on LCLK1, misses the tolerance;"));
    QCOMPARE(messageBoxCount(), 0);
    QCOMPARE(QApplication::activeModalWidget(), dialog_);  // nothing modal above the dialog
    // The plan may still be applied: the user has seen how far it is off.
    QVERIFY(button("pbPlanApply")->isEnabled());
    QVERIFY(fixture_->usb->transfers().empty());
}

void TestPlanDialog::badInput_data() {
    QTest::addColumn<QStringList>("targets");  // "OUTPUT=TEXT", typed in order
    QTest::addColumn<QStringList>("unchecked");
    QTest::addColumn<QString>("tolerance");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("reference");  // the window's
    QTest::addColumn<int>("supply");     // the index of the LCLK supply box: 1 is 2.5 V
    QTest::addColumn<int>("kind");       // the index of the reference box: 1 is a driven clock
    QTest::newRow("not a number")
        << QStringList{"LCLK1=25M", "LCLK3=abc"} << QStringList() << ""
        << "Error: the target \"abc\" of LCLK3 is not a frequency in Hz (a k or M suffix may "
           "follow the number)."
        << 10000000 << 0 << 0;
    QTest::newRow("unit word") << QStringList{"CLK6=25 MHz"} << QStringList() << ""
                               << "Error: the target \"25 MHz\" of CLK6 is not a frequency in Hz "
                                  "(a k or M suffix may follow the number)."
                               << 10000000 << 0 << 0;
    QTest::newRow("zero") << QStringList{"LCLK2=0"} << QStringList() << ""
                          << "Error: the target \"0\" of LCLK2 is not a frequency in Hz (a k or "
                             "M suffix may follow the number)."
                          << 10000000 << 0 << 0;
    QTest::newRow("no output checked") << QStringList{"LCLK1=25M"} << QStringList{"LCLK1"} << ""
                                       << "Error: no output is checked: check the outputs to "
                                          "plan."
                                       << 10000000 << 0 << 0;
    QTest::newRow("nothing typed")
        << QStringList() << QStringList() << ""
        << "Error: no output is checked: check the outputs to plan." << 10000000 << 0 << 0;
    QTest::newRow("checked without target")
        << QStringList{"LCLK4="} << QStringList() << ""
        << "Error: LCLK4 is checked but has no target." << 10000000 << 0 << 0;
    QTest::newRow("negative tolerance")
        << QStringList{"LCLK1=25M"} << QStringList() << "-1"
        << "Error: the tolerance \"-1\" is not a number of ppm from 0 up." << 10000000 << 0 << 0;
    QTest::newRow("tolerance with a unit")
        << QStringList{"LCLK1=25M"} << QStringList() << "5ppm"
        << "Error: the tolerance \"5ppm\" is not a number of ppm from 0 up." << 10000000 << 0 << 0;
    QTest::newRow("beyond the outputs")
        << QStringList{"LCLK1=250M"} << QStringList() << ""
        << "Error: the target 250 MHz of LCLK1 is outside 80 kHz..200 MHz, what it can give."
        << 10000000 << 0 << 0;
    QTest::newRow("beyond LCLK on 2.5 V")
        << QStringList{"LCLK2=180M"} << QStringList() << ""
        << "Error: the target 180 MHz of LCLK2 is outside 80 kHz..166.6 MHz, what it can give."
        << 10000000 << 1 << 0;
    QTest::newRow("reference below a crystal's")
        << QStringList{"LCLK1=25M"} << QStringList() << ""
        << "Error: the reference must be whole hertz within 8 MHz..30 MHz for a crystal." << 5000000
        << 0 << 0;
    QTest::newRow("reference above a driven clock's")
        << QStringList{"LCLK1=25M"} << QStringList() << ""
        << "Error: the reference must be whole hertz within 1 MHz..133 MHz for a driven clock."
        << 150000000 << 0 << 1;
}

void TestPlanDialog::badInput() {
    QFETCH(QStringList, targets);
    QFETCH(QStringList, unchecked);
    QFETCH(QString, tolerance);
    QFETCH(QString, error);
    QFETCH(int, reference);
    QFETCH(int, supply);
    QFETCH(int, kind);
    const RegisterImage before = session().image;
    // A good plan first: bad input must take it away, not leave it to be applied.
    type("CLK5", "10M");
    press("pbPlan");
    QVERIFY(button("pbPlanApply")->isEnabled());
    dialog_->findChild<QCheckBox*>("cbPlan_CLK5")->setChecked(false);

    ui().sbFreference->setValue(reference);
    dialog_->findChild<QComboBox*>("cbPlanSupply")->setCurrentIndex(supply);
    dialog_->findChild<QComboBox*>("cbPlanReference")->setCurrentIndex(kind);

    for (const QString& entry : targets) {
        const QStringList parts = entry.split('=');
        type(parts[0], parts[1]);
        dialog_->findChild<QCheckBox*>("cbPlan_" + parts[0])->setChecked(true);
    }
    for (const QString& output : unchecked)
        dialog_->findChild<QCheckBox*>("cbPlan_" + output)->setChecked(false);
    dialog_->findChild<QLineEdit*>("lePlanTolerance")->setText(tolerance);
    press("pbPlan");

    QCOMPARE(label("lbPlanMessage"), error);
    QVERIFY(label("lbPlanPll").isEmpty());
    for (int row = 0; row < OutputCount; ++row)
        QCOMPARE(table()->item(row, 1), nullptr);
    QVERIFY(!button("pbPlanApply")->isEnabled());
    press("pbPlanApply");
    QVERIFY(fixture_->usb->transfers().empty());
    QVERIFY(session().image.bytes == before.bytes);
    QCOMPARE(messageBoxCount(), 0);
}

// The plan was made for what the window held; once that changed, Apply refuses it.
void TestPlanDialog::changedWindowRefusesApply() {
    type("LCLK1", "25M");
    press("pbPlan");
    session().image[Reg::CapLoad] = 0x41;  // as an edit in the window would leave it
    fixture_->usb->resetTransfers();
    const RegisterImage before = session().image;
    press("pbPlanApply");
    QCOMPARE(label("lbPlanMessage"),
             QString("Error: the window's registers or reference changed since the plan; press "
                     "Plan again."));
    QVERIFY(fixture_->usb->transfers().empty());
    QVERIFY(session().image.bytes == before.bytes);
    QVERIFY(!button("pbPlanApply")->isEnabled());
}

// A driven reference picked in the dialog gets CAPLOAD 0, a crystal keeps it: the applied plan is
// clean under the chip's rules for the dialog's board.
void TestPlanDialog::referenceKindSetsCapLoad_data() {
    QTest::addColumn<int>("kind");  // the index of the reference box
    QTest::addColumn<bool>("driven");
    QTest::newRow("crystal") << 0 << false;
    QTest::newRow("driven clock") << 1 << true;
}

void TestPlanDialog::referenceKindSetsCapLoad() {
    QFETCH(int, kind);
    QFETCH(bool, driven);
    const RegisterImage before = session().image;
    QCOMPARE(int(before[Reg::CapLoad]), 0x40);
    dialog_->findChild<QComboBox*>("cbPlanReference")->setCurrentIndex(kind);
    type("LCLK1", "25M");
    press("pbPlan");
    press("pbPlanApply");
    Expected e{80, 2, 1, false, 16, 1};
    e.driven = driven;
    const RegisterImage expected = plannedImage(before, e);
    QCOMPARE(fixture_->writes(), safeOrderWrites(expected));
    QCOMPARE(int(fixture_->chip->registerValue(Reg::CapLoad)), driven ? 0 : 0x40);
    const BoardFacts board{PartGrade::Commercial, LclkSupply::V3_3,
                           driven ? ReferenceKind::DrivenClock : ReferenceKind::Crystal};
    QStringList findings;
    for (const Finding& f : checkChipRules(session().image, session().fRef, board))
        findings << findingLine(f);
    QVERIFY2(findings.isEmpty(), qPrintable(findings.join('\n')));
}

// LCLK2 runs from the reference (crosspoint code 0) when the dialog opens. Not planned, it is held
// at its frequency and shown so, or with "Disable unused outputs" it is switched off, and Apply
// writes the enables so.
void TestPlanDialog::unusedOutputs_data() {
    QTest::addColumn<bool>("disable");
    QTest::addColumn<QStringList>("lclk2");
    QTest::addColumn<int>("enables");
    QTest::newRow("held") << false << QStringList{"LCLK2",     "10 MHz (held)", "10 MHz",
                                                  "+0.000 Hz", "+0.000 ppm",    "F ref"}
                          << 0x03;
    QTest::newRow("disabled") << true << QStringList{"LCLK2", "-", "off", "", "", "off"} << 0x01;
}

void TestPlanDialog::unusedOutputs() {
    QFETCH(bool, disable);
    QFETCH(QStringList, lclk2);
    QFETCH(int, enables);
    Field::setOutputEnables(session().image, 0x02);
    Field::setCrosspointCode(session().image, 1, 0);
    fixture_->views().refreshGrid();
    fixture_->views().refreshDiagram();
    fixture_->usb->resetTransfers();

    type("LCLK1", "25M");
    if (disable)
        QTest::mouseClick(dialog_->findChild<QCheckBox*>("cbPlanDisableUnused"), Qt::LeftButton);
    QCOMPARE(dialog_->findChild<QCheckBox*>("cbPlanDisableUnused")->isChecked(), disable);
    press("pbPlan");
    QCOMPARE(cellTexts(table(), 1), lclk2);
    press("pbPlanApply");
    QCOMPARE(fixture_->writes().back(), (std::pair<int, int>(Reg::ClockOutputEnable, enables)));
    QCOMPARE(int(fixture_->chip->registerValue(Reg::ClockOutputEnable)), enables);
}

// The table's texts for plans the search would rarely give: a bank fed by the reference, the
// fixed dividers, an output that is kept but not planned, a missed tolerance.
void TestPlanDialog::rowTexts_data() {
    QTest::addColumn<int>("route");
    QTest::addColumn<bool>("requested");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("within");
    QTest::addColumn<bool>("held");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("reference") << 0 << true << true << true << false
                               << QStringList{"CLK5",      "10 MHz",     "10 MHz",
                                              "+0.000 Hz", "+0.000 ppm", "F ref"};
    QTest::newRow("DIV2 from the reference")
        << 4 << true << true << true << false
        << QStringList{"CLK5",      "10 MHz",     "10 MHz",
                       "+0.000 Hz", "+0.000 ppm", "DIV2CLK/DIV2N (reference, DIV2N 12)"};
    QTest::newRow("DIV1 / 3") << 3 << true << true << false << false
                              << QStringList{"CLK5",      "10 MHz",     "10.0000025 MHz",
                                             "+2.500 Hz", "+0.250 ppm", "DIV1CLK/3 (PLL)"};
    QTest::newRow("kept, not planned")
        << 6 << false << true << true << false
        << QStringList{"CLK5", "-", "10 MHz", "", "", "DIV2CLK/4 (reference)"};
    QTest::newRow("held, off by 0.25 ppm")
        << 1 << true << true << false << true
        << QStringList{"CLK5",      "10 MHz (held)", "10.0000025 MHz",
                       "+2.500 Hz", "+0.250 ppm",    "DIV1CLK/DIV1N (PLL, DIV1N 6)"};
    QTest::newRow("disabled") << 2 << false << false << true << false
                              << QStringList{"CLK5", "-", "off", "", "", "off"};
}

void TestPlanDialog::rowTexts() {
    QFETCH(int, route);
    QFETCH(bool, requested);
    QFETCH(bool, enabled);
    QFETCH(bool, within);
    QFETCH(bool, held);
    QFETCH(QStringList, texts);
    Plan plan;
    plan.found = true;
    plan.div1 = {true, false, 6};
    plan.div2 = {true, true, 12};
    PlannedOutput& o = plan.outputs[4];
    o.requested = requested;
    o.enabled = enabled;
    o.route = route;
    o.targetHz = 10e6;
    o.hz = within ? 10e6 : 10e6 + 2.5;
    o.errorHz = o.hz - o.targetHz;
    o.errorPpm = o.errorHz / o.targetHz * 1e6;
    o.withinTolerance = within;
    o.held = held;
    const PlanRowTexts row = planRows(plan)[4];
    QCOMPARE(
        (QStringList{row.output, row.target, row.achieved, row.errorHz, row.errorPpm, row.route}),
        texts);
    QCOMPARE(row.missesTolerance, requested && !within);
}

QTEST_MAIN(TestPlanDialog)
#include "tst_plandialog.moc"
