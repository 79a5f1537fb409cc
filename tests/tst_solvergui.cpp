// SPDX-License-Identifier: MIT
// The solver and the frequency display driven through the real main window, with a simulated
// i2c-tiny-usb adapter and CY22150 behind it: what the user types and clicks, what the window
// shows and which registers reach the chip in which order.

#include "app/filecommands.h"
#include "cli/cli.h"
#include "files/registerfile.h"
#include "windowfixture.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

#include <map>
#include <memory>

namespace {
using Write = QPair<int, int>;  // register, value
using Writes = QList<Write>;
using Registers = std::map<int, int>;

constexpr int GridOrder[] = {0x09, 0x0C, 0x12, 0x13, 0x40, 0x41, 0x42, 0x44, 0x45, 0x46, 0x47};
constexpr int CoreOrder[] = {0x0C, 0x12, 0x13, 0x40, 0x41, 0x42, 0x47};

// The chip as the tests plug it in: the bits that the register map shows as fixed ones are set
// (0x12 bit 5, 0x40 bits 7..6, 0x46 bits 5..0), XDRV 2, everything else 0. Start-up then forces
// CAPLOAD to 0x40.
const Registers StartImage = {{0x09, 0x00}, {0x0C, 0x00}, {0x12, 0x30}, {0x13, 0x40},
                              {0x40, 0xC0}, {0x41, 0x00}, {0x42, 0x00}, {0x44, 0x00},
                              {0x45, 0x00}, {0x46, 0x3F}, {0x47, 0x00}};

Registers with(Registers r, const Registers& changes) {
    for (const auto& [reg, value] : changes)
        r[reg] = value;
    return r;
}

// The eleven registers of the grid refresh, in grid order.
Writes gridWrites(const Registers& r) {
    Writes w;
    for (int reg : GridOrder)
        w.append({reg, r.at(reg)});
    return w;
}

Writes coreWrites(const Registers& r) {
    Writes w;
    for (int reg : CoreOrder)
        w.append({reg, r.at(reg)});
    return w;
}

// The matrix handler writes its three registers, then refreshes the grid.
Writes matrixWrites(const Registers& r) {
    return Writes{{0x44, r.at(0x44)}, {0x45, r.at(0x45)}, {0x46, r.at(0x46)}} + gridWrites(r);
}

QColor background(const QLineEdit* field, QPalette::ColorGroup group = QPalette::Active) {
    return field->palette().color(group, field->backgroundRole());
}

const QColor Red(Qt::red);
const QColor Green(Qt::green);
const QColor White(Qt::white);
const QString LowWarning = "Warning: unstable LOW PLL frequency!";
const QString PumpBelow15 = "Warning: unstable charge-pump-setting, p < 15!";
}  // namespace

class TestSolverGui : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startupDisplay();
    void solveF1_data();
    void solveF1();
    void enablingF2SolvesOnceAndRoutesBothOutputs();
    void solveF1AndF2();
    void noCandidateMarksF1RedBeforeTheRefreshes();
    void failedGridWriteStaysVisibleAfterSolve();
    void unusableEditedTargetSolvesNothing_data();
    void unusableEditedTargetSolvesNothing();
    void refusedTargetChangesNothing_data();
    void refusedTargetChangesNothing();
    void unusableOtherTargetTakesTheEditedValue();
    void unreadableF1TakesF2InTheF2Handler();
    void disablingF2CopiesF1AndClearsPreference();
    void preferenceClickSolves();
    void pllRangeTakesEffectAtTheNextRefresh_data();
    void pllRangeTakesEffectAtTheNextRefresh();
    void crosspointDisplay_data();
    void crosspointDisplay();
    void returnTrimsTheTargetText();
    void refreshKeepsAnOuterUpdatingWidgets();
    void targetReadsBackAsTheSameNumber_data();
    void targetReadsBackAsTheSameNumber();
    void overflowingTargetIsNoNumber();
    void colouredTargetsReadInADarkTheme_data();
    void colouredTargetsReadInADarkTheme();
    void commandLineSolvesAsTheWindow_data();
    void commandLineSolvesAsTheWindow();

private:
    MainWindowForm& ui() { return rig->ui(); }
    Session& session() { return rig->session(); }
    Registers imageRegisters();
    Writes writes() const;
    void typeTarget(QLineEdit* field, const QString& text);

    std::unique_ptr<WindowFixture> rig;
};

void TestSolverGui::init() {
    rig = std::make_unique<WindowFixture>();
    for (const auto& [reg, value] : StartImage)
        rig->chip->setRegisterValue(reg, quint8(reg == 0x13 ? 0 : value));
    rig->open();
    QVERIFY(session().adapter.handle);  // the start-up scan opened the adapter
    rig->usb->resetTransfers();
}

void TestSolverGui::cleanup() {
    rig.reset();
}

Registers TestSolverGui::imageRegisters() {
    Registers r;
    for (int reg : GridOrder)
        r[reg] = session().image[reg];
    return r;
}

// The register writes (request 7, data register and value) that reached the adapter.
Writes TestSolverGui::writes() const {
    Writes w;
    for (const auto& [reg, value] : rig->writes())
        w.append({reg, value});
    return w;
}

// Selects the field's text, types over it and presses Return, as a user does.
void TestSolverGui::typeTarget(QLineEdit* field, const QString& text) {
    field->selectAll();
    if (text.isEmpty())
        QTest::keyClick(field, Qt::Key_Delete);
    else
        QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
}

void TestSolverGui::startupDisplay() {
    // PB 0, PO 0, Q 0: P 8, Q 2, 40 MHz, below the normal range.
    QCOMPARE(ui().lePLL->text(), QString("40000000.00000 Hz"));
    QCOMPARE(ui().statusBar->currentMessage(), LowWarning);
    QCOMPARE(imageRegisters(), StartImage);
    // Every output on "F ref"; both empty targets take LCLK1's and LCLK2's frequency.
    for (QLineEdit* out :
         {ui().leLCLK1, ui().leLCLK2, ui().leLCLK3, ui().leLCLK4, ui().leCLK5, ui().leCLK6})
        QCOMPARE(out->text(), QString("10000000.00000 Hz"));
    QCOMPARE(ui().leF1->text(), QString("10000000.00000"));
    QCOMPARE(ui().leF2->text(), QString("10000000.00000"));
    QCOMPARE(background(ui().leF1), Green);
    // leF2 is not coloured while F2 is disabled.
    QLineEdit plain;
    QCOMPARE(background(ui().leF2), background(&plain));
    QCOMPARE(ui().lbIterations->text(), QString("Iterations: 0"));
    QVERIFY(!rig->form().updatingWidgets);
}

void TestSolverGui::solveF1_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("iterations");
    QTest::addColumn<Writes>("expectedWrites");
    QTest::addColumn<QString>("pll");
    QTest::addColumn<QString>("lclk1");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("fromReference");
    QTest::addColumn<int>("lclk1Code");

    // 100 MHz: P 40 (PB 16), Q 2, /2; LCLK1 moves to "DIV1CLK/2" first (matrix write and grid
    // refresh with the old PLL), then the grid and core registers with the new PLL.
    {
        const Registers dividers = with(StartImage, {{0x0C, 0x04}, {0x44, 0x40}});
        const Registers solved = with(dividers, {{0x41, 0x10}});
        QTest::newRow("100 MHz") << "100000000"
                                 << "100000000.00000"
                                 << "Iterations: 21"
                                 << matrixWrites(dividers) + gridWrites(solved) + coreWrites(solved)
                                 << "200000000.00000 Hz"
                                 << "100000000.00000 Hz" << QString() << false << 2;
    }
    // 200 MHz: P 80 (PB 36) puts the PLL on 400 MHz, in range; charge pump 1.
    {
        const Registers dividers = with(StartImage, {{0x0C, 0x04}, {0x44, 0x40}});
        const Registers solved = with(dividers, {{0x40, 0xC4}, {0x41, 0x24}});
        QTest::newRow("200 MHz") << "200000000"
                                 << "200000000.00000"
                                 << "Iterations: 61"
                                 << matrixWrites(dividers) + gridWrites(solved) + coreWrites(solved)
                                 << "400000000.00000 Hz"
                                 << "200000000.00000 Hz" << QString() << false << 2;
    }
    // 500 kHz: no PLL candidate; DIV1 from the reference divided by 20 ("DIV1CLK/DIV1N"),
    // the PLL stays at 40 MHz with its LOW warning.
    {
        const Registers dividers = with(StartImage, {{0x0C, 0x94}, {0x44, 0x20}});
        QTest::newRow("500 kHz") << "500000"
                                 << "500000.00000"
                                 << "Iterations: 40"
                                 << matrixWrites(dividers) + gridWrites(dividers) +
                                        coreWrites(dividers)
                                 << "40000000.00000 Hz"
                                 << "500000.00000 Hz" << LowWarning << true << 1;
    }
    // The same targets with a suffix: the same solve, the same writes.
    {
        const Registers dividers = with(StartImage, {{0x0C, 0x04}, {0x44, 0x40}});
        const Registers solved = with(dividers, {{0x41, 0x10}});
        QTest::newRow("100M") << " 100M"
                              << "100000000.00000"
                              << "Iterations: 21"
                              << matrixWrites(dividers) + gridWrites(solved) + coreWrites(solved)
                              << "200000000.00000 Hz"
                              << "100000000.00000 Hz" << QString() << false << 2;
        const Registers fromRef = with(StartImage, {{0x0C, 0x94}, {0x44, 0x20}});
        QTest::newRow("500k") << "500k"
                              << "500000.00000"
                              << "Iterations: 40"
                              << matrixWrites(fromRef) + gridWrites(fromRef) + coreWrites(fromRef)
                              << "40000000.00000 Hz"
                              << "500000.00000 Hz" << LowWarning << true << 1;
    }
    // 1 GHz: no candidate anywhere; the divider of the device read (0) leaves the crosspoint
    // alone, so nothing but the grid and core registers is written, all unchanged.
    QTest::newRow("1 GHz") << "1000000000"
                           << "1000000000.00000"
                           << "Iterations: 24649" << gridWrites(StartImage) + coreWrites(StartImage)
                           << "40000000.00000 Hz"
                           << "10000000.00000 Hz" << LowWarning << false << 0;
}

void TestSolverGui::solveF1() {
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(bool, fromReference);
    QFETCH(int, lclk1Code);

    typeTarget(ui().leF1, typed);

    QTEST(writes(), "expectedWrites");
    QCOMPARE(ui().leF1->text(), shown);
    QCOMPARE(ui().leF2->text(), shown);  // F2 disabled: a copy of F1
    QTEST(ui().lbIterations->text(), "iterations");
    QTEST(ui().lePLL->text(), "pll");
    QTEST(ui().leLCLK1->text(), "lclk1");
    QTEST(ui().statusBar->currentMessage(), "status");
    QCOMPARE(ui().rbDIV1CLK_ref->isChecked(), fromReference);
    QCOMPARE(ui().rbDIV1CLK_PLL->isChecked(), !fromReference);
    QCOMPARE(ui().cbMatrix_LCLK1->currentIndex(), lclk1Code);
    QCOMPARE(ui().cbMatrix_LCLK2->currentIndex(), 0);
    // The image is what the chip got last.
    for (int reg : GridOrder)
        QCOMPARE(int(rig->chip->registerValue(reg)), int(session().image[reg]));
    QVERIFY(!rig->form().updatingWidgets);
}

// The refreshes after a solve clear the status bar; a write that failed in the grid refresh must
// still be in view at the end.
void TestSolverGui::failedGridWriteStaysVisibleAfterSolve() {
    typeTarget(ui().leF1, "100000000");
    QCOMPARE(ui().statusBar->currentMessage(), QString());
    rig->usb->resetTransfers();
    // The same target again changes no route, so transfer 0 is the grid refresh's write of 0x09.
    rig->usb->injectFault(0, SimFault::failure(-1, "Input/Output Error"));
    typeTarget(ui().leF1, "100000000");
    QCOMPARE(int(rig->usb->transfers().at(0).request), 7);
    QCOMPARE(ui().statusBar->currentMessage(), QString("Error: Input/Output Error"));
    QCOMPARE(writes(), gridWrites(imageRegisters()).mid(1) + coreWrites(imageRegisters()));
}

// The F2 enable handler holds updatingWidgets while it enables leF2 and cbF2_pref, then solves
// once for 10 MHz on both outputs (P 20, Q 2, /10 each): LCLK1 moves first, then LCLK2, each
// through the matrix handler, then the PLL.
void TestSolverGui::enablingF2SolvesOnceAndRoutesBothOutputs() {
    QTest::mouseClick(ui().cbF2_enable, Qt::LeftButton);

    QVERIFY(ui().cbF2_enable->isChecked());
    QVERIFY(ui().leF2->isEnabled());
    QVERIFY(ui().cbF2_pref->isEnabled());
    const Registers lclk1 = with(StartImage, {{0x0C, 0x0A}, {0x44, 0x20}});
    const Registers lclk2 = with(lclk1, {{0x47, 0x0A}, {0x44, 0x30}});
    const Registers solved = with(lclk2, {{0x41, 0x06}});
    QCOMPARE(writes(),
             matrixWrites(lclk1) + matrixWrites(lclk2) + gridWrites(solved) + coreWrites(solved));
    QCOMPARE(ui().lbIterations->text(), QString("Iterations: 1"));
    QCOMPARE(ui().cbMatrix_LCLK1->currentIndex(), 1);
    QCOMPARE(ui().cbMatrix_LCLK2->currentIndex(), 4);
    QCOMPARE(ui().leLCLK2->text(), QString("10000000.00000 Hz"));
    QCOMPARE(background(ui().leF2), Green);
    QCOMPARE(ui().lePLL->text(), QString("100000000.00000 Hz"));
    QCOMPARE(ui().statusBar->currentMessage(), QString());  // 100 MHz is the lower limit: stable
}

// 25 MHz and 12 MHz meet at 300 MHz: P 60, Q 2, /12 and /25. The dividers stay on DIVxN, so
// the last solve writes only the grid and the core registers.
void TestSolverGui::solveF1AndF2() {
    QTest::mouseClick(ui().cbF2_enable, Qt::LeftButton);
    typeTarget(ui().leF2, "12000000");
    rig->usb->resetTransfers();
    typeTarget(ui().leF1, "25000000");

    const Registers solved =
        with(StartImage,
             {{0x0C, 0x0C}, {0x47, 0x19}, {0x44, 0x30}, {0x40, 0xC4}, {0x41, 0x1A}, {0x42, 0x00}});
    QCOMPARE(writes(), gridWrites(solved) + coreWrites(solved));
    QCOMPARE(imageRegisters(), solved);
    QCOMPARE(ui().lbIterations->text(), QString("Iterations: 41"));
    QCOMPARE(ui().lePLL->text(), QString("300000000.00000 Hz"));
    QCOMPARE(ui().leLCLK1->text(), QString("25000000.00000 Hz"));
    QCOMPARE(ui().leLCLK2->text(), QString("12000000.00000 Hz"));
    QCOMPARE(ui().leF1->text(), QString("25000000.00000"));
    QCOMPARE(ui().leF2->text(), QString("12000000.00000"));
    QCOMPARE(ui().sbDIV1N->value(), 12);
    QCOMPARE(ui().sbDIV2N->value(), 25);
    QCOMPARE(ui().sbPB->value(), 26);
    QCOMPARE(ui().sbChargePump->value(), 1);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        QCOMPARE(background(ui().leF1, group), Green);
        QCOMPARE(background(ui().leF2, group), Green);
    }
    QCOMPARE(ui().statusBar->currentMessage(), QString());
}

// Without a candidate leF1 turns red before the refreshes: the first refresh clears the status
// bar, which still shows the charge-pump warning for the earlier P (0).
void TestSolverGui::noCandidateMarksF1RedBeforeTheRefreshes() {
    QList<QPair<QString, QColor>> seen;
    connect(ui().statusBar, &QStatusBar::messageChanged, this, [&](const QString& message) {
        seen.append({message, background(ui().leF1)});
    });

    typeTarget(ui().leF1, "1000000000");

    QVERIFY(seen.size() >= 3);
    QCOMPARE(seen[0].first, PumpBelow15);
    QCOMPARE(seen[0].second, Green);  // the charge pump comes before the colouring
    QCOMPARE(seen[1].first, QString());
    QCOMPARE(seen[1].second, Red);
    QCOMPARE(session().solver.bestError, -1.0);
    QCOMPARE(background(ui().leF1), Red);  // 10 MHz against 1 GHz
    QCOMPARE(int(session().image[0x40]), 0xC0);
    QCOMPARE(int(session().image[0x41]), 0x00);
    QCOMPARE(int(session().image[0x42]), 0x00);
}

void TestSolverGui::unusableEditedTargetSolvesNothing_data() {
    QTest::addColumn<QString>("typed");
    QTest::newRow("empty") << "";
    QTest::newRow("zero") << "0";
    QTest::newRow("negative") << "-5000000";
    QTest::newRow("inf") << "inf";
    QTest::newRow("nan") << "nan";
    QTest::newRow("overflow") << "1e400";
}

void TestSolverGui::unusableEditedTargetSolvesNothing() {
    QFETCH(QString, typed);
    const Registers before = imageRegisters();

    typeTarget(ui().leF1, typed);

    QCOMPARE(writes(), Writes());
    QCOMPARE(imageRegisters(), before);
    QCOMPARE(ui().leF1->text(), QString("     0.00000"));
    QCOMPARE(ui().leF2->text(), QString("     0.00000"));
    QCOMPARE(ui().lbIterations->text(), QString("Iterations: 0"));
    QCOMPARE(ui().cbMatrix_LCLK1->currentIndex(), 0);

    // The same in leF2 with F2 enabled. Enabling runs the F2 handler, which finds both fields
    // at 0 and has nothing to solve for either.
    QTest::mouseClick(ui().cbF2_enable, Qt::LeftButton);
    const Registers enabled = imageRegisters();
    rig->usb->resetTransfers();
    typeTarget(ui().leF2, typed);
    QCOMPARE(writes(), Writes());
    QCOMPARE(imageRegisters(), enabled);
    QCOMPARE(ui().leF2->text(), QString("     0.00000"));
}

// A text that is neither a number nor a frequency with k or M: the field shows again what it
// showed, the targets stay, nothing is solved or written, and the status line says why.
void TestSolverGui::refusedTargetChangesNothing_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("status");
    const QString why =
        "Error: the target \"%1\" of %2 is not a frequency in Hz (a k or M "
        "suffix may follow the number); it stays as it was.";
    for (const char* field : {"F1", "F2"}) {
        QTest::addRow("%s, unit word", field) << field << "25 MHz" << why.arg("25 MHz", field);
        QTest::addRow("%s, milli", field) << field << "25m" << why.arg("25m", field);
        QTest::addRow("%s, letters", field) << field << "abc" << why.arg("abc", field);
        QTest::addRow("%s, half an exponent", field) << field << "1e" << why.arg("1e", field);
        QTest::addRow("%s, a line break", field)
            << field << "1\nx" << why.arg(QString("1%1x").arg(QChar(0x240A)), field);
    }
}

void TestSolverGui::refusedTargetChangesNothing() {
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QTest::mouseClick(ui().cbF2_enable, Qt::LeftButton);
    typeTarget(ui().leF2, "12000000");
    typeTarget(ui().leF1, "25000000");
    const Registers before = imageRegisters();
    const QString f1 = ui().leF1->text();
    const QString f2 = ui().leF2->text();
    const SolverRecord solver = session().solver;
    rig->usb->resetTransfers();

    QLineEdit* edited = field == "F1" ? ui().leF1 : ui().leF2;
    edited->setFocus();
    edited->selectAll();
    edited->insert(typed);  // a pasted line break as well
    QTest::keyClick(edited, Qt::Key_Return);

    QTEST(ui().statusBar->currentMessage(), "status");
    QCOMPARE(ui().leF1->text(), f1);
    QCOMPARE(ui().leF2->text(), f2);
    QCOMPARE(session().solver.targetF1, solver.targetF1);
    QCOMPARE(session().solver.targetF2, solver.targetF2);
    QCOMPARE(session().solver.iterations, solver.iterations);
    QCOMPARE(imageRegisters(), before);
    QCOMPARE(writes(), Writes());
}

// F2 enabled, leF2 holding "nan": the F1 handler gives F2 the value of F1 and solves both.
void TestSolverGui::unusableOtherTargetTakesTheEditedValue() {
    QTest::mouseClick(ui().cbF2_enable, Qt::LeftButton);
    ui().leF2->setText("nan");
    rig->usb->resetTransfers();

    typeTarget(ui().leF1, "100000000");

    QCOMPARE(ui().leF2->text(), QString("100000000.00000"));
    QCOMPARE(session().solver.bestError, 0.0);
    QCOMPARE(ui().lbIterations->text(), QString("Iterations: 21"));
    QCOMPARE(int(session().image[0x47]), 0x04);  // DIV2N parked at 4 for the fixed /2
    QCOMPARE(ui().cbMatrix_LCLK2->currentIndex(), 5);
    QCOMPARE(ui().leLCLK2->text(), QString("100000000.00000 Hz"));
}

// The F1 handler leaves "0.00000" in leF1 after an unusable entry; the F2 handler then takes
// F2's value for F1 instead of solving F1 for 0 Hz from the reference.
void TestSolverGui::unreadableF1TakesF2InTheF2Handler() {
    QTest::mouseClick(ui().cbF2_enable, Qt::LeftButton);
    typeTarget(ui().leF1, "-1");
    QCOMPARE(ui().leF1->text(), QString("     0.00000"));

    typeTarget(ui().leF2, "50000000");

    QCOMPARE(ui().leF1->text(), QString("50000000.00000"));
    QCOMPARE(ui().lbIterations->text(), QString("Iterations: 1"));
    QVERIFY(ui().rbDIV1CLK_PLL->isChecked());
    QCOMPARE(ui().cbMatrix_LCLK1->currentIndex(), 2);
    QCOMPARE(ui().cbMatrix_LCLK2->currentIndex(), 5);
    QCOMPARE(ui().leLCLK1->text(), QString("50000000.00000 Hz"));
}

void TestSolverGui::disablingF2CopiesF1AndClearsPreference() {
    QTest::mouseClick(ui().cbF2_enable, Qt::LeftButton);
    QTest::mouseClick(ui().cbF2_pref, Qt::LeftButton);
    QVERIFY(ui().cbF2_pref->isChecked());
    typeTarget(ui().leF2, "12000000");
    typeTarget(ui().leF1, "25000000");
    rig->usb->resetTransfers();

    QTest::mouseClick(ui().cbF2_enable, Qt::LeftButton);

    QVERIFY(!ui().leF2->isEnabled());
    QVERIFY(!ui().cbF2_pref->isEnabled());
    QVERIFY(!ui().cbF2_pref->isChecked());
    QCOMPARE(ui().leF2->text(), QString("25000000.00000"));
    // One solve for 25 MHz alone: P 20, Q 2 and DIV1N 4 are exact at once (LCLK1 stays on
    // "DIV1CLK/DIV1N", so no matrix write); DIV2 is left as it was.
    QCOMPARE(ui().lbIterations->text(), QString("Iterations: 1"));
    QCOMPARE(writes().size(), 11 + 7);
    QCOMPARE(int(session().image[0x0C]), 0x04);
    QCOMPARE(int(session().image[0x41]), 0x06);
    QCOMPARE(int(session().image[0x47]), 0x19);
    QCOMPARE(background(ui().leF2), White);  // marked by the F2 handler, not recoloured
}

void TestSolverGui::preferenceClickSolves() {
    ui().leF1->setText("200000000");  // no handler runs for a text set from here
    QCOMPARE(writes(), Writes());

    QTest::mouseClick(ui().cbF1_pref, Qt::LeftButton);

    QVERIFY(!ui().cbF1_pref->isChecked());
    QCOMPARE(session().solver.f1Preferred, 0);
    QCOMPARE(ui().lbIterations->text(), QString("Iterations: 61"));
    QCOMPARE(ui().leF1->text(), QString("200000000.00000"));
    QCOMPARE(int(session().image[0x41]), 0x24);
}

void TestSolverGui::pllRangeTakesEffectAtTheNextRefresh_data() {
    QTest::addColumn<bool>("extended");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("iterations");
    // PO set: P 9, 45 MHz; a LOW warning only in the normal range. 100 MHz starts its walk at
    // P 20 in the normal range and at the floor 8 in the extended one.
    QTest::newRow("normal") << false << LowWarning << "Iterations: 21";
    QTest::newRow("extended") << true << QString() << "Iterations: 33";
}

void TestSolverGui::pllRangeTakesEffectAtTheNextRefresh() {
    QFETCH(bool, extended);
    const QString pllBefore = ui().lePLL->text();
    if (extended)
        QTest::mouseClick(ui().cbPLL_extend, Qt::LeftButton);
    QCOMPARE(session().pllLowLimit, extended ? 25000000 : 100000000);
    QCOMPARE(session().pllHighLimit, extended ? 450000000 : 400000000);
    // Nothing is redrawn or rewritten by the range alone.
    QCOMPARE(ui().statusBar->currentMessage(), LowWarning);
    QCOMPARE(ui().lePLL->text(), pllBefore);
    QCOMPARE(writes(), Writes());

    QTest::mouseClick(ui().cbPO, Qt::LeftButton);
    QCOMPARE(ui().lePLL->text(), QString("45000000.00000 Hz"));
    QTEST(ui().statusBar->currentMessage(), "status");

    typeTarget(ui().leF1, "100000000");
    QTEST(ui().lbIterations->text(), "iterations");

    if (extended) {
        QTest::mouseClick(ui().cbPLL_extend, Qt::LeftButton);
        QCOMPARE(session().pllLowLimit, 100000000);
        QCOMPARE(session().pllHighLimit, 400000000);
    }
}

void TestSolverGui::crosspointDisplay_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    // LCLK3 with DIV1N and DIV2N 0 from the chip and both dividers on the 40 MHz PLL.
    QTest::newRow("F ref") << 0 << "10000000.00000 Hz";
    QTest::newRow("DIV1CLK/2") << 2 << "20000000.00000 Hz";
    QTest::newRow("DIV1CLK/3") << 3 << "13333333.33333 Hz";
    QTest::newRow("DIV2CLK/2") << 5 << "20000000.00000 Hz";
    QTest::newRow("DIV2CLK/4") << 6 << "10000000.00000 Hz";
    QTest::newRow("UNDEFINED!") << 7 << "     0.00000 Hz";
}

void TestSolverGui::crosspointDisplay() {
    QFETCH(int, code);
    ui().cbMatrix_LCLK3->setCurrentIndex(code);  // as a user's choice: the matrix handler runs
    QTEST(ui().leLCLK3->text(), "text");
    // A divider of 0 on the DIVxN route divides by zero: shown as infinity, never a crash.
    ui().cbMatrix_LCLK4->setCurrentIndex(1);
    QVERIFY(ui().leLCLK4->text().contains("inf"));
}

void TestSolverGui::returnTrimsTheTargetText() {
    QLineEdit field;
    field.setText("  100000000 \t");
    rig->views().frequency.trimTarget(&field);
    QCOMPARE(field.text(), QString("100000000"));

    // In the window Return trims, then the solve reformats the text.
    typeTarget(ui().leF1, "   25000000   ");
    QCOMPARE(ui().leF1->text(), QString("25000000.00000"));
    QCOMPARE(session().solver.targetF1, 25000000.0);
}

// A refresh inside a bulk update (a file load sets updatingWidgets around its own) leaves the
// flag set for the rest of that update; on its own it leaves it clear.
void TestSolverGui::refreshKeepsAnOuterUpdatingWidgets() {
    rig->form().updatingWidgets = true;
    rig->views().refreshFrequencies();
    QVERIFY(rig->form().updatingWidgets);
    // So the register editors stay silent: a matrix choice changes nothing in the image.
    ui().cbMatrix_LCLK3->setCurrentIndex(7);
    QCOMPARE(int(session().image[0x44]), 0x00);
    QCOMPARE(writes(), Writes());

    rig->form().updatingWidgets = false;
    rig->views().refreshFrequencies();
    QVERIFY(!rig->form().updatingWidgets);
}

void TestSolverGui::targetReadsBackAsTheSameNumber_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<double>("target");
    QTest::newRow("ordinary") << "25000000"
                              << "25000000.00000" << 25e6;
    QTest::newRow("more decimals than shown") << "12345678.123456789"
                                              << "12345678.12345679" << 12345678.123456789;
    QTest::newRow("longer than the field") << "1e300"
                                           << "1e+300" << 1e300;
}

// The text a target gets is one that reads back as the same number, in the field and through a
// saved file.
void TestSolverGui::targetReadsBackAsTheSameNumber() {
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(double, target);
    typeTarget(ui().leF1, typed);
    QCOMPARE(ui().leF1->text(), shown);
    QCOMPARE(session().solver.targetF1, target);
    QCOMPARE(ui().leF1->text().toDouble(), target);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath("t.cy22150.bin");
    setFileNameProvider([&](FileDialogKind, QWidget*, const QString&, const QString&,
                            const QString&) { return file; });
    ui().actionSave_As->trigger();
    typeTarget(ui().leF1, "30000000");
    ui().actionLoad->trigger();
    setFileNameProvider({});
    QCOMPARE(ui().leF1->text(), shown);
    QCOMPARE(session().solver.targetF1, target);
}

// A target that overflows a double is no number: the next refresh fills the field with what the
// output gives, as for any other text that is no number, instead of colouring against infinity.
void TestSolverGui::overflowingTargetIsNoNumber() {
    QTest::mouseClick(ui().cbF2_enable, Qt::LeftButton);
    ui().leF2->setFocus();
    ui().leF2->selectAll();
    QTest::keyClicks(ui().leF2, "1e400");   // not confirmed
    ui().sbFreference->setValue(12000000);  // as the mouse wheel would, the focus staying
    QCOMPARE(ui().leLCLK2->text(), QString("12000000.00000 Hz"));  // LCLK2 shows the reference
    QCOMPARE(ui().leF2->text(), QString("12000000.00000"));
    QCOMPARE(background(ui().leF2), Green);
}

void TestSolverGui::colouredTargetsReadInADarkTheme_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("exact") << "100000000" << Green;
    QTest::newRow("no solution") << "1000000000" << Red;
}

// A dark theme's text is light; on the light colours of the target fields the text is black.
void TestSolverGui::colouredTargetsReadInADarkTheme() {
    QFETCH(QString, typed);
    QFETCH(QColor, colour);
    const QPalette before = QApplication::palette();
    QPalette dark = before;
    dark.setColor(QPalette::Base, Qt::black);
    dark.setColor(QPalette::Text, Qt::white);
    QApplication::setPalette(dark);
    typeTarget(ui().leF1, typed);
    const QPalette shown = ui().leF1->palette();
    QApplication::setPalette(before);
    QCOMPARE(shown.color(QPalette::Active, ui().leF1->backgroundRole()), colour);
    QCOMPARE(shown.color(QPalette::Active, ui().leF1->foregroundRole()), QColor(Qt::black));
    QCOMPARE(shown.color(QPalette::Inactive, ui().leF1->foregroundRole()), QColor(Qt::black));
}

// vantrel-cli solve and the window, given the same reference, range, targets and preference
// boxes, find the same P, Q, dividers and iterations and put the same fields into the image.
void TestSolverGui::commandLineSolvesAsTheWindow_data() {
    QTest::addColumn<int>("reference");
    QTest::addColumn<QString>("f1");
    QTest::addColumn<QString>("f2");  // empty: F2 disabled
    QTest::addColumn<bool>("extended");
    QTest::addColumn<QString>("prefer");  // empty: the boxes as the window starts
    QTest::newRow("UART + audio, as started") << 19200000 << "3686400"
                                              << "11289600" << true << "";
    for (const char* prefer : {"f1", "f2", "both", "none"}) {
        QTest::addRow("UART + audio, %s", prefer) << 19200000 << "3686400"
                                                  << "11289600" << true << prefer;
        QTest::addRow("27 MHz, 48 MHz + 12.288 MHz, %s", prefer) << 27000000 << "48000000"
                                                                 << "12288000" << false << prefer;
    }
    QTest::newRow("F1 alone, as started") << 10000000 << "33333333"
                                          << "" << false << "";
    QTest::newRow("F1 alone, none") << 14318180 << "7372800"
                                    << "" << true << "none";
    QTest::newRow("F2 below the PLL path, f2") << 10000000 << "48000000"
                                               << "300000" << false << "f2";
}

void TestSolverGui::commandLineSolvesAsTheWindow() {
    QFETCH(int, reference);
    QFETCH(QString, f1);
    QFETCH(QString, f2);
    QFETCH(bool, extended);
    QFETCH(QString, prefer);
    QVERIFY(ui().cbF1_pref->isChecked());  // the window's start-up boxes
    QVERIFY(!ui().cbF2_pref->isChecked());
    ui().sbFreference->setValue(reference);
    ui().cbPLL_extend->setChecked(extended);
    if (!f2.isEmpty())
        QTest::mouseClick(ui().cbF2_enable, Qt::LeftButton);
    if (!prefer.isEmpty()) {  // set quietly: the solve below reads the boxes
        ui().cbF1_pref->setChecked(prefer == "f1" || prefer == "both");
        ui().cbF2_pref->setChecked(prefer == "f2" || prefer == "both");
    }
    if (!f2.isEmpty())
        typeTarget(ui().leF2, f2);
    typeTarget(ui().leF1, f1);
    const SolverRecord& window = session().solver;
    QVERIFY(window.bestError >= 0);

    QTemporaryDir dir;
    QStringList arguments{"vantrel-cli", "solve", "--ref", QString::number(reference),
                          "--f1",        f1,      "-o",    dir.filePath("s.cy22150.bin")};
    if (!f2.isEmpty())
        arguments << "--f2" << f2;
    if (extended)
        arguments << "--extended";
    if (!prefer.isEmpty())
        arguments << "--prefer" << prefer;
    SimUsbBackend noDevices;
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    QCOMPARE(runCli(arguments, noDevices, outStream, errStream, CliEnvironment{}), 0);
    outStream.flush();

    QString first =
        QString::asprintf("P %d  Q %d  DIV1 %d", window.pTotal, window.qTotal, window.divider1);
    if (!f2.isEmpty())
        first += QString::asprintf("  DIV2 %d", window.divider2);
    first += QString::asprintf("  iterations %d", window.iterations);
    QCOMPARE(out.section('\n', 0, 0), first);
    QCOMPARE(ui().lbIterations->text(), QString::asprintf("Iterations: %d", window.iterations));

    RegisterFileContents saved;
    QString reason;
    QFile file(dir.filePath("s.cy22150.bin"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY2(readRegisterFile(file, saved, reason), qPrintable(reason));
    RegisterImage cli;
    cli.bytes = saved.registers;
    const RegisterImage& shown = session().image;
    QCOMPARE(Field::pb(cli), Field::pb(shown));
    QCOMPARE(Field::po(cli), Field::po(shown));
    QCOMPARE(Field::qCounter(cli), Field::qCounter(shown));
    QCOMPARE(Field::chargePump(cli), Field::chargePump(shown));
    QCOMPARE(Field::div1N(cli), Field::div1N(shown));
    QCOMPARE(Field::div1FromReference(cli), Field::div1FromReference(shown));
    QCOMPARE(Field::crosspointCode(Field::matrixWord(cli), 0),
             Field::crosspointCode(Field::matrixWord(shown), 0));
    if (!f2.isEmpty()) {
        QCOMPARE(Field::div2N(cli), Field::div2N(shown));
        QCOMPARE(Field::div2FromReference(cli), Field::div2FromReference(shown));
        QCOMPARE(Field::crosspointCode(Field::matrixWord(cli), 1),
                 Field::crosspointCode(Field::matrixWord(shown), 1));
    }
    // The saved boxes are the window's.
    QCOMPARE(bool(saved.flags & RegisterFileFlag::F1Preferred), ui().cbF1_pref->isChecked());
    QCOMPARE(bool(saved.flags & RegisterFileFlag::F2Preferred), ui().cbF2_pref->isChecked());
}

QTEST_MAIN(TestSolverGui)
#include "tst_solvergui.moc"
