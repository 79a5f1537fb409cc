// SPDX-License-Identifier: MIT
#include "app/mainwindow.h"
#include "cli/cli.h"
#include "emulatedusb.h"
#include "files/registerfile.h"
#include "frequency/chiprules.h"
#include "frequency/frequencyreadout.h"
#include "usb/libusbbackend.h"
#include "views/mainwindowform.h"
#include "windowfixture.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QProcess>
#include <QProgressBar>
#include <QSpinBox>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

// Vantrel as a user runs it: the real window with its libusb-1.0 backend, on a machine whose USB
// devices are emulated below libusb (umockdev), with CY22150 chips behind i2c-tiny-usb adapters.
// Every check looks at what reached the emulated chips and at what the window shows.

namespace {
using Registers = std::array<quint8, SimCy22150::RegisterCount>;
using Outcome = ControlTransferRecord::Outcome;

constexpr int DefaultChipAddress = 0x69;
constexpr int OtherChipAddress = 0x50;
const std::vector<int> GridOrder = {0x09, 0x0C, 0x12, 0x13, 0x40, 0x41,
                                    0x42, 0x44, 0x45, 0x46, 0x47};
const std::vector<int> CoreOrder = {0x0C, 0x12, 0x13, 0x40, 0x41, 0x42, 0x47};
const char* const ReadSuccess = "Info: Device configuration successfully read.";
const char* const NotFound = "Error: Device not found at this interface!";
const char* const TimedOut = "Error: Operation timed out";

// 256 bytes that differ from register to register, with a working clock configuration in the
// eleven registers that the tool shows.
Registers chipContents(int seed, std::initializer_list<std::pair<int, int>> shown) {
    Registers r{};
    for (int reg = 0; reg < SimCy22150::RegisterCount; ++reg)
        r[std::size_t(reg)] = quint8(reg * 29 + seed);
    for (auto [reg, value] : shown)
        r[std::size_t(reg)] = quint8(value);
    return r;
}

// PLL 10 MHz x 200 / 10 = 200 MHz (PB 96, Q 8, pump 1); all outputs on; LCLK1 DIV1CLK/DIV1N,
// LCLK2 DIV2CLK/DIV2N, LCLK3 DIV1CLK/2, LCLK4 DIV2CLK/2, CLK5 F ref, CLK6 DIV2CLK/4; DIV1N 8 and
// DIV2N 16, both from the PLL, so it keeps the chip's rules; CAPLOAD 0x20, which the start-up scan
// replaces by 0x40.
const Registers FirstChip = chipContents(3, {{0x09, 0x3F},
                                             {0x0C, 0x08},
                                             {0x12, 0x30},
                                             {0x13, 0x20},
                                             {0x40, 0xC4},
                                             {0x41, 0x60},
                                             {0x42, 0x08},
                                             {0x44, 0x31},
                                             {0x45, 0x51},
                                             {0x46, 0xBF},
                                             {0x47, 0x10}});
// PLL 10 MHz x 60 / 2 = 300 MHz; LCLK1 and LCLK3 on; LCLK1 DIV2CLK/DIV2N, LCLK2 DIV1CLK/DIV1N,
// the rest F ref; DIV1N 6 from the PLL, DIV2N 12 from the reference; CAPLOAD 0x30.
const Registers SecondChip = chipContents(101, {{0x09, 0x05},
                                                {0x0C, 0x06},
                                                {0x12, 0x28},
                                                {0x13, 0x30},
                                                {0x40, 0xC4},
                                                {0x41, 0x1A},
                                                {0x42, 0x00},
                                                {0x44, 0x84},
                                                {0x45, 0x00},
                                                {0x46, 0x3F},
                                                {0x47, 0x8C}});
const Registers ThirdChip = chipContents(57, {});

// The machine of every test: three adapters and other devices on three busses. libusb lists bus
// 3 first, so the adapter there is the one that the start-up scan opens.
struct Machine {
    EmulatedUsb usb;
    std::shared_ptr<EmulatedDevice> first;   // BUS_003-DEV_004
    std::shared_ptr<EmulatedDevice> second;  // BUS_001-DEV_005
    std::shared_ptr<EmulatedDevice> third;   // BUS_001-DEV_006, its chip answers at 0x50
    std::vector<std::shared_ptr<EmulatedDevice>> others;

    Machine() {
        others.push_back(usb.addDevice(
            EmulatedDeviceProfile::ordinary(1, 2, 0x046D, 0xC31C, "Logitech", "USB Keyboard")));
        second = usb.addAdapter(1, 5, DefaultChipAddress, SecondChip);
        third = usb.addAdapter(1, 6, OtherChipAddress, ThirdChip);
        others.push_back(usb.addDevice(
            EmulatedDeviceProfile::ordinary(2, 3, 0x0403, 0x6001, "FTDI", "FT232R USB UART")));
        others.push_back(
            usb.addDevice(EmulatedDeviceProfile::ordinary(2, 7, 0x046D, 0xC077, "", "")));
        EmulatedDeviceProfile mute =
            EmulatedDeviceProfile::ordinary(2, 8, 0x1234, 0x5678, "Mute", "Strings stall");
        mute.answersStringRequests = false;
        others.push_back(usb.addDevice(mute));
        first = usb.addAdapter(3, 4, DefaultChipAddress, FirstChip);
    }

    void powerCycle() {
        for (const auto& device : {first, second, third})
            device->powerCycle();
        for (const auto& device : others)
            device->powerCycle();
    }
    void clearTransfers() {
        for (const auto& device : {first, second, third})
            device->clearTransfers();
        for (const auto& device : others)
            device->clearTransfers();
    }
};

// The listing entries in libusb's order: the reverse of the sysfs names.
const QStringList Listing = {"BUS_003-DEV_004-VID_0403-PID_C631 - Vantrel emulation - i2c-tiny-usb",
                             "BUS_002-DEV_008-VID_1234-PID_5678",
                             "BUS_002-DEV_007-VID_046D-PID_C077",
                             "BUS_002-DEV_003-VID_0403-PID_6001 - FTDI - FT232R USB UART",
                             "BUS_001-DEV_006-VID_0403-PID_C631 - Vantrel emulation - i2c-tiny-usb",
                             "BUS_001-DEV_005-VID_0403-PID_C631 - Vantrel emulation - i2c-tiny-usb",
                             "BUS_001-DEV_002-VID_046D-PID_C31C - Logitech - USB Keyboard"};
constexpr int SecondEntry = 5;
constexpr int ThirdEntry = 4;

// A class request as the adapter saw it, comparable and printable.
struct Request {
    int type;
    int request;
    int value;
    int index;
    QByteArray data;
    Outcome outcome = Outcome::Answered;

    bool operator==(const Request& o) const {
        return type == o.type && request == o.request && value == o.value && index == o.index &&
               data == o.data && outcome == o.outcome;
    }
    QString text() const {
        return QString::asprintf("%02X %d %d 0x%02X [%s]%s", type, request, value, index,
                                 data.toHex(' ').constData(),
                                 outcome == Outcome::Unanswered ? " unanswered" : "");
    }
};

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray array;
    for (int v : values)
        array.append(char(v));
    return array;
}

std::vector<Request> requestsSeen(const EmulatedDevice& device) {
    std::vector<Request> seen;
    for (const ControlTransferRecord& t : device.adapterTransfers())
        seen.push_back(
            Request{t.setup.requestType, t.setup.request, t.setup.value, t.setup.index,
                    QByteArray(reinterpret_cast<const char*>(t.data.data()), int(t.data.size())),
                    t.outcome});
    return seen;
}

Request status(int value) {
    return Request{0xA0, 3, 0, 0, bytes({value})};
}

// What opening an adapter sends first: the end of any I2C transaction left open, no data.
Request endTransaction(int i2cAddress, Outcome outcome = Outcome::Answered) {
    return Request{0x20, 6, 0, i2cAddress, QByteArray(), outcome};
}

// The 515 transfers of a read of all 256 registers from a chip that answers.
std::vector<Request> fullRead(const Registers& chip, int i2cAddress) {
    std::vector<Request> r{Request{0x20, 5, 0, i2cAddress, bytes({0x00})}, status(1)};
    for (int reg = 0; reg < SimCy22150::RegisterCount; ++reg) {
        const int request = reg == SimCy22150::RegisterCount - 1 ? 6 : 4;
        r.push_back(Request{0xA0, request, 1, i2cAddress, bytes({chip[std::size_t(reg)]})});
        r.push_back(status(1));
    }
    r.push_back(status(1));
    return r;
}

// Register writes, each acknowledged.
std::vector<Request> writes(const std::vector<std::pair<int, int>>& registerValues) {
    std::vector<Request> r;
    for (auto [reg, value] : registerValues) {
        r.push_back(Request{0x20, 7, 0, DefaultChipAddress, bytes({reg, value})});
        r.push_back(status(1));
    }
    return r;
}

std::vector<std::pair<int, int>> gridWrites(const Registers& values) {
    std::vector<std::pair<int, int>> pairs;
    for (int reg : GridOrder)
        pairs.emplace_back(reg, values[std::size_t(reg)]);
    return pairs;
}

std::vector<Request> concat(std::initializer_list<std::vector<Request>> parts) {
    std::vector<Request> all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Empty when the sequences agree, else where they part.
QString difference(const std::vector<Request>& seen, const std::vector<Request>& expected) {
    for (std::size_t i = 0; i < std::max(seen.size(), expected.size()); ++i) {
        const QString a = i < seen.size() ? seen[i].text() : QStringLiteral("nothing");
        const QString e = i < expected.size() ? expected[i].text() : QStringLiteral("nothing");
        if (a != e)
            return QString("transfer %1 of %2 (expected %3): %4, expected %5")
                .arg(i)
                .arg(seen.size())
                .arg(expected.size())
                .arg(a, e);
    }
    return {};
}

#define COMPARE_REQUESTS(seen, expected)                     \
    do {                                                     \
        const QString diff = difference((seen), (expected)); \
        QVERIFY2(diff.isEmpty(), qPrintable(diff));          \
    } while (false)

std::vector<int> writtenRegisters(const EmulatedDevice& device) {
    std::vector<int> registers;
    for (const Request& r : requestsSeen(device))
        if (r.request == 7)
            registers.push_back(quint8(r.data.at(0)));
    return registers;
}

std::vector<int> concat(std::initializer_list<std::vector<int>> parts) {
    std::vector<int> all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// What output LCLK1 of a chip gives, from its registers alone, with a 10 MHz reference.
double lclk1Frequency(const Registers& r) {
    const double fRef = 10e6;
    const int pb = (r[0x40] & 3) << 8 | r[0x41];
    const int po = r[0x42] >> 7;
    const int q = r[0x42] & 0x7F;
    const double fPll = fRef * (2 * (pb + 4) + po) / (q + 2);
    const double div1Clk = (r[0x0C] & 0x80) ? fRef : fPll;
    const double div2Clk = (r[0x47] & 0x80) ? fRef : fPll;
    const int code = r[0x44] >> 5;
    switch (code) {
        case 0:
            return fRef;
        case 1:
            return div1Clk / (r[0x0C] & 0x7F);
        case 2:
            return div1Clk / 2;
        case 3:
            return div1Clk / 3;
        case 4:
            return div2Clk / (r[0x47] & 0x7F);
        case 5:
            return div2Clk / 2;
        case 6:
            return div2Clk / 4;
        default:
            return 0;
    }
}

void clickButton(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}
}  // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void startupScanReadsTheFirstAdapter();
    void deviceListNamesEveryDevice();
    void gridEditReachesTheChip_data();
    void gridEditReachesTheChip();
    void diagramEditReachesTheChip_data();
    void diagramEditReachesTheChip();
    void solveReachesTheChip();
    void planOnTheCommandLineReachesTheChip();
    void openReadsTheSelectedAdapter();
    void chipThatDoesNotAcknowledge_data();
    void chipThatDoesNotAcknowledge();
    void gridEditOnAdapterThatStoppedAnswering();
    void openOnAdapterThatStopsAnswering_data();
    void openOnAdapterThatStopsAnswering();
    void cliReadAsJson();
    void cliReadNamesTheTransferThatTimedOut_data();
    void cliReadNamesTheTransferThatTimedOut();
    void cliRefusesToProgramWhatBreaksTheChipsRules_data();
    void cliRefusesToProgramWhatBreaksTheChipsRules();
    void adapterLockedOnlyWhileTransferring();

private:
    // Starts Vantrel as main() does, over libusb-1.0, and waits for its start-up scan; the devices'
    // logs start empty afterwards.
    MainWindow& startVantrel();
    MainWindowForm& ui() const { return *window_->form(); }
    RegisterImage& image() const { return window_->session().image; }
    QString gridValue(int row) const;
    QString statusLine() const { return ui().statusBar->currentMessage(); }

    std::unique_ptr<Machine> machine_;
    std::unique_ptr<MainWindow> window_;
};

void TestEndToEnd::initTestCase() {
    QVERIFY2(EmulatedUsb::preloaded(), "umockdev's preload library is missing from LD_PRELOAD");
    QStandardPaths::setTestModeEnabled(true);  // the window's settings are never the user's
    QLoggingCategory::setFilterRules(
        QStringLiteral("qt.core.qmetaobject.connectslotsbyname=false"));
    // Before the first libusb_init of the process.
    machine_ = std::make_unique<Machine>();
}

void TestEndToEnd::init() {
    machine_->powerCycle();
}

void TestEndToEnd::cleanup() {
    window_.reset();
}

void TestEndToEnd::cleanupTestCase() {
    machine_.reset();
}

MainWindow& TestEndToEnd::startVantrel() {
    window_ = std::make_unique<MainWindow>();
    showMainWindow(*window_);
    if (!waitForStartUpScan(*window_))
        qFatal("the window's start-up scan did not run");
    machine_->clearTransfers();
    return *window_;
}

QString TestEndToEnd::gridValue(int row) const {
    return window_->findChild<QLineEdit*>(QString::asprintf("leVal%02d", row))->text();
}

void TestEndToEnd::startupScanReadsTheFirstAdapter() {
    window_ = std::make_unique<MainWindow>();
    QVERIFY(waitForStartUpScan(*window_));

    // The read of all 256 registers, then CAPLOAD forced to 0x40, then the grid's eleven.
    Registers expectedChip = FirstChip;
    expectedChip[0x13] = 0x40;
    COMPARE_REQUESTS(requestsSeen(*machine_->first),
                     concat({{endTransaction(DefaultChipAddress)},
                             fullRead(FirstChip, DefaultChipAddress),
                             writes({{0x13, 0x40}}),
                             writes(gridWrites(expectedChip))}));
    QCOMPARE(int(requestsSeen(*machine_->first).size()), 1 + 515 + 2 + 22);
    QVERIFY(machine_->first->chipRegisters() == expectedChip);
    QVERIFY(image().bytes == expectedChip);

    // Only the first adapter was opened for use.
    for (const auto& device : {machine_->second, machine_->third})
        QVERIFY(device->adapterTransfers().empty());
    for (const auto& device : machine_->others)
        QVERIFY(device->adapterTransfers().empty());

    const QStringList shown = {"0x3F", "0x08", "0x30", "0x40", "0xC4", "0x60",
                               "0x08", "0x31", "0x51", "0xBF", "0x10"};
    for (int row = 0; row < int(GridOrder.size()); ++row)
        QCOMPARE(gridValue(row), shown.at(row));
    QCOMPARE(ui().sbPB->value(), 96);
    QCOMPARE(ui().sbQCounter->value(), 8);
    QCOMPARE(ui().cbMatrix_CLK6->currentText(), QString("DIV2CLK/4"));
    QCOMPARE(ui().LOADSAVEprogressBar->value(), ui().LOADSAVEprogressBar->maximum());
    QCOMPARE(statusLine(), QString(ReadSuccess));
}

void TestEndToEnd::deviceListNamesEveryDevice() {
    startVantrel();
    QStringList entries;
    for (int i = 0; i < ui().USBcomboBox->count(); ++i)
        entries << ui().USBcomboBox->itemText(i);
    QCOMPARE(entries, Listing);
    QCOMPARE(ui().USBcomboBox->currentIndex(), 0);

    // A rescan lists the same devices again and reopens the first adapter.
    ui().actionScan->trigger();
    QCOMPARE(ui().USBcomboBox->count(), int(Listing.size()));
    QCOMPARE(ui().USBcomboBox->itemText(6), Listing.at(6));
    QCOMPARE(int(requestsSeen(*machine_->first).size()), 1 + 515 + 2 + 22);
    // Every device with strings was asked for them; none of the others was used.
    for (const auto& device : machine_->others) {
        const UsbDeviceIdentity& id = device->profile().identity;
        QCOMPARE(device->transfers().empty(), id.manufacturer.empty() && id.product.empty());
        QVERIFY(device->adapterTransfers().empty());
    }
    QVERIFY(machine_->second->adapterTransfers().empty());
}

void TestEndToEnd::gridEditReachesTheChip_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("bit");
    QTest::addColumn<int>("reg");
    QTest::addColumn<int>("value");

    QTest::newRow("CLK6 off") << 0 << 5 << 0x09 << 0x1F;
    QTest::newRow("DIV1SRC to the reference") << 1 << 7 << 0x0C << 0x88;
    QTest::newRow("CPL_0") << 3 << 0 << 0x13 << 0x41;
    QTest::newRow("PB_8") << 4 << 0 << 0x40 << 0xC5;
    QTest::newRow("DIV2N_1") << 10 << 1 << 0x47 << 0x12;
}

void TestEndToEnd::gridEditReachesTheChip() {
    QFETCH(int, row);
    QFETCH(int, bit);
    QFETCH(int, reg);
    QFETCH(int, value);
    MainWindow& w = startVantrel();

    clickButton(w.findChild<QAbstractButton*>(QString::asprintf("cb%02d%d", row, bit)));
    COMPARE_REQUESTS(requestsSeen(*machine_->first), writes({{reg, value}}));
    QCOMPARE(int(machine_->first->chipRegister(reg)), value);
    QCOMPARE(int(image()[reg]), value);
    QCOMPARE(gridValue(row), QString::asprintf("0x%02X", value));
}

void TestEndToEnd::diagramEditReachesTheChip_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("reg");
    QTest::addColumn<int>("value");
    QTest::addColumn<std::vector<int>>("written");

    // Each handler writes the grid's eleven registers in its refresh and its own besides.
    QTest::newRow("output button CLK6") << "pbCLK6" << 0x09 << 0x1F << concat({GridOrder, {0x09}});
    QTest::newRow("DIV1 clock from the reference")
        << "rbDIV1CLK_ref" << 0x0C << 0x88 << concat({GridOrder, {0x0C}});
    QTest::newRow("PO") << "cbPO" << 0x42 << 0x88 << concat({GridOrder, {0x42}});
    // Q from 8 to 9; the spin-box handler rewrites the seven core registers.
    QTest::newRow("Q counter") << "sbQCounter" << 0x42 << 0x09 << concat({GridOrder, CoreOrder});
    // LCLK2 from DIV2CLK/DIV2N (4) to DIV2CLK/2 (5): codes 1 5 2 5 0 6 give 0x35 0x51 0xBF; the
    // matrix handler writes its three registers before the grid refresh.
    QTest::newRow("LCLK2 crosspoint")
        << "cbMatrix_LCLK2" << 0x44 << 0x35 << concat({{0x44, 0x45, 0x46}, GridOrder});
}

void TestEndToEnd::diagramEditReachesTheChip() {
    QFETCH(QString, control);
    QFETCH(int, reg);
    QFETCH(int, value);
    QFETCH(std::vector<int>, written);
    MainWindow& w = startVantrel();

    QWidget* widget = w.findChild<QWidget*>(control);
    QVERIFY(widget != nullptr);
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        clickButton(button);
    } else {
        widget->setFocus();
        const Qt::Key key = qobject_cast<QSpinBox*>(widget) ? Qt::Key_Up : Qt::Key_Down;
        QTest::keyClick(widget, key);
    }

    QCOMPARE(writtenRegisters(*machine_->first), written);
    QCOMPARE(int(machine_->first->chipRegister(reg)), value);
    // Whatever was written, chip and image agree on every register the tool shows.
    for (int shown : GridOrder)
        QCOMPARE(int(machine_->first->chipRegister(shown)), int(image()[shown]));
    QCOMPARE(gridValue(int(std::find(GridOrder.begin(), GridOrder.end(), reg) - GridOrder.begin())),
             QString::asprintf("0x%02X", value));
}

void TestEndToEnd::solveReachesTheChip() {
    startVantrel();
    QLineEdit* f1 = ui().leF1;
    f1->setFocus();
    f1->selectAll();
    QTest::keyClick(f1, Qt::Key_Delete);
    QTest::keyClicks(f1, "50000000");
    QTest::keyClick(f1, Qt::Key_Return);

    // The solution ends with the core registers; chip and image then agree on every register
    // shown, and the chip's own registers make LCLK1 run at the target.
    const std::vector<int> written = writtenRegisters(*machine_->first);
    QVERIFY(written.size() >= CoreOrder.size());
    QCOMPARE(std::vector<int>(written.end() - long(CoreOrder.size()), written.end()), CoreOrder);
    const Registers chip = machine_->first->chipRegisters();
    for (int shown : GridOrder)
        QCOMPARE(int(chip[std::size_t(shown)]), int(image()[shown]));
    QVERIFY2(std::abs(lclk1Frequency(chip) - 50e6) < 1e-3,
             qPrintable(QString::number(lclk1Frequency(chip), 'f', 5)));
    QCOMPARE(ui().leLCLK1->text(), QString("50000000.00000 Hz"));
}

void TestEndToEnd::planOnTheCommandLineReachesTheChip() {
    // The installed program, a process of its own over libusb-1.0, on the same emulated machine.
    machine_->clearTransfers();
    QProcess cli;
    cli.start(QStringLiteral(VANTREL_CLI_PROGRAM),
              {"plan", "--ref", "10M", "LCLK1=50M", "lclk3=12.5M", "--write", "--device", "3:4"});
    QVERIFY(cli.waitForFinished(30000));
    const QString out = QString::fromUtf8(cli.readAllStandardOutput());
    QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
    QVERIFY2(cli.exitCode() == 0, qPrintable(QString::fromUtf8(cli.readAllStandardError())));
    QVERIFY2(out.endsWith("Programmed the chip.\n"), qPrintable(out));

    // The chip's configuration was read, written in the safe order, and read back.
    std::vector<int> safeOrder(SafeWriteOrder.begin(), SafeWriteOrder.end());
    QCOMPARE(writtenRegisters(*machine_->first), safeOrder);
    QVERIFY(writtenRegisters(*machine_->second).empty());
    RegisterImage chip;
    chip.bytes = machine_->first->chipRegisters();
    const FrequencyReadout readout = readFrequencies(chip, 10e6, NormalPllRange);
    QCOMPARE(readout.outputs[0], 50e6);
    QCOMPARE(readout.outputs[2], 12.5e6);
    // The outputs not named are held at their frequencies (12.5, 100, 10 and 50 MHz, which a
    // plan meets exactly here), and the chip keeps every rule.
    QCOMPARE(Field::outputEnables(chip), 0x3F);
    RegisterImage before;
    before.bytes = FirstChip;
    const FrequencyReadout held = readFrequencies(before, 10e6, NormalPllRange);
    for (int output : {1, 3, 4, 5})
        QCOMPARE(readout.outputs[std::size_t(output)], held.outputs[std::size_t(output)]);
    QVERIFY(out.contains("LCLK4  "));
    QVERIFY2(out.contains(" held at 100000000.00000 Hz  error +0.00000 Hz  +0.000 ppm\n"),
             qPrintable(out));
    QVERIFY(checkChipRules(chip, 10e6, BoardFacts{}).isEmpty());
}

void TestEndToEnd::openReadsTheSelectedAdapter() {
    startVantrel();
    ui().USBcomboBox->setCurrentIndex(SecondEntry);
    ui().actionOpen->trigger();

    // Open keeps CAPLOAD as read; its grid refresh writes the eleven registers back.
    COMPARE_REQUESTS(requestsSeen(*machine_->second),
                     concat({{endTransaction(DefaultChipAddress)},
                             fullRead(SecondChip, DefaultChipAddress),
                             writes(gridWrites(SecondChip))}));
    QVERIFY(image().bytes == SecondChip);
    QVERIFY(machine_->second->chipRegisters() == SecondChip);
    QVERIFY(machine_->first->adapterTransfers().empty());
    QCOMPARE(gridValue(3), QString("0x30"));
    QCOMPARE(ui().sbPB->value(), 26);
    QVERIFY(ui().rbDIV2CLK_ref->isChecked());
    QCOMPARE(statusLine(), QString(ReadSuccess));

    // Edits now go to the second adapter's chip.
    clickButton(ui().pbLCLK2);
    QCOMPARE(int(machine_->second->chipRegister(0x09)), 0x07);
    QVERIFY(machine_->first->adapterTransfers().empty());
}

void TestEndToEnd::chipThatDoesNotAcknowledge_data() {
    QTest::addColumn<bool>("openThird");  // else choose the I2C address 0x50
    QTest::addColumn<int>("i2cAddress");

    // The third adapter's chip answers at 0x50 only.
    QTest::newRow("Open on an adapter whose chip is elsewhere") << true << DefaultChipAddress;
    // The first adapter opens and its chip is silent at 0x50; no other adapter is tried.
    QTest::newRow("another I2C address rescans") << false << OtherChipAddress;
}

void TestEndToEnd::chipThatDoesNotAcknowledge() {
    QFETCH(bool, openThird);
    QFETCH(int, i2cAddress);
    startVantrel();
    const RegisterImage before = image();

    if (openThird) {
        ui().USBcomboBox->setCurrentIndex(ThirdEntry);
        ui().actionOpen->trigger();
    } else {
        ui().DeviceAddresscomboBox->setCurrentIndex(OtherChipAddress);
    }
    const EmulatedDevice& asked = openThird ? *machine_->third : *machine_->first;
    const EmulatedDevice& untouched = openThird ? *machine_->first : *machine_->third;
    // The read that found no chip ends the transaction its set-up began.
    COMPARE_REQUESTS(requestsSeen(asked),
                     (std::vector<Request>{
                         endTransaction(i2cAddress), Request{0x20, 5, 0, i2cAddress, bytes({0x00})},
                         status(SimI2cTinyUsb::StatusNak), endTransaction(i2cAddress)}));
    QVERIFY(untouched.adapterTransfers().empty());
    QCOMPARE(statusLine(), QString(NotFound));
    QVERIFY(image().bytes == before.bytes);
    QCOMPARE(gridValue(0), QString("0x3F"));
}

void TestEndToEnd::gridEditOnAdapterThatStoppedAnswering() {
    MainWindow& w = startVantrel();
    machine_->first->stopAnswering();

    // The write waits for its time-out, once, then the end of the transaction it may have left
    // open waits for its own; the write's failure stays in the status bar.
    clickButton(w.findChild<QAbstractButton*>("cb005"));
    COMPARE_REQUESTS(
        requestsSeen(*machine_->first),
        (std::vector<Request>{
            Request{0x20, 7, 0, DefaultChipAddress, bytes({0x09, 0x1F}), Outcome::Unanswered},
            endTransaction(DefaultChipAddress, Outcome::Unanswered)}));
    QCOMPARE(statusLine(), QString(TimedOut));
    QCOMPARE(int(image()[0x09]), 0x1F);
    QCOMPARE(int(machine_->first->chipRegister(0x09)), 0x3F);
    QVERIFY(ui().pbCLK6->isChecked() == false);

    // Once the adapter answers again, the next edit reaches the chip.
    machine_->first->resumeAnswering();
    machine_->first->clearTransfers();
    clickButton(w.findChild<QAbstractButton*>("cb004"));
    COMPARE_REQUESTS(requestsSeen(*machine_->first), writes({{0x09, 0x0F}}));
    QCOMPARE(int(machine_->first->chipRegister(0x09)), 0x0F);
}

void TestEndToEnd::openOnAdapterThatStopsAnswering_data() {
    QTest::addColumn<int>("answered");   // transfers answered before the adapter falls silent
    QTest::addColumn<int>("bytesRead");  // image bytes that came from the chip before that

    // The open's end of transaction is answered, then the read set-up is not.
    QTest::newRow("at the read set-up") << 1 << 0;
    // The open, set-up, status and 49 pairs of byte and status: the read of register 49 finds no
    // answer.
    QTest::newRow("in the middle of the read") << 1 + 2 + 2 * 49 << 49;
}

void TestEndToEnd::openOnAdapterThatStopsAnswering() {
    QFETCH(int, answered);
    QFETCH(int, bytesRead);
    startVantrel();
    const RegisterImage before = image();
    for (int reg = 0; reg < SimCy22150::RegisterCount; ++reg)
        machine_->first->setChipRegister(reg, quint8(~FirstChip[std::size_t(reg)]));
    const Registers chip = machine_->first->chipRegisters();

    machine_->first->stopAnsweringAfter(answered);
    ui().actionOpen->trigger();  // the first adapter is still the selected entry

    // The transfer that found no answer, then the end of its transaction, which finds none either.
    const std::vector<Request> seen = requestsSeen(*machine_->first);
    QCOMPARE(int(seen.size()), answered + 2);
    QCOMPARE(seen.at(seen.size() - 2).outcome, Outcome::Unanswered);
    QCOMPARE(seen.back().text(), endTransaction(DefaultChipAddress, Outcome::Unanswered).text());
    QCOMPARE(statusLine(), QString(TimedOut));
    // Bytes read before the time-out stay in the image; the rest keep their old values.
    for (int reg = 0; reg < SimCy22150::RegisterCount; ++reg)
        QCOMPARE(int(image()[reg]), int(reg < bytesRead ? chip[std::size_t(reg)] : before[reg]));
    QCOMPARE(gridValue(0), QString("0x3F"));  // no refresh after a failed open
    if (bytesRead > 0) {
        const QProgressBar* bar = ui().LOADSAVEprogressBar;
        QCOMPARE(bar->value(), bytesRead * bar->maximum() / SimCy22150::RegisterCount);
    }
}

namespace {
struct CliRun {
    int code = -1;
    QString out;
    QString err;
};

// vantrel-cli's command line over the real libusb-1.0 on the emulated machine.
CliRun runVantrelCli(const QStringList& arguments) {
    LibUsbBackend usb;
    CliRun r;
    QTextStream out(&r.out);
    QTextStream err(&r.err);
    r.code = runCli(QStringList{"vantrel-cli"} + arguments, usb, out, err, CliEnvironment{});
    out.flush();
    err.flush();
    return r;
}
}  // namespace

// The JSON document of a read holds what the chip holds, as libusb-1.0 read it.
void TestEndToEnd::cliReadAsJson() {
    const CliRun r = runVantrelCli({"read", "--json", "--device", "1:5"});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err, QString());
    QJsonParseError error;
    const QJsonObject doc = QJsonDocument::fromJson(r.out.toUtf8(), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(doc.value("device").toObject().value("entry").toString(), Listing[SecondEntry]);
    const QJsonObject registers = doc.value("registers").toObject();
    QCOMPARE(registers.size(), int(GridOrder.size()));
    for (int reg : GridOrder) {
        QCOMPARE(registers.value(QString::asprintf("0x%02X", reg)).toInt(),
                 int(SecondChip[std::size_t(reg)]));
    }
    // 10 MHz x 60 / 2 = 300 MHz; LCLK1 from DIV2CLK/DIV2N, DIV2N 12 from the reference.
    const QJsonObject frequencies = doc.value("frequencies").toObject();
    QCOMPARE(frequencies.value("pll").toDouble(), 300e6);
    QCOMPARE(frequencies.value("outputs").toArray()[0].toObject().value("hz").toDouble(),
             10e6 / 12);
    QVERIFY(machine_->second->chipRegisters() == SecondChip);  // read only
}

void TestEndToEnd::cliReadNamesTheTransferThatTimedOut_data() {
    QTest::addColumn<int>("answered");  // transfers answered before the adapter falls silent
    QTest::addColumn<QString>("error");
    QTest::newRow("status after the set-up")
        << 1
        << "Error: reading the chip failed at the status query after setting the register "
           "pointer: Operation timed out";
    QTest::newRow("byte of register 49") << 2 + 2 * 49
                                         << "Error: reading the chip failed at reading register "
                                            "0x31: Operation timed out";
}

// Where the window says "Error: Operation timed out", the command line says which transfer.
void TestEndToEnd::cliReadNamesTheTransferThatTimedOut() {
    QFETCH(int, answered);
    QFETCH(QString, error);
    // The command names the devices first, which reads each one's strings over its control
    // endpoint; those transfers come before the read's.
    QCOMPARE(runVantrelCli({"list"}).code, 0);
    const int listing = int(machine_->second->transfers().size());
    QVERIFY(machine_->second->adapterTransfers().empty());
    machine_->second->clearTransfers();
    // The open's end of any transaction left open comes first, and is answered.
    machine_->second->stopAnsweringAfter(listing + 1 + answered);
    const CliRun r = runVantrelCli({"read", "--device", "1:5"});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.out, QString());
    QCOMPARE(r.err, error + '\n');
    // The transfer that found no answer, then the end of its transaction, which finds none either.
    const std::vector<Request> seen = requestsSeen(*machine_->second);
    QCOMPARE(int(seen.size()), 1 + answered + 2);
    QCOMPARE(seen.front().text(), endTransaction(DefaultChipAddress).text());
    QCOMPARE(seen.at(seen.size() - 2).outcome, Outcome::Unanswered);
    QCOMPARE(seen.back().text(), endTransaction(DefaultChipAddress, Outcome::Unanswered).text());
}

void TestEndToEnd::cliRefusesToProgramWhatBreaksTheChipsRules_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("readsFirst");  // the chip is read before the refusal

    QTest::newRow("write") << QStringList{"write", "BROKEN"} << false;
    // The chip's LCLK3 stays on DIV1CLK/2, which the solve's DIV1N 6 breaks.
    QTest::newRow("solve --write")
        << QStringList{"solve", "--ref", "10000000", "--f1", "33333333", "--write"} << true;
}

// The real vantrel-cli in a process of its own, on the emulated machine: a configuration that
// breaks one of the chip's rules never reaches the chip unless --force is given.
void TestEndToEnd::cliRefusesToProgramWhatBreaksTheChipsRules() {
    QFETCH(QStringList, arguments);
    QFETCH(bool, readsFirst);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    RegisterFileContents contents;
    contents.registers = FirstChip;
    contents.registers[0x47] = 0x0A;  // DIV2N 10 under DIV2CLK/2 and DIV2CLK/4
    contents.fRef = 10000000;
    const QString broken = dir.filePath("broken.cy22150.bin");
    {
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(int(file.write(encodeRegisterFile(contents))), RegisterFileSize);
    }
    arguments.replaceInStrings("BROKEN", broken);
    const auto runCli = [](const QStringList& args, QString& err) {
        QProcess cli;
        cli.start(QStringLiteral(VANTREL_CLI_PROGRAM), args);
        if (!cli.waitForFinished(60000))
            return -1;
        err = QString::fromUtf8(cli.readAllStandardError());
        return cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
    };

    QString err;
    QCOMPARE(runCli(arguments, err), 1);
    QVERIFY2(err.endsWith("Error: the configuration breaks the chip's rules; nothing was written "
                          "(--force writes it anyway)\n"),
             qPrintable(err));
    QCOMPARE(writtenRegisters(*machine_->first), std::vector<int>{});
    if (readsFirst)
        COMPARE_REQUESTS(requestsSeen(*machine_->first),
                         concat({{endTransaction(DefaultChipAddress)},
                                 fullRead(FirstChip, DefaultChipAddress)}));
    else
        QVERIFY(machine_->first->adapterTransfers().empty());
    QVERIFY(machine_->first->chipRegisters() == FirstChip);

    // --force programs it: the same command then reaches the chip.
    machine_->clearTransfers();
    QCOMPARE(runCli(arguments + QStringList{"--force"}, err), 0);
    QCOMPARE(writtenRegisters(*machine_->first),
             (std::vector<int>{0x0C, 0x12, 0x13, 0x40, 0x41, 0x42, 0x44, 0x45, 0x46, 0x47, 0x09}));
    if (!readsFirst)
        QCOMPARE(int(machine_->first->chipRegister(0x47)), 0x0A);
}

// The window lets go of the adapter between its operations, so that another program can use it;
// while another program holds it, an edit waits, then says so and leaves the chip alone.
void TestEndToEnd::adapterLockedOnlyWhileTransferring() {
    MainWindow& w = startVantrel();
    AdapterLock otherProgram;
    otherProgram.attach("/dev/bus/usb/003/004");  // the first adapter's node
    QVERIFY(otherProgram.acquire(0));             // the window, idle, holds nothing

    clickButton(w.findChild<QAbstractButton*>("cb005"));
    QCOMPARE(statusLine(), QString("Error: the adapter BUS_003-DEV_004-VID_0403-PID_C631 is in "
                                   "use by another program"));
    QVERIFY(machine_->first->adapterTransfers().empty());
    QCOMPARE(int(machine_->first->chipRegister(0x09)), 0x3F);

    otherProgram.release();
    clickButton(w.findChild<QAbstractButton*>("cb004"));
    COMPARE_REQUESTS(requestsSeen(*machine_->first), writes({{0x09, 0x0F}}));
    QVERIFY(otherProgram.acquire(0));
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
