// SPDX-License-Identifier: MIT
// The chip-rule indicator beside the status line, driven through the real window over the
// simulated adapter: it follows a loaded file and the user's fix, opens the list with the board
// facts, keeps those in the user's settings, and changes nothing else the window shows or writes.

#include "files/registerfile.h"
#include "session/boardsettings.h"
#include "windowfixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QListWidget>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

namespace {
const std::vector<int> GridOrder = {0x09, 0x0C, 0x12, 0x13, 0x40, 0x41,
                                    0x42, 0x44, 0x45, 0x46, 0x47};
const std::vector<int> CoreOrder = {0x0C, 0x12, 0x13, 0x40, 0x41, 0x42, 0x47};

// A 10 MHz crystal, the PLL at 200 MHz (P 200, Q 10, pump 1), all outputs on, LCLK1 DIV1CLK/DIV1N,
// LCLK2 DIV2CLK/DIV2N, LCLK3 DIV1CLK/2, LCLK4 DIV2CLK/2, CLK5 the reference, CLK6 DIV2CLK/4,
// DIV1N 8; DIV2N as given.
std::array<quint8, 256> configuration(int div2N) {
    std::array<quint8, 256> r{};
    const std::pair<int, int> shown[] = {{0x09, 0x3F}, {0x0C, 0x08}, {0x12, 0x30}, {0x13, 0x40},
                                         {0x40, 0xC4}, {0x41, 0x60}, {0x42, 0x08}, {0x44, 0x31},
                                         {0x45, 0x51}, {0x46, 0xBF}, {0x47, div2N}};
    for (auto [reg, value] : shown)
        r[std::size_t(reg)] = quint8(value);
    return r;
}

void click(QAbstractButton* button) {
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}

// The tooltip of the grid's CAPLOAD value field (0x13, the fourth row).
QString capLoadTip(const WindowFixture& f) {
    const auto* field = f.window->findChild<QLineEdit*>("leVal03");
    return field ? field->toolTip() : QStringLiteral("no field");
}

QStringList listed(const QListWidget* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->item(i)->text();
    return items;
}
}  // namespace

class TestFindingsIndicator : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void loadedFileShowsItsFindingsAndTheUsersFixClearsThem();
    void boardFactsAreSetInTheListAndKept();
    void indicatorKeepsTheWindowsGeometry();

private:
    QTemporaryDir settings_;  // the user's settings of these tests, never the real ones
    QTemporaryDir files_;
};

void TestFindingsIndicator::initTestCase() {
    QVERIFY(settings_.isValid());
    QVERIFY(files_.isValid());
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_.path());
}

void TestFindingsIndicator::init() {
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "Vantrel", "vantrel").clear();
}

void TestFindingsIndicator::cleanup() {
    setFileNameProvider({});
}

void TestFindingsIndicator::loadedFileShowsItsFindingsAndTheUsersFixClearsThem() {
    WindowFixture f;
    for (int reg = 0; reg < 256; ++reg)
        f.chip->setRegisterValue(reg, configuration(0x10)[std::size_t(reg)]);
    f.open();
    showMainWindow(*f.window);
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    QToolButton* indicator = f.views().findings.indicator();
    QVERIFY(indicator);
    QCOMPARE(indicator->parentWidget(), f.ui().statusBar);
    QCOMPARE(indicator->focusPolicy(), Qt::NoFocus);  // the form's tab order stays as it is
    QVERIFY(f.window->findChildren<QToolButton*>("findingsIndicator").contains(indicator));
    QCOMPARE(indicator->text(), QString("Chip rules: 0 findings"));
    QVERIFY(!indicator->font().bold());
    QCOMPARE(f.ui().statusBar->currentMessage(),
             QString("Info: Device configuration successfully read."));

    // DIV2N 10 under DIV2CLK/2 (LCLK4) and DIV2CLK/4 (CLK6).
    RegisterFileContents contents;
    contents.registers = configuration(0x0A);
    contents.fRef = 10000000;
    const QString path = files_.filePath("broken.cy22150.bin");
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(encodeRegisterFile(contents)) == RegisterFileSize);
    }
    setFileNameProvider([&](FileDialogKind, QWidget*, const QString&, const QString&,
                            const QString&) { return path; });
    f.ui().actionLoad->trigger();

    QCOMPARE(indicator->text(), QString("Chip rules: 2 findings"));
    QVERIFY(indicator->font().bold());
    // What the load shows and writes is what it always was.
    QCOMPARE(f.ui().statusBar->currentMessage(),
             QString("Info: %1 successfully loaded.").arg(path));
    std::vector<int> loadWrites = GridOrder;
    loadWrites.insert(loadWrites.end(), CoreOrder.begin(), CoreOrder.end());
    QCOMPARE(f.writtenRegisters(), loadWrites);
    QCOMPARE(f.ui().leLCLK4->text(), QString("100000000.00000 Hz"));

    click(indicator);
    FindingsDialog* dialog = f.views().findings.dialog();
    QVERIFY(dialog);
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    const QStringList expected = {
        "div2-half: error: LCLK4 uses DIV2CLK/2 with DIV2N = 10 (LCLK4, DIV2N)",
        "div2-quarter: error: CLK6 uses DIV2CLK/4 with DIV2N = 10 (CLK6, DIV2N)"};
    QCOMPARE(listed(dialog->list()), expected);

    // The user clears DIV2N bit 1 in the grid: DIV2N 8, a multiple of 8.
    f.usb->resetTransfers();
    click(f.window->findChild<QAbstractButton*>("cb101"));
    QCOMPARE(f.writes(), (std::vector<std::pair<int, int>>{{0x47, 0x08}}));
    QCOMPARE(int(f.chip->registerValue(0x47)), 0x08);
    QCOMPARE(indicator->text(), QString("Chip rules: 0 findings"));
    QVERIFY(!indicator->font().bold());
    QCOMPARE(listed(dialog->list()), QStringList());
    QCOMPARE(f.ui().statusBar->currentMessage(), QString());
    QCOMPARE(f.ui().leLCLK2->text(), QString("25000000.00000 Hz"));

    // A 40 MHz crystal: the reference itself, the PLL at 800 MHz and LCLK3 and LCLK4 at 400 MHz.
    // The reference box writes nothing, as before.
    f.usb->resetTransfers();
    f.ui().sbFreference->setValue(40000000);
    QCOMPARE(indicator->text(), QString("Chip rules: 4 findings"));
    QStringList ids;
    for (const QString& line : listed(dialog->list()))
        ids << line.section(':', 0, 0);
    QCOMPARE(ids, (QStringList{"vco-range", "output-high", "output-high", "reference-range"}));
    QCOMPARE(f.writes(), (std::vector<std::pair<int, int>>{}));
}

void TestFindingsIndicator::boardFactsAreSetInTheListAndKept() {
    {
        WindowFixture f;
        for (int reg = 0; reg < 256; ++reg)
            f.chip->setRegisterValue(reg, configuration(0x10)[std::size_t(reg)]);
        f.open();
        QToolButton* indicator = f.views().findings.indicator();
        QCOMPARE(indicator->text(), QString("Chip rules: 0 findings"));
        const QString status = f.ui().statusBar->currentMessage();

        click(indicator);
        FindingsDialog* dialog = f.views().findings.dialog();
        QVERIFY(dialog);
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        QCOMPARE(dialog->gradeBox()->currentText(), QString("Commercial"));
        QCOMPARE(dialog->supplyBox()->currentText(), QString("3.3 V"));
        QVERIFY(!dialog->drivenBox()->isChecked());
        QCOMPARE(dialog->boardLoadBox()->value(), 2.0);
        QCOMPARE(capLoadTip(f), QString("Crystal load 14.00 pF: CAPLOAD 64 x 0.09375 pF + 6 pF "
                                        "on the chip + 2 pF on the board"));

        // The start-up scan set CAPLOAD 64, which a driven clock does not want.
        dialog->drivenBox()->setFocus();
        QTest::keyClick(dialog->drivenBox(), Qt::Key_Space);
        QCOMPARE(indicator->text(), QString("Chip rules: 1 finding"));
        QCOMPARE(listed(dialog->list()),
                 QStringList{"capload-driven: warning: CAPLOAD is 64 with a driven clock; a "
                             "driven clock wants 0 (CAPLOAD)"});
        dialog->gradeBox()->setCurrentIndex(1);
        dialog->supplyBox()->setCurrentIndex(1);
        dialog->boardLoadBox()->setValue(3.5);
        QCOMPARE(dialog->boardLoadBox()->value(), 3.5);  // the other facts kept it
        QCOMPARE(indicator->text(), QString("Chip rules: 1 finding"));
        // Board facts are no register: nothing is written, the status line stays.
        QCOMPARE(f.writes(), (std::vector<std::pair<int, int>>{}));
        QCOMPARE(f.ui().statusBar->currentMessage(), status);
    }

    const QSettings kept(QSettings::NativeFormat, QSettings::UserScope, "Vantrel", "vantrel");
    QCOMPARE(kept.value("board/grade").toString(), QString("industrial"));
    QCOMPARE(kept.value("board/supply").toString(), QString("2.5"));
    QCOMPARE(kept.value("board/reference").toString(), QString("driven"));
    QCOMPARE(kept.value("board/loadPf").toString(), QString("3.5"));

    // The next window checks with the kept facts from the start.
    WindowFixture f;
    for (int reg = 0; reg < 256; ++reg)
        f.chip->setRegisterValue(reg, configuration(0x10)[std::size_t(reg)]);
    f.open();
    QCOMPARE(f.session().board.grade, PartGrade::Industrial);
    QCOMPARE(f.session().board.supply, LclkSupply::V2_5);
    QCOMPARE(f.session().board.reference, ReferenceKind::DrivenClock);
    QCOMPARE(f.session().board.boardLoadPf, 3.5);
    QCOMPARE(capLoadTip(f), QString("Crystal load 15.50 pF: CAPLOAD 64 x 0.09375 pF + 6 pF on the "
                                    "chip + 3.5 pF on the board"));
    QCOMPARE(f.views().findings.indicator()->text(), QString("Chip rules: 1 finding"));
}

// The indicator sits in the status bar without making it taller: the form's areas keep their
// places, as a window built from the form alone has them.
void TestFindingsIndicator::indicatorKeepsTheWindowsGeometry() {
    WindowFixture f;
    f.open();
    showMainWindow(*f.window);
    QMainWindow bare;
    MainWindowForm form;
    form.setupUi(&bare);
    bare.resize(MainWindowWidth, MainWindowHeight);
    bare.show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    QVERIFY(QTest::qWaitForWindowExposed(&bare));
    QCOMPARE(f.window->size(), bare.size());
    QCOMPARE(f.ui().centralWidget->geometry(), form.centralWidget->geometry());
    QCOMPARE(f.ui().statusBar->geometry(), form.statusBar->geometry());
    QVERIFY(f.views().findings.indicator()->isVisible());
}

QTEST_MAIN(TestFindingsIndicator)
#include "tst_findingsindicator.moc"
