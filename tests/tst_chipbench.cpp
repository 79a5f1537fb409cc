// SPDX-License-Identifier: MIT
// The safe bench, driven through the real window over the simulated adapter: connecting with live
// writes off writes nothing, Write to chip writes only what the chip does not hold (0x09 last) and
// verifies, a refused write stays marked, undo puts a whole action back (and, live, writes it in
// the safe order), and the chip log lists exactly the transfers the adapter saw.

#include "app/chipcommands.h"
#include "app/editmenu.h"
#include "app/plandialog.h"
#include "files/registerfile.h"
#include "session/boardsettings.h"
#include "usb/deviceid.h"
#include "windowfixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QUndoStack>
#include <QtTest>

#include <cmath>

namespace {
using Writes = std::vector<std::pair<int, int>>;
const std::vector<int> SafeOrder = {0x0C, 0x12, 0x13, 0x40, 0x41, 0x42,
                                    0x44, 0x45, 0x46, 0x47, 0x09};

void click(QAbstractButton* button) {
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}

QCheckBox* bitBox(WindowFixture& f, const QString& name) {
    return f.window->findChild<QCheckBox*>(name);
}

// The value field of a grid row, found by its address label's row.
QLineEdit* valueField(WindowFixture& f, int address) {
    const QGridLayout* grid = f.ui().gridLayout;
    for (int row = 0; row < grid->rowCount(); ++row) {
        QLayoutItem* item = grid->itemAtPosition(row, 1);
        auto* label = item ? qobject_cast<QLabel*>(item->widget()) : nullptr;
        if (label && label->text().toInt(nullptr, 16) == address && label->text().startsWith("0x"))
            return qobject_cast<QLineEdit*>(grid->itemAtPosition(row, 2)->widget());
    }
    return nullptr;
}

// Opens the window and shows it laid out, as the user sees it, so that clicks land on the boxes.
void openShown(WindowFixture& f) {
    f.open();
    showMainWindow(*f.window);
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
}

QString indicatorText(WindowFixture& f) {
    return f.views().chip.indicator()->text();
}

QAction* action(WindowFixture& f, const char* name) {
    return f.window->findChild<QAction*>(name);
}

// WCAG's relative luminance and contrast ratio.
double luminance(const QColor& c) {
    auto channel = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}
double contrast(const QColor& a, const QColor& b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Answers the next message box with the button of the given text and keeps what it showed.
struct BoxAnswer {
    QString text;
    QString defaultButton;
    QTimer timer;
    explicit BoxAnswer(const QString& press) {
        QObject::connect(&timer, &QTimer::timeout, [this, press] {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(top);
                if (!box || !box->isVisible())
                    continue;
                text = box->text();
                defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
                for (QAbstractButton* button : box->buttons())
                    if (button->text().remove('&') == press)
                        button->click();
            }
        });
        timer.start(10);
    }
};
}  // namespace

class TestChipBench : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void connectingWithLiveWritesOffWritesNothing_data();
    void connectingWithLiveWritesOffWritesNothing();
    void writeToChipWritesOnlyWhatDiffers_data();
    void writeToChipWritesOnlyWhatDiffers();
    void refusedWriteStaysMarked_data();
    void refusedWriteStaysMarked();
    void markReadsInLightAndDarkPalettes_data();
    void markReadsInLightAndDarkPalettes();
    void brokenRulesAskFirst();
    void readChipAgainAndTheComparison();
    void undoRestoresAWholeAction_data();
    void undoRestoresAWholeAction();
    void planApplyOnDemandWritesNothing();
    void chipLogListsTheTransfers();
    void liveWritesChoiceIsRemembered();

private:
    QTemporaryDir settings_;
    QTemporaryDir files_;
};

void TestChipBench::initTestCase() {
    QVERIFY(settings_.isValid());
    QVERIFY(files_.isValid());
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_.path());
}

void TestChipBench::init() {
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "Vantrel", "vantrel").clear();
}

void TestChipBench::cleanup() {
    setFileNameProvider({});
    QApplication::setPalette(QPalette());
}

void TestChipBench::connectingWithLiveWritesOffWritesNothing_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("start-up scan") << "start-up";
    QTest::newRow("Scan") << "actionScan";
    QTest::newRow("Open") << "actionOpen";
    QTest::newRow("address change") << "address";
}

// The chip keeps its CAPLOAD 0x20 and every other byte; the window shows exactly what it read.
void TestChipBench::connectingWithLiveWritesOffWritesNothing() {
    QFETCH(QString, how);
    saveUserLiveWrites(false);
    WindowFixture f;
    for (int reg = 0; reg < 256; ++reg)
        f.chip->setRegisterValue(reg, quint8(reg * 7 + 3));
    f.chip->setRegisterValue(0x13, 0x20);
    if (how == "address")
        f.chip->setI2cAddress(0x6A);  // the start-up scan finds nothing at 0x69
    const auto before = f.chip->registers();
    f.open();
    QVERIFY(!action(f, "actionWrite_changes_at_once")->isChecked());
    if (how == "actionScan" || how == "actionOpen")
        action(f, qPrintable(how))->trigger();
    else if (how == "address")
        f.ui().DeviceAddresscomboBox->setCurrentIndex(0x6A);
    for (const SimTransfer& t : f.startUpTransfers)
        QVERIFY2(t.request != 7, "the start-up wrote a register");
    QCOMPARE(f.writes(), Writes{});
    QCOMPARE(f.chip->registers(), before);
    QCOMPARE(f.session().image.bytes, before);
    QCOMPARE(indicatorText(f), QString("Chip: in step"));
    QCOMPARE(f.window->editMenu()->stack()->count(), 0);
}

void TestChipBench::writeToChipWritesOnlyWhatDiffers_data() {
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<Writes>("expected");
    QTest::addColumn<bool>("forgetChip");  // a read that failed left nothing known
    // The start-up image of the simulated chip is all zero.
    QTest::newRow("one bit") << QStringList{"cb030"} << Writes{{0x13, 0x01}} << false;
    QTest::newRow("enables last") << QStringList{"cb005", "cb010", "cb104"}
                                  << Writes{{0x0C, 0x01}, {0x47, 0x10}, {0x09, 0x20}} << false;
    QTest::newRow("nothing differs") << QStringList{} << Writes{} << false;
    Writes all;
    for (int reg : SafeOrder)
        all.emplace_back(reg, reg == 0x13 ? 0x01 : 0x00);
    QTest::newRow("nothing known: all eleven") << QStringList{"cb030"} << all << true;
}

void TestChipBench::writeToChipWritesOnlyWhatDiffers() {
    QFETCH(QStringList, boxes);
    QFETCH(Writes, expected);
    QFETCH(bool, forgetChip);
    saveUserLiveWrites(false);
    WindowFixture f;
    openShown(f);
    for (const QString& name : boxes)
        click(bitBox(f, name));
    QCOMPARE(f.writes(), Writes{});  // the edits changed the window only
    if (forgetChip) {
        // The read's first transfer fails: the chip is unknown, the window keeps its values.
        f.usb->resetTransfers();
        f.usb->injectFault(0, SimFault::failure(-1, "Input/Output Error"));
        action(f, "actionRead_chip_again")->trigger();
        QCOMPARE(indicatorText(f), QString("Chip: unknown"));
    }
    f.usb->resetTransfers();
    action(f, "actionWrite_to_chip")->trigger();
    QCOMPARE(f.writes(), expected);
    // The read-back follows the writes: 256 bytes come back.
    int readBytes = 0;
    for (const SimTransfer& t : f.usb->transfers())
        if (t.request >= 4 && t.request <= 7 && t.value == 1)
            readBytes += int(t.data.size());
    QCOMPARE(readBytes, 256);
    for (int reg : SafeOrder)
        QCOMPARE(f.chip->registerValue(reg), f.session().image[reg]);
    QCOMPARE(f.ui().statusBar->currentMessage(),
             QString("Info: Wrote %1 registers to %2 at 0x69, verified.")
                 .arg(expected.size())
                 .arg(deviceIdentification(f.session().adapter.device)));
    QCOMPARE(indicatorText(f), QString("Chip: in step"));
}

void TestChipBench::refusedWriteStaysMarked_data() {
    QTest::addColumn<bool>("live");
    QTest::addColumn<bool>("refusesData");  // else the write's status says "not acknowledged"
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("toolTip");
    const QString noAck = "the chip at I2C address 0x69 did not acknowledge";
    QTest::newRow("live write") << true << false << "Error: " + noAck
                                << "chip holds an unknown value";
    QTest::newRow("Write to chip")
        << false << false << "Error: writing register 0x13 failed: " + noAck
        << "chip holds an unknown value";
    // The adapter reports the address's acknowledge alone: only the read-back sees a refused byte.
    QTest::newRow("Write to chip, verify")
        << false << true << "Error: verify failed: 1 of 11 registers differ"
        << "chip holds 0x00";
}

void TestChipBench::refusedWriteStaysMarked() {
    QFETCH(bool, live);
    QFETCH(bool, refusesData);
    QFETCH(QString, error);
    QFETCH(QString, toolTip);
    saveUserLiveWrites(live);
    WindowFixture f;
    openShown(f);
    QLineEdit* field = valueField(f, 0x13);
    QVERIFY(field);
    const QPalette unmarked = field->palette();
    f.chip->setRefusesData(refusesData);
    if (live && !refusesData)
        f.usb->injectFault(1, SimFault::answer(2));  // the write's status query
    click(bitBox(f, "cb030"));
    if (!live) {
        QVERIFY(f.views().grid.marked(0x13));  // differs before any write
        QCOMPARE(field->toolTip().section('\n', 0, 0), QString("chip holds 0x00"));
        f.usb->resetTransfers();
        if (!refusesData)
            f.usb->injectFault(1, SimFault::answer(2));
        action(f, "actionWrite_to_chip")->trigger();
    }
    QCOMPARE(f.ui().statusBar->currentMessage(), error);
    // A lost acknowledge may hide a byte the chip took; a refused byte stays out.
    QCOMPARE(f.chip->registerValue(0x13), refusesData ? quint8(0x00) : f.session().image[0x13]);
    QVERIFY(f.views().grid.marked(0x13));
    QVERIFY(!f.views().grid.marked(0x12));
    QVERIFY(field->palette().color(QPalette::Base) != unmarked.color(QPalette::Base));
    // The chip's value first; CAPLOAD's crystal load stays below it.
    QCOMPARE(field->toolTip().section('\n', 0, 0), toolTip);
    QVERIFY(field->toolTip().section('\n', 1).startsWith("Crystal load "));
    QCOMPARE(indicatorText(f), QString("Chip: 1 registers differ"));
    QVERIFY(f.views().chip.indicator()->font().bold());

    // Once the chip takes data again, Write to chip writes that one register and the mark goes.
    f.chip->setRefusesData(false);
    f.usb->resetTransfers();
    action(f, "actionWrite_to_chip")->trigger();
    QCOMPARE(f.writes(), (Writes{{0x13, f.session().image[0x13]}}));
    QVERIFY(!f.views().grid.marked(0x13));
    QCOMPARE(field->palette().color(QPalette::Base), unmarked.color(QPalette::Base));
    QVERIFY2(field->toolTip().startsWith("Crystal load "), qPrintable(field->toolTip()));
    QCOMPARE(indicatorText(f), QString("Chip: in step"));
}

void TestChipBench::markReadsInLightAndDarkPalettes_data() {
    QTest::addColumn<QColor>("base");
    QTest::addColumn<QColor>("text");
    QTest::newRow("light") << QColor(Qt::white) << QColor(Qt::black);
    QTest::newRow("dark") << QColor(0x20, 0x20, 0x20) << QColor(0xE0, 0xE0, 0xE0);
}

void TestChipBench::markReadsInLightAndDarkPalettes() {
    QFETCH(QColor, base);
    QFETCH(QColor, text);
    QPalette palette = QApplication::palette();
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Window, base);
    palette.setColor(QPalette::WindowText, text);
    QApplication::setPalette(palette);
    saveUserLiveWrites(false);
    WindowFixture f;
    openShown(f);
    click(bitBox(f, "cb030"));
    QLineEdit* field = valueField(f, 0x13);
    QVERIFY(field);
    QVERIFY(f.views().grid.marked(0x13));
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        const QColor markBase = field->palette().color(group, QPalette::Base);
        const QColor markText = field->palette().color(group, QPalette::Text);
        QVERIFY(markBase != base);
        QVERIFY2(contrast(markBase, markText) >= 4.5,
                 qPrintable(QString::number(contrast(markBase, markText))));
        // Seen against the unmarked rows too.
        QVERIFY(contrast(markBase, base) >= 1.3);
    }
}

// DIV2N 10 under DIV2CLK/2 and DIV2CLK/4 breaks two rules at error level: Write to chip names them
// and writes nothing unless the user says so; Cancel is the default.
void TestChipBench::brokenRulesAskFirst() {
    saveUserLiveWrites(false);
    WindowFixture f;
    openShown(f);
    RegisterFileContents contents;
    const std::pair<int, int> shown[] = {{0x09, 0x3F}, {0x0C, 0x08}, {0x12, 0x30}, {0x13, 0x40},
                                         {0x40, 0xC4}, {0x41, 0x60}, {0x42, 0x08}, {0x44, 0x31},
                                         {0x45, 0x51}, {0x46, 0xBF}, {0x47, 0x0A}};
    for (auto [reg, value] : shown)
        contents.registers[std::size_t(reg)] = quint8(value);
    contents.fRef = 10000000;
    const QString path = files_.filePath("broken.cy22150.bin");
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(encodeRegisterFile(contents)), qint64(RegisterFileSize));
    }
    setFileNameProvider([&](FileDialogKind, QWidget*, const QString&, const QString&,
                            const QString&) { return path; });
    f.ui().actionLoad->trigger();
    QCOMPARE(f.writes(), Writes{});
    {
        BoxAnswer answer("Cancel");
        action(f, "actionWrite_to_chip")->trigger();
        QVERIFY(answer.text.contains(
            "div2-half: error: LCLK4 uses DIV2CLK/2 with DIV2N = 10 (LCLK4, DIV2N)"));
        QVERIFY(answer.text.contains(
            "div2-quarter: error: CLK6 uses DIV2CLK/4 with DIV2N = 10 (CLK6, DIV2N)"));
        QCOMPARE(answer.defaultButton, QString("Cancel"));
    }
    QCOMPARE(f.writes(), Writes{});
    QCOMPARE(f.ui().statusBar->currentMessage(), QString("Info: Nothing was written."));
    {
        BoxAnswer answer("Write");
        action(f, "actionWrite_to_chip")->trigger();
    }
    Writes expected;
    for (int reg : SafeOrder)
        expected.emplace_back(reg, contents.registers[std::size_t(reg)]);
    QCOMPARE(f.writes(), expected);
    QCOMPARE(indicatorText(f), QString("Chip: in step"));
}

// The chip changes behind the window: Read chip again learns it without touching the window's
// values or the chip; the comparison lists the register and takes the chip's value on request.
void TestChipBench::readChipAgainAndTheComparison() {
    saveUserLiveWrites(false);
    WindowFixture f;
    openShown(f);
    f.chip->setRegisterValue(0x13, 0x22);
    QCOMPARE(indicatorText(f), QString("Chip: in step"));  // it cannot know yet
    const auto image = f.session().image.bytes;
    action(f, "actionRead_chip_again")->trigger();
    QCOMPARE(f.writes(), Writes{});
    QCOMPARE(f.session().image.bytes, image);
    QCOMPARE(indicatorText(f), QString("Chip: 1 registers differ"));
    QVERIFY(f.views().grid.marked(0x13));
    QCOMPARE(valueField(f, 0x13)->toolTip().section('\n', 0, 0), QString("chip holds 0x22"));
    QCOMPARE(f.window->editMenu()->stack()->count(), 0);  // no step: the window did not change

    click(f.views().chip.indicator());
    ComparisonDialog* dialog = f.window->chipCommands().comparison();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QTableWidget* table = dialog->table();
    QCOMPARE(table->rowCount(), 1);
    QStringList row;
    for (int column = 0; column < 4; ++column)
        row << table->item(0, column)->text();
    QCOMPARE(row, QStringList({"0x13", "CAPLOAD", "0x00", "0x22"}));
    click(dialog->takeButton());
    QCOMPARE(f.writes(), Writes{});
    QCOMPARE(f.session().image[0x13], quint8(0x22));
    QCOMPARE(f.ui().sbCAPLOAD->value(), 0x22);
    QCOMPARE(table->rowCount(), 0);
    QVERIFY(!f.views().grid.marked(0x13));
    QCOMPARE(indicatorText(f), QString("Chip: in step"));
    QCOMPARE(f.window->editMenu()->stack()->count(), 1);  // taking the values is an action
}

void TestChipBench::undoRestoresAWholeAction_data() {
    QTest::addColumn<bool>("live");
    QTest::addColumn<QString>("how");
    QTest::newRow("solve, live") << true << "solve";
    QTest::newRow("solve, on demand") << false << "solve";
    QTest::newRow("output button, live") << true << "button";
    QTest::newRow("load, live") << true << "load";
    QTest::newRow("load, on demand") << false << "load";
}

// Typing a target and pressing Return is one step; undo puts image, reference and targets back
// and, live, writes the registers it changes in the safe order; redo does the same forwards.
void TestChipBench::undoRestoresAWholeAction() {
    QFETCH(bool, live);
    QFETCH(QString, how);
    saveUserLiveWrites(live);
    WindowFixture f;
    openShown(f);
    QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
    auto state = [&] {
        return std::make_tuple(f.session().image.bytes, f.session().fRef,
                               f.session().solver.targetF1, f.session().solver.targetF2,
                               f.ui().leF1->text(), f.ui().leF2->text());
    };
    const auto before = state();
    if (how == "solve") {
        f.ui().leF1->setFocus();
        f.ui().leF1->selectAll();
        QTest::keyClicks(f.ui().leF1, "25000000");
        QTest::keyClick(f.ui().leF1, Qt::Key_Return);
    } else if (how == "load") {
        // Another reference, targets and configuration, the output enables among them.
        RegisterFileContents contents;
        for (int reg : SafeOrder)
            contents.registers[std::size_t(reg)] = quint8(reg ^ 0x15);
        contents.fRef = 20000000;
        contents.targetF1 = 12345678;
        contents.f1Number = 12345678;
        const QString path = files_.filePath(QString("undo-%1.cy22150.bin").arg(live));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(encodeRegisterFile(contents)), qint64(RegisterFileSize));
        file.close();
        setFileNameProvider([&](FileDialogKind, QWidget*, const QString&, const QString&,
                                const QString&) { return path; });
        f.ui().actionLoad->trigger();
        QCOMPARE(f.ui().sbFreference->value(), 20000000);
    } else {
        click(f.ui().pbCLK6);
    }
    const auto after = state();
    QVERIFY(before != after);
    if (!live)
        QCOMPARE(f.writes(), Writes{});
    QCOMPARE(f.window->editMenu()->stack()->count(), 1);
    auto expectedWrites = [&](const std::array<quint8, 256>& from,
                              const std::array<quint8, 256>& to) {
        Writes w;
        if (!live)
            return w;
        for (int reg : SafeOrder)
            if (from[std::size_t(reg)] != to[std::size_t(reg)])
                w.emplace_back(reg, to[std::size_t(reg)]);
        return w;
    };

    f.usb->resetTransfers();
    QTest::keySequence(f.window.get(), QKeySequence(Qt::CTRL | Qt::Key_Z));
    QVERIFY(state() == before);
    QCOMPARE(f.ui().sbFreference->value(), int(std::get<1>(before)));
    const Writes undone = expectedWrites(std::get<0>(after), std::get<0>(before));
    QVERIFY(!live || !undone.empty());
    QCOMPARE(f.writes(), undone);
    if (live)
        QCOMPARE(f.chip->registers()[0x13], std::get<0>(before)[0x13]);

    f.usb->resetTransfers();
    QTest::keySequence(f.window.get(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    QVERIFY(state() == after);
    QCOMPARE(f.writes(), expectedWrites(std::get<0>(before), std::get<0>(after)));
    for (int reg : SafeOrder)
        if (live)
            QCOMPARE(f.chip->registerValue(reg), f.session().image[reg]);
    QCOMPARE(f.window->editMenu()->stack()->count(), 1);
    // On demand, the chip still holds what was read: the step's registers differ.
    int differing = 0;
    for (int reg : SafeOrder)
        differing += std::get<0>(before)[std::size_t(reg)] != std::get<0>(after)[std::size_t(reg)];
    QCOMPARE(indicatorText(f),
             live ? QString("Chip: in step") : QString("Chip: %1 registers differ").arg(differing));
}

// With live writes off the plan goes into the window only, as one undo step; Write to chip then
// writes what differs, 0x09 last.
void TestChipBench::planApplyOnDemandWritesNothing() {
    saveUserLiveWrites(false);
    WindowFixture f;
    openShown(f);
    const auto before = f.session().image.bytes;
    f.window->planOutputsAction()->trigger();
    PlanDialog* dialog = f.window->planDialog();
    QVERIFY(dialog);
    QLineEdit* target = dialog->findChild<QLineEdit*>("lePlan_LCLK1");
    QVERIFY(target);
    target->clear();
    QTest::keyClicks(target, "25M");
    click(dialog->findChild<QPushButton*>("pbPlan"));
    click(dialog->findChild<QPushButton*>("pbPlanApply"));
    QCOMPARE(f.writes(), Writes{});
    QCOMPARE(f.ui().statusBar->currentMessage(),
             QString("Info: The plan is in the registers shown; Write to chip writes it."));
    QVERIFY(f.session().image.bytes != before);
    QCOMPARE(f.window->editMenu()->stack()->count(), 1);

    Writes expected;
    for (int reg : SafeOrder)
        if (f.session().image[reg] != before[std::size_t(reg)])
            expected.emplace_back(reg, f.session().image[reg]);
    QVERIFY(expected.back().first == 0x09);
    action(f, "actionWrite_to_chip")->trigger();
    QCOMPARE(f.writes(), expected);
    QCOMPARE(indicatorText(f), QString("Chip: in step"));
}

// Every register write the adapter saw since the start, and only those, is in the log, with its
// outcome; the script repeats the acknowledged ones.
void TestChipBench::chipLogListsTheTransfers() {
    WindowFixture f;
    openShown(f);
    click(bitBox(f, "cb030"));
    // The status query after the next write says the chip did not acknowledge.
    f.usb->injectFault(int(f.usb->transfers().size()) + 1, SimFault::answer(2));
    click(bitBox(f, "cb005"));
    click(bitBox(f, "cb010"));

    std::vector<SimTransfer> all = f.startUpTransfers;
    all.insert(all.end(), f.usb->transfers().begin(), f.usb->transfers().end());
    QStringList expectedScript;
    int writes = 0;
    for (const SimTransfer& t : all) {
        if (t.request != 7 || t.data.size() != 2)
            continue;
        ++writes;
        const bool refused = t.data[0] == 0x09 && t.data[1] == 0x20;
        if (!refused)
            expectedScript << QString::asprintf("i2cset -y \"$BUS\" 0x69 0x%02X 0x%02X", t.data[0],
                                                t.data[1]);
    }
    QVERIFY(writes > 12);

    f.window->findChild<QAction*>("actionChip_log")->trigger();
    ChipLogDialog* dialog = f.window->chipCommands().logDialog();
    QVERIFY(dialog);
    const QStringList lines = dialog->view()->toPlainText().split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), writes);
    const QString adapter = deviceIdentification(f.session().adapter.device);
    QVERIFY2(lines.last().endsWith(adapter + "  I2C 0x69  write 0x0C  0x00 -> 0x01  ok"),
             qPrintable(lines.last()));
    const QString refused = lines[lines.size() - 2];
    QVERIFY2(refused.contains("write 0x09  0x00 -> 0x20  Error: the chip at I2C address 0x69 did "
                              "not acknowledge"),
             qPrintable(refused));

    // The open log follows the next write.
    click(bitBox(f, "cb020"));
    const QStringList more = dialog->view()->toPlainText().split('\n', Qt::SkipEmptyParts);
    QCOMPARE(more.size(), writes + 1);
    QCOMPARE(more.mid(0, writes), lines);
    QVERIFY2(more.last().endsWith("write 0x12  0x00 -> 0x01  ok"), qPrintable(more.last()));
    expectedScript << "i2cset -y \"$BUS\" 0x69 0x12 0x01";

    const QString path = files_.filePath("log.sh");
    setFileNameProvider([&](FileDialogKind, QWidget*, const QString&, const QString&,
                            const QString&) { return path; });
    click(dialog->saveScriptButton());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QStringList script = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    QVERIFY(script.first().startsWith("#!/bin/sh"));
    script.erase(std::remove_if(script.begin(), script.end(),
                                [](const QString& l) { return !l.startsWith("i2cset"); }),
                 script.end());
    QCOMPARE(script, expectedScript);
    QVERIFY(file.permissions() & QFile::ExeOwner);
}

void TestChipBench::liveWritesChoiceIsRemembered() {
    {
        WindowFixture f;
        openShown(f);
        QAction* live = action(f, "actionWrite_changes_at_once");
        QVERIFY(live->isCheckable());
        QVERIFY(live->isChecked());  // the default
        live->trigger();
        QVERIFY(!f.session().liveWrites);
        click(bitBox(f, "cb030"));
        QCOMPARE(f.writes(), Writes{});
    }
    WindowFixture f;
    openShown(f);
    QVERIFY(!action(f, "actionWrite_changes_at_once")->isChecked());
    QCOMPARE(f.startUpTransfers.empty(), false);
    for (const SimTransfer& t : f.startUpTransfers)
        QVERIFY(t.request != 7);
}

QTEST_MAIN(TestChipBench)
#include "tst_chipbench.moc"
