// SPDX-License-Identifier: MIT
// vantrel-cli over the simulated adapter: transfer sequences, the write order, verify failures,
// several adapters, exit codes, refused inputs and the exact texts of show, export and list.

#include "cli/cli.h"
#include "cli/registerfiles.h"
#include "fakesysfs.h"
#include "files/registerfile.h"
#include "frequency/chiprules.h"
#include "frequency/frequencymodel.h"
#include "frequency/frequencyreadout.h"
#include "frequency/solver.h"
#include "registerfilebytes.h"
#include "simi2cbus.h"
#include "simusbbackend.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <map>
#include <memory>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

Q_DECLARE_METATYPE(SimFault)

namespace {
// The write order the chip needs: PLL and dividers first, the output enables last.
const int WriteOrder[] = {0x0C, 0x12, 0x13, 0x40, 0x41, 0x42, 0x44, 0x45, 0x46, 0x47, 0x09};
constexpr int OpenTransfers = 1;        // the end of any I2C transaction left open
constexpr int WriteTransfers = 2 * 11;  // each write is followed by a status query
constexpr int ReadTransfers = 515;      // pointer, status, 256 x (byte, status), final status

// The registers of a working configuration, worked out by hand: a 10 MHz reference, P 200 and
// Q 10 for a 200 MHz PLL, DIV1N 8 (25 MHz on LCLK1), DIV2N 16 (12.5 MHz on LCLK2), LCLK3
// DIV1CLK/2, LCLK4 DIV2CLK/2, CLK5 the reference, CLK6 DIV2CLK/4, all outputs on. It keeps every
// rule of the chip.
std::array<quint8, 256> knownRegisters() {
    std::array<quint8, 256> r{};
    r[0x09] = 0x3F;
    r[0x0C] = 0x08;
    r[0x12] = 0x30;
    r[0x13] = 0x40;
    r[0x40] = 0xC4;
    r[0x41] = 0x60;
    r[0x42] = 0x08;
    r[0x44] = 0x31;
    r[0x45] = 0x51;
    r[0x46] = 0xBF;
    r[0x47] = 0x10;
    return r;
}

RegisterFileContents knownFile();

// The known configuration with some registers changed.
using RegisterChanges = QList<QPair<int, int>>;
RegisterFileContents knownFileWith(const RegisterChanges& changes) {
    RegisterFileContents c = knownFile();
    for (const QPair<int, int>& change : changes)
        c.registers[std::size_t(change.first)] = quint8(change.second);
    return c;
}

RegisterFileContents knownFile() {
    RegisterFileContents c;
    c.registers = knownRegisters();
    c.fRef = 10000000;
    c.targetF1 = 25000000;
    c.targetF2 = 12500000;
    c.f1Number = 25000000;
    c.f2Number = 12500000;
    c.flags = RegisterFileFlag::F2Enabled;
    return c;
}

// Chip r holds a value that differs from its neighbours'.
quint8 chipPattern(int reg) {
    return quint8(reg * 7 + 3);
}

std::shared_ptr<SimCy22150> patternChip(quint8 address = 0x69) {
    auto chip = std::make_shared<SimCy22150>(address);
    for (int r = 0; r < SimCy22150::RegisterCount; ++r)
        chip->setRegisterValue(r, chipPattern(r));
    return chip;
}

struct Run {
    int code = -1;
    QString out;
    QString err;
};

// The simulated machine and the files of one test.
struct Bench {
    SimUsbBackend usb;
    SimI2cBus buses;  // the i2c-dev nodes of --bus and of the kernel's path
    QTemporaryDir dir;

    Run run(QStringList arguments, bool terminal = false) {
        arguments.prepend("vantrel-cli");
        Run r;
        QTextStream out(&r.out);
        QTextStream err(&r.err);
        CliEnvironment env;
        env.stderrIsTerminal = terminal;
        env.buses = &buses;
        r.code = runCli(arguments, usb, out, err, env);
        out.flush();
        err.flush();
        return r;
    }

    QString path(const QString& name) const { return dir.filePath(name); }
    QString writeFile(const QString& name, const QByteArray& bytes) const {
        QFile f(path(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write a test file");
        return path(name);
    }
    QByteArray readFile(const QString& name) const {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    int writesSeen() const {
        int writes = 0;
        for (const SimTransfer& t : usb.transfers())
            writes += t.request == 7 ? 1 : 0;
        return writes;
    }
};

// The transfers of one full read at `address`, from `first` in the log.
void checkReadSequence(const std::vector<SimTransfer>& t, int first, int address,
                       int inType = 0xA0) {
    QCOMPARE(int(t.size()) - first >= ReadTransfers, true);
    QCOMPARE(int(t[first].request), 5);
    QCOMPARE(int(t[first].index), address);
    QCOMPARE(t[first].data, std::vector<quint8>{0});
    QCOMPARE(int(t[first + 1].request), 3);
    for (int i = 0; i < 256; ++i) {
        const SimTransfer& byte = t[std::size_t(first + 2 + 2 * i)];
        QCOMPARE(int(byte.request), i == 255 ? 6 : 4);
        QCOMPARE(int(byte.requestType), inType);
        QCOMPARE(int(byte.value), 1);
        QCOMPARE(int(t[std::size_t(first + 3 + 2 * i)].request), 3);
    }
    QCOMPARE(int(t[std::size_t(first + ReadTransfers - 1)].request), 3);
}

// The one transfer of an open: an I2C I/O with the end flag and no data at the chip's address.
void checkOpenTransfer(const SimTransfer& t, int address) {
    QCOMPARE(int(t.requestType), 0x20);
    QCOMPARE(int(t.request), 6);
    QCOMPARE(int(t.value), 0);
    QCOMPARE(int(t.index), address);
    QCOMPARE(int(t.length), 0);
}

// stdout as the one JSON document it must be, nothing before or after it.
QJsonDocument parseJson(const QString& out) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(out.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError)
        qWarning("not one JSON document: %s", qPrintable(error.errorString()));
    return document;
}

// Only one line, and it starts "Error: ".
bool oneErrorLine(const QString& err) {
    return err.startsWith("Error: ") && err.count('\n') == 1 && err.endsWith('\n');
}
}  // namespace

class TestCli : public QObject {
    Q_OBJECT

private slots:
    void writeSendsTheElevenRegistersInOrderThenReadsBack();
    void writeWithoutVerifyStopsAfterTheWrites();
    void verifyListsEachDifferingRegister();
    void writeStopsAtTheFirstFailedRegister();
    void onlyVerifySeesARefusedDataByte();
    void writeAndReadOnEveryFirmware_data();
    void writeAndReadOnEveryFirmware();
    void allGoesOnPastAFailingAdapter();
    void readMakesTheWindowsTransfersAndPrintsTheRegisters();
    void readSavesAFileTheWindowLoads();
    void readAllPrintsOneLinePerAdapter();
    void deviceSelectsTheAdapter();
    void progressBarOnlyOnATerminal_data();
    void progressBarOnlyOnATerminal();
    void exitCodesAndErrorLines_data();
    void exitCodesAndErrorLines();
    void badInputTouchesNoDevice_data();
    void badInputTouchesNoDevice();
    void commandsOnABus_data();
    void commandsOnABus();
    void listWithoutI2cDev_data();
    void listWithoutI2cDev();
    void adapterPaths_data();
    void adapterPaths();
    void signalWaitsForTheKernelDriver_data();
    void signalWaitsForTheKernelDriver();
    void refusedOutputFileIsNeverOverwritten_data();
    void refusedOutputFileIsNeverOverwritten();
    void showDecodesAKnownFile();
    void capLoadIsShownAsTheCrystalLoad_data();
    void capLoadIsShownAsTheCrystalLoad();
    void exportFormats_data();
    void exportFormats();
    void solveMatchesTheWindowsSolver_data();
    void solveMatchesTheWindowsSolver();
    void solveWriteProgramsTheChipFromItsOwnConfiguration();
    void checkExitCodesAndRuleIds_data();
    void checkExitCodesAndRuleIds();
    void checkOfTheChipReadsItAsReadDoes();
    void writeRefusesABrokenConfigurationUnlessForced_data();
    void writeRefusesABrokenConfigurationUnlessForced();
    void solveOptimalIsThePlanner();
    void planPrintsThePlan();
    void planMissingTheToleranceExitsOne();
    void planJsonIsOneObject();
    void planSavesAFileTheWindowLoads();
    void planWriteProgramsTheChipInTheSafeOrder();
    void planWriteKeepsWhatIsNotNamedOrTurnsItOff();
    void planIsCleanUnderCheck_data();
    void planIsCleanUnderCheck();
    void everyFrequencyTakesOneGrammar_data();
    void everyFrequencyTakesOneGrammar();
    void interruptedSaveLeavesNoTemporaryFile_data();
    void interruptedSaveLeavesNoTemporaryFile();
    void listNamesEveryDeviceAndMarksAdapters();
    void helpDescribesEachCommand_data();
    void helpDescribesEachCommand();
    void versionNamesTheProject();
    void readFailureNamesTheTransfer_data();
    void readFailureNamesTheTransfer();
    void savedLineShowsThePathPrintable_data();
    void savedLineShowsThePathPrintable();
    void listJson();
    void showJson();
    void readJson();
    void solveJson();
    void logRecordsWhatWasWritten_data();
    void logRecordsWhatWasWritten();
    void unwritableLogTouchesNoDevice();
    void diffGetAndSet_data();
    void diffGetAndSet();
    void diffJson();
    void jsonNamesAreTheOneVocabulary_data();
    void jsonNamesAreTheOneVocabulary();
    void jsonEscapesControlCharacters_data();
    void jsonEscapesControlCharacters();
    void jsonFailureLeavesStdoutEmpty_data();
    void jsonFailureLeavesStdoutEmpty();
};

void TestCli::writeSendsTheElevenRegistersInOrderThenReadsBack() {
    Bench b;
    auto chip = patternChip();
    b.usb.plug(SimDevice::adapter(1, 4, chip));
    const QString file = b.writeFile("a.cy22150.bin", encodeRegisterFile(knownFile()));
    b.usb.resetTransfers();

    const Run r = b.run({"write", file});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err, QString());
    QCOMPARE(r.out, QString("Wrote 11 registers to BUS_001-DEV_004-VID_0403-PID_C631 at 0x69, "
                            "verified.\n"));
    const std::vector<SimTransfer>& t = b.usb.transfers();
    QCOMPARE(int(t.size()), OpenTransfers + WriteTransfers + ReadTransfers);
    checkOpenTransfer(t[0], 0x69);
    const std::array<quint8, 256> expected = knownRegisters();
    for (int i = 0; i < 11; ++i) {
        const SimTransfer& w = t[std::size_t(OpenTransfers + 2 * i)];
        QCOMPARE(int(w.requestType), 0x20);
        QCOMPARE(int(w.request), 7);
        QCOMPARE(int(w.index), 0x69);
        const std::vector<quint8> data{quint8(WriteOrder[i]), expected[std::size_t(WriteOrder[i])]};
        QCOMPARE(w.data, data);
        QCOMPARE(int(t[std::size_t(OpenTransfers + 2 * i + 1)].request), 3);
    }
    checkReadSequence(t, OpenTransfers + WriteTransfers, 0x69);
    for (int reg : WriteOrder)
        QCOMPARE(chip->registerValue(reg), expected[std::size_t(reg)]);
    QCOMPARE(chip->registerValue(0x10), chipPattern(0x10));  // nothing else written
}

void TestCli::writeWithoutVerifyStopsAfterTheWrites() {
    Bench b;
    b.usb.plug(SimDevice::adapter(1, 4, patternChip()));
    const QString file = b.writeFile("a.cy22150.bin", encodeRegisterFile(knownFile()));
    b.usb.resetTransfers();
    const Run r = b.run({"write", "--no-verify", file});
    QCOMPARE(r.code, 0);
    QCOMPARE(int(b.usb.transfers().size()), OpenTransfers + WriteTransfers);
    QVERIFY(r.out.endsWith("not verified.\n"));
}

void TestCli::verifyListsEachDifferingRegister() {
    Bench b;
    b.usb.plug(SimDevice::adapter(1, 4, patternChip()));
    const QString file = b.writeFile("a.cy22150.bin", encodeRegisterFile(knownFile()));
    b.usb.resetTransfers();
    // The read-back delivers other bytes for 0x46 and 0x47. An answered byte does not move the
    // chip's pointer, so only the last registers of the configuration can be changed this way
    // without shifting the ones after them.
    b.usb.injectFault(OpenTransfers + WriteTransfers + 2 + 2 * 0x46, SimFault::answer(0x3F));
    b.usb.injectFault(OpenTransfers + WriteTransfers + 2 + 2 * 0x47, SimFault::answer(0x8A));
    const Run r = b.run({"write", file});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.out, QString("0x46: wrote 0xBF, read back 0x3F\n"
                            "0x47: wrote 0x10, read back 0x8A\n"));
    QCOMPARE(r.err, QString("Error: verify failed: 2 of 11 registers differ\n"));
}

void TestCli::writeStopsAtTheFirstFailedRegister() {
    Bench b;
    auto chip = patternChip();
    b.usb.plug(SimDevice::adapter(1, 4, chip));
    const QString file = b.writeFile("a.cy22150.bin", encodeRegisterFile(knownFile()));
    b.usb.resetTransfers();
    // The status after the fourth write (0x40) says the chip did not acknowledge.
    b.usb.injectFault(OpenTransfers + 2 * 3 + 1, SimFault::answer(2));
    const Run r = b.run({"write", file});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.err,
             QString("Error: writing register 0x40 failed: the chip at I2C address 0x69 did not "
                     "acknowledge\n"));
    QCOMPARE(int(b.usb.transfers().size()), OpenTransfers + 8);
    QCOMPARE(chip->registerValue(0x09), chipPattern(0x09));  // no output enabled
}

// The adapter's status reports the acknowledge of the chip's address alone: a write whose data
// bytes the chip refused looks written until the read-back.
void TestCli::onlyVerifySeesARefusedDataByte() {
    Bench b;
    auto chip = patternChip();
    chip->setRefusesData(true);
    b.usb.plug(SimDevice::adapter(1, 4, chip));
    const QString file = b.writeFile("a.cy22150.bin", encodeRegisterFile(knownFile()));
    const Run unchecked = b.run({"write", "--no-verify", file});
    QCOMPARE(unchecked.code, 0);
    QVERIFY(unchecked.out.endsWith("not verified.\n"));
    const Run verified = b.run({"write", file});
    QCOMPARE(verified.code, 1);
    QCOMPARE(verified.err, QString("Error: verify failed: 11 of 11 registers differ\n"));
    for (int reg = 0; reg < 256; ++reg)
        QCOMPARE(chip->registerValue(reg), chipPattern(reg));
}

void TestCli::writeAndReadOnEveryFirmware_data() {
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<int>("type");  // of every request after the open, host to device
    QTest::addColumn<QString>("named");
    QTest::newRow("original") << "original" << 0x20 << "";
    QTest::newRow("vendor-only") << "vendor-only" << 0x40 << " (vendor requests)";
}

void TestCli::writeAndReadOnEveryFirmware() {
    QFETCH(QString, firmware);
    QFETCH(int, type);
    QFETCH(QString, named);
    Bench b;
    auto chip = patternChip();
    b.usb.plug(SimDevice::adapter(1, 4, chip, *SimFirmware::find(firmware.toStdString())));
    const QString file = b.writeFile("a.cy22150.bin", encodeRegisterFile(knownFile()));

    for (const QStringList& arguments : {QStringList{"write", file}, QStringList{"read"}}) {
        b.usb.resetTransfers();
        const Run r = b.run(arguments);
        QCOMPARE(r.code, 0);
        QCOMPARE(r.err, QString());
        // The open finds out the request type: a class request first, then, if the adapter
        // stalled it, the same as a vendor request. Everything after it is of that type.
        const std::vector<SimTransfer>& t = b.usb.transfers();
        const int opening = type == 0x20 ? 1 : 2;
        checkOpenTransfer(t[0], 0x69);
        QCOMPARE(t[0].result, type == 0x20 ? 0 : -9);
        const int expectedCount =
            arguments[0] == "write" ? WriteTransfers + ReadTransfers : ReadTransfers;
        QCOMPARE(int(t.size()), opening + expectedCount);
        for (std::size_t i = std::size_t(opening - 1); i < t.size(); ++i) {
            QCOMPARE(int(t[i].requestType & 0x7F), type);
            QVERIFY(t[i].result >= 0);
        }
        checkReadSequence(t, int(t.size()) - ReadTransfers, 0x69, type | 0x80);
        if (arguments[0] == "write") {
            QCOMPARE(r.out, QString("Wrote 11 registers to BUS_001-DEV_004-VID_0403-PID_C631 at "
                                    "0x69, verified.\n"));
        } else {
            QVERIFY2(r.out.startsWith("Chip at 0x69 on BUS_001-DEV_004-VID_0403-PID_C631" + named +
                                      "\nRegisters:\n  0x09  0x3F  "),
                     qPrintable(r.out));
        }
    }
    const std::array<quint8, 256> expected = knownRegisters();
    for (int reg = 0; reg < 256; ++reg) {
        const bool written =
            std::find(std::begin(WriteOrder), std::end(WriteOrder), reg) != std::end(WriteOrder);
        QCOMPARE(chip->registerValue(reg), written ? expected[std::size_t(reg)] : chipPattern(reg));
    }
}

void TestCli::allGoesOnPastAFailingAdapter() {
    Bench b;
    auto absent = patternChip(0x70);  // nothing answers at 0x69 on the first adapter
    auto present = patternChip();
    b.usb.plug(SimDevice::adapter(1, 4, absent));
    b.usb.plug(SimDevice::adapter(2, 5, present));
    const QString file = b.writeFile("a.cy22150.bin", encodeRegisterFile(knownFile()));
    const Run r = b.run({"write", "--all", file});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.out, QString("BUS_001-DEV_004-VID_0403-PID_C631: Error: writing register 0x0C "
                            "failed: the chip at I2C address 0x69 did not acknowledge\n"
                            "BUS_002-DEV_005-VID_0403-PID_C631: OK\n"));
    QCOMPARE(r.err, QString("Error: 1 of 2 adapters failed\n"));
    const std::array<quint8, 256> expected = knownRegisters();
    for (int reg : WriteOrder) {
        QCOMPARE(present->registerValue(reg), expected[std::size_t(reg)]);
        QCOMPARE(absent->registerValue(reg), chipPattern(reg));
    }
}

void TestCli::readMakesTheWindowsTransfersAndPrintsTheRegisters() {
    Bench b;
    b.usb.plug(SimDevice::adapter(1, 4, patternChip()));
    b.usb.resetTransfers();
    const Run r = b.run({"read"});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err, QString());
    QCOMPARE(int(b.usb.transfers().size()), OpenTransfers + ReadTransfers);
    checkOpenTransfer(b.usb.transfers().at(0), 0x69);
    checkReadSequence(b.usb.transfers(), OpenTransfers, 0x69);
    QVERIFY(r.out.startsWith("Chip at 0x69 on BUS_001-DEV_004-VID_0403-PID_C631\nRegisters:\n"));
    for (int reg : WriteOrder) {
        QVERIFY2(r.out.contains(QString::asprintf("\n  0x%02X  0x%02X  ", reg, chipPattern(reg))),
                 qPrintable(QString::number(reg, 16)));
    }
}

void TestCli::readSavesAFileTheWindowLoads() {
    Bench b;
    b.usb.plug(SimDevice::adapter(1, 4, patternChip()));
    const Run r = b.run({"read", "-o", b.path("r.cy22150.bin"), "--ref", "27000000"});
    QCOMPARE(r.code, 0);
    const QByteArray bytes = b.readFile("r.cy22150.bin");
    QCOMPARE(bytes.size(), RegisterFileSize);
    QCOMPARE(FileBytes::readBigEndian(bytes, 0, 4), quint64(256));
    for (int reg = 0; reg < 256; ++reg)
        QCOMPARE(quint8(bytes[4 + reg]), chipPattern(reg));
    QCOMPARE(FileBytes::readDouble(bytes, 260), 27000000.0);
    RegisterFileContents loaded;
    QString reason;
    QVERIFY2(decodeRegisterFile(bytes, loaded, reason), qPrintable(reason));
}

void TestCli::readAllPrintsOneLinePerAdapter() {
    Bench b;
    b.usb.plug(SimDevice::adapter(1, 4, patternChip()));
    SimDevice broken = SimDevice::adapter(1, 6, patternChip());
    broken.openError = "Access denied (insufficient permissions)";
    b.usb.plug(broken);
    const Run r = b.run({"read", "--all"});
    QCOMPARE(r.code, 1);
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], QString("BUS_001-DEV_004-VID_0403-PID_C631: OK 0x09=0x42 0x0C=0x57 "
                               "0x12=0x81 0x13=0x88 0x40=0xC3 0x41=0xCA 0x42=0xD1 0x44=0xDF "
                               "0x45=0xE6 0x46=0xED 0x47=0xF4"));
    QCOMPARE(lines[1], QString("BUS_001-DEV_006-VID_0403-PID_C631: Error: Access denied "
                               "(insufficient permissions)"));
    QCOMPARE(r.err, QString("Error: 1 of 2 adapters failed\n"));
}

void TestCli::deviceSelectsTheAdapter() {
    Bench b;
    b.usb.plug(SimDevice::adapter(1, 4, patternChip()));
    auto second = patternChip(0x6A);
    b.usb.plug(SimDevice::adapter(2, 5, second));
    b.usb.resetTransfers();
    const Run r = b.run({"read", "--device", "2:5", "--address", "0x6A"});
    QCOMPARE(r.code, 0);
    QCOMPARE(int(b.usb.transfers().size()), OpenTransfers + ReadTransfers);
    for (const SimTransfer& t : b.usb.transfers())
        QCOMPARE(t.busNumber, 2);
    checkOpenTransfer(b.usb.transfers().at(0), 0x6A);
    checkReadSequence(b.usb.transfers(), OpenTransfers, 0x6A);
}

void TestCli::progressBarOnlyOnATerminal_data() {
    QTest::addColumn<bool>("terminal");
    QTest::newRow("terminal") << true;
    QTest::newRow("pipe") << false;
}

void TestCli::progressBarOnlyOnATerminal() {
    QFETCH(bool, terminal);
    Bench b;
    b.usb.plug(SimDevice::adapter(1, 4, patternChip()));
    const Run r = b.run({"read"}, terminal);
    QCOMPARE(r.code, 0);
    if (terminal) {
        QVERIFY(r.err.startsWith("\rReading the chip [" + QString(40, ' ') + "]   0%"));
        QVERIFY(r.err.endsWith("\rReading the chip [" + QString(40, '#') + "] 100%\n"));
        QCOMPARE(r.err.count('\r'), 101);  // redrawn once per percent
    } else {
        QCOMPARE(r.err, QString());
    }
}

void TestCli::exitCodesAndErrorLines_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("adapter");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("error");  // the whole stderr line; empty: no error

    const QString good = "GOOD";
    const QString bad = "BAD";
    QTest::newRow("no command") << QStringList{} << true << 2
                                << "Error: no command given; try vantrel-cli --help";
    QTest::newRow("unknown command") << QStringList{"flash"} << true << 2
                                     << "Error: unknown command \"flash\"; try vantrel-cli --help";
    QTest::newRow("unknown option")
        << QStringList{"read", "--fast"} << true << 2 << "Error: Unknown option 'fast'.";
    QTest::newRow("write, missing file")
        << QStringList{"write", "NOFILE"} << true << 2 << "Error: NOFILE could not be loaded: %1";
    QTest::newRow("write, refused file")
        << QStringList{"write", bad} << true << 2
        << "Error: BAD could not be loaded: the file ends before its last field";
    QTest::newRow("write, not a regular file")
        << QStringList{"write", "/dev/zero"} << true << 2
        << "Error: /dev/zero could not be loaded: it is not a regular file";
    QTest::newRow("write, no file")
        << QStringList{"write"} << true << 2 << "Error: write takes one register file";
    QTest::newRow("address too high") << QStringList{"write", good, "--address", "0x80"} << true
                                      << 2 << "Error: --address takes 0x00..0x7F, not \"0x80\"";
    QTest::newRow("address decimal") << QStringList{"read", "--address", "105"} << true << 2
                                     << "Error: --address takes 0x00..0x7F, not \"105\"";
    QTest::newRow("device form") << QStringList{"write", good, "--device", "1-4"} << true << 2
                                 << "Error: --device takes BUS:DEV, not \"1-4\"";
    QTest::newRow("device absent") << QStringList{"write", good, "--device", "9:9"} << true << 1
                                   << "Error: no device at 9:9 (see vantrel-cli list)";
    QTest::newRow("no adapter") << QStringList{"write", good} << false << 1
                                << "Error: no i2c-tiny-usb adapter found";
    QTest::newRow("chip absent") << QStringList{"read", "--address", "0x10"} << true << 1
                                 << "Error: reading the chip failed at the status query after "
                                    "setting the register pointer: the chip at I2C address 0x10 "
                                    "did not acknowledge";
    // Echoed arguments are shown as the window shows file names: control characters as their
    // pictures, so that an argument can neither fake a second line nor reach the terminal.
    QTest::newRow("f1 with a line break")
        << QStringList{"solve", "--ref", "10000000", "--f1", "1e6\r\nError: fake", "--write"}
        << true << 2
        << QString::fromUtf8(
               "Error: --f1 takes a positive frequency in Hz, not \"1e6\u240D\u240AError: fake\"");
    QTest::newRow("ref with an escape")
        << QStringList{"solve", "--ref", "1e7\x1b[2J", "--f1", "1e6"} << true << 2
        << QString::fromUtf8(
               "Error: --ref takes whole hertz from 1000000 to 200000000, not \"1e7\u241B[2J\"");
    QTest::newRow("unknown option with a line break")
        << QStringList{"read", "--x\nError: fake"} << true << 2
        << QString::fromUtf8("Error: Unknown option 'x\u240AError: fake'.");
    QTest::newRow("device with an escape")
        << QStringList{"read", "--device", "\x1b]0;t\x07"} << true << 2
        << QString::fromUtf8("Error: --device takes BUS:DEV, not \"\u241B]0;t\u2407\"");
    QTest::newRow("missing file with a line break")
        << QStringList{"show", "a\nError: fake"} << false << 2
        << QString::fromUtf8("Error: a\u240AError: fake could not be loaded: %1");
    // An empty name is said to be one, with no word from Qt before it.
    QTest::newRow("show, empty name")
        << QStringList{"show", ""} << false << 2 << "Error: the register file's name is empty";
    QTest::newRow("write, empty name")
        << QStringList{"write", ""} << true << 2 << "Error: the register file's name is empty";
    QTest::newRow("export, empty name")
        << QStringList{"export", ""} << false << 2 << "Error: the register file's name is empty";
    QTest::newRow("read -o, empty name")
        << QStringList{"read", "-o", ""} << true << 2 << "Error: the output file's name is empty";
    QTest::newRow("solve -o, empty name")
        << QStringList{"solve", "--ref", "10000000", "--f1", "1e6", "-o", ""} << true << 2
        << "Error: the output file's name is empty";
    QTest::newRow("prefer unknown")
        << QStringList{"solve", "--ref", "10000000", "--f1", "1e6", "--prefer", "f3"} << true << 2
        << "Error: --prefer takes f1, f2, both or none, not \"f3\"";
    for (const char* which : {"f2", "both"}) {
        QTest::addRow("prefer %s without f2", which)
            << QStringList{"solve", "--ref", "10000000", "--f1", "1e6", "--prefer", which} << true
            << 2 << QString("Error: --prefer %1 needs --f2: without it F2 follows F1").arg(which);
    }
    QTest::newRow("prefer with optimal")
        << QStringList{"solve", "--ref", "10000000", "--f1", "1e6", "--optimal", "--prefer", "f1"}
        << true << 2
        << "Error: --prefer steers the window's solver; --optimal always seeks the least F1 "
           "error first";
    QTest::newRow("read json all") << QStringList{"read", "--json", "--all"} << true << 2
                                   << "Error: --json and --all exclude each other";
    for (const char* target : {"0", "-5", "inf", "nan", "12abc", "", "1e400"}) {
        QTest::addRow("f1 %s", target)
            << QStringList{"solve", "--ref", "10000000", "--f1", target, "--write"} << true << 2
            << QString("Error: --f1 takes a positive frequency in Hz, not \"%1\"").arg(target);
    }
    QTest::newRow("f2 negative") << QStringList{"solve", "--ref", "10000000", "--f1",
                                                "1e6",   "--f2",  "-1",       "--write"}
                                 << true << 2
                                 << "Error: --f2 takes a positive frequency in Hz, not \"-1\"";
    for (const char* ref : {"999999", "200000001", "10000000.5", "x"}) {
        QTest::addRow("ref %s", ref)
            << QStringList{"solve", "--ref", ref, "--f1", "1e6", "--write"} << true << 2
            << QString("Error: --ref takes whole hertz from 1000000 to 200000000, not \"%1\"")
                   .arg(ref);
    }
    // One grammar: the suffix right after the number, k, K or M; nothing else.
    for (const char* target : {"25 M", "25MHz", "25m", "M", "25G", "1e6k5"}) {
        QTest::addRow("f1 %s", target)
            << QStringList{"solve", "--ref", "10M", "--f1", target, "--write"} << true << 2
            << QString("Error: --f1 takes a positive frequency in Hz, not \"%1\"").arg(target);
    }
    for (const char* ref : {"10 M", "10.0000005M", "0.5M", "201M"}) {
        QTest::addRow("ref %s", ref)
            << QStringList{"check", "--ref", ref} << true << 2
            << QString("Error: --ref takes whole hertz from 1000000 to 200000000, not \"%1\"")
                   .arg(ref);
    }
    QTest::newRow("solve --log without --write")
        << QStringList{"solve", "--ref", "10M", "--f1", "25M", "--log", "NOFILE"} << true << 2
        << "Error: --log needs --write";
    QTest::newRow("plan --log without --write")
        << QStringList{"plan", "--ref", "10M", "LCLK1=25M", "--log", "NOFILE"} << true << 2
        << "Error: --log needs --write";
    QTest::newRow("solve without f1") << QStringList{"solve", "--ref", "10000000"} << true << 2
                                      << "Error: solve needs --ref and --f1";
    // plan's bad input: with --write, nothing is read or written.
    const struct {
        const char* name;
        QStringList arguments;
        const char* error;
    } planRefusals[] = {
        {"plan unknown output",
         {"LCLK7=1M"},
         "unknown output \"LCLK7\"; the outputs are LCLK1, LCLK2, LCLK3, LCLK4, CLK5 and CLK6"},
        {"plan output twice", {"lclk1=1M", "LCLK1=2M"}, "LCLK1 is named twice"},
        {"plan no target", {}, "plan needs at least one OUTPUT=FREQ, such as LCLK1=25M"},
        {"plan no equals", {"CLK5"}, "\"CLK5\" is no OUTPUT=FREQ, such as LCLK1=25M"},
        {"plan target zero",
         {"CLK5=0"},
         "CLK5 takes a positive frequency in Hz (k or M may follow), not \"0\""},
        {"plan target nan",
         {"CLK5=nan"},
         "CLK5 takes a positive frequency in Hz (k or M may follow), not \"nan\""},
        {"plan target suffix",
         {"CLK5=25G"},
         "CLK5 takes a positive frequency in Hz (k or M may follow), not \"25G\""},
        {"plan target too low",
         {"CLK6=32.768k"},
         "the target 32.768 kHz of CLK6 is outside 80 kHz..200 MHz, what it can give"},
        {"plan target too high",
         {"LCLK2=201M"},
         "the target 201 MHz of LCLK2 is outside 80 kHz..200 MHz, what it can give"},
        {"plan target at 2.5 V",
         {"LCLK2=170M", "--supply", "2.5"},
         "the target 170 MHz of LCLK2 is outside 80 kHz..166.6 MHz, what it can give"},
        {"plan tolerance",
         {"LCLK1=1M", "--tolerance", "-3"},
         "--tolerance takes a number of ppm from 0 up, not \"-3\""},
        {"plan grade",
         {"LCLK1=1M", "--grade", "military"},
         "--grade takes commercial or industrial, not \"military\""},
        {"plan supply", {"LCLK1=1M", "--supply", "5"}, "--supply takes 3.3 or 2.5, not \"5\""},
    };
    for (const auto& refusal : planRefusals) {
        QTest::newRow(refusal.name)
            << (QStringList{"plan", "--ref", "10M", "--write"} + refusal.arguments) << true << 2
            << QString("Error: ") + refusal.error;
    }
    QTest::newRow("plan crystal reference")
        << QStringList{"plan", "--ref", "48M", "LCLK1=1M", "--write"} << true << 2
        << "Error: the reference must be whole hertz within 8 MHz..30 MHz for a crystal";
    QTest::newRow("plan driven reference")
        << QStringList{"plan", "--ref", "134M", "--driven", "LCLK1=1M"} << false << 2
        << "Error: the reference must be whole hertz within 1 MHz..133 MHz for a driven clock";
    QTest::newRow("plan without ref")
        << QStringList{"plan", "LCLK1=1M"} << false << 2 << "Error: plan needs --ref";
    QTest::newRow("export format") << QStringList{"export", good, "--format", "yaml"} << true << 2
                                   << "Error: --format takes i2cset, c or json, not \"yaml\"";
    QTest::newRow("export bus") << QStringList{"export", good, "--bus", "-1"} << true << 2
                                << "Error: --bus takes a bus number, not \"-1\"";
    QTest::newRow("bus form") << QStringList{"read", "--bus", "i2c-x"} << true << 2
                              << "Error: --bus takes i2c-N, N or /dev/i2c-N, not \"i2c-x\"";
    QTest::newRow("bus and device")
        << QStringList{"write", good, "--bus", "i2c-1", "--device", "1:4"} << true << 2
        << "Error: --bus and --device exclude each other";
    QTest::newRow("bus and all") << QStringList{"read", "--bus", "1", "--all"} << true << 2
                                 << "Error: --bus and --all exclude each other";
    QTest::newRow("bus absent") << QStringList{"read", "--bus", "/dev/i2c-9"} << true << 1
                                << "Error: no I2C bus i2c-9 (see vantrel-cli list)";
    QTest::newRow("bus absent, plan --write")
        << QStringList{"plan", "--ref", "10M", "LCLK1=1M", "--write", "--bus", "i2c-4"} << true << 1
        << "Error: no I2C bus i2c-4 (see vantrel-cli list)";
    QTest::newRow("transport") << QStringList{"read", "--transport", "kernel"} << true << 2
                               << "Error: --transport takes auto, usb or i2c-dev, not \"kernel\"";
    QTest::newRow("i2c-dev forced, no kernel driver")
        << QStringList{"read", "--transport", "i2c-dev"} << true << 1
        << "Error: no /dev/i2c-N for the adapter BUS_001-DEV_004-VID_0403-PID_C631: its kernel "
           "driver is not bound";
    QTest::newRow("grade") << QStringList{"check", good, "--grade", "military"} << false << 2
                           << "Error: --grade takes commercial or industrial, not \"military\"";
    QTest::newRow("supply") << QStringList{"write", good, "--supply", "5"} << true << 2
                            << "Error: --supply takes 3.3 or 2.5, not \"5\"";
    for (const char* load : {"-1", "50.5", "2pF", "nan", ""}) {
        QTest::addRow("board load %s", load)
            << QStringList{"write", good, "--board-load", load} << true << 2
            << QString("Error: --board-load takes 0 to 50 pF, not \"%1\"").arg(load);
    }
    QTest::newRow("supply of show") << QStringList{"show", good, "--supply", "3,3"} << false << 2
                                    << "Error: --supply takes 3.3 or 2.5, not \"3,3\"";
    QTest::newRow("check, two files") << QStringList{"check", good, good} << false << 2
                                      << "Error: check takes at most one register file";
    QTest::newRow("check, reference of a file")
        << QStringList{"check", good, "--ref", "12000000"} << true << 2
        << "Error: --ref is for the chip; a register file holds its own reference";
    QTest::newRow("check, refused file")
        << QStringList{"check", bad} << true << 2
        << "Error: BAD could not be loaded: the file ends before its last field";
    // check answers as diff(1): trouble, a device or transfer failure among it, is 2.
    QTest::newRow("check, no adapter")
        << QStringList{"check"} << false << 2 << "Error: no i2c-tiny-usb adapter found";
    QTest::newRow("check, chip absent")
        << QStringList{"check", "--address", "0x10"} << true << 2
        << "Error: reading the chip failed at the status query after setting the register "
           "pointer: the chip at I2C address 0x10 did not acknowledge";
    QTest::newRow("check, device absent") << QStringList{"check", "--device", "9:9"} << true << 2
                                          << "Error: no device at 9:9 (see vantrel-cli list)";
    // Bad usage is refused although a file needs no adapter.
    QTest::newRow("check FILE, device form")
        << QStringList{"check", good, "--device", "1-4"} << true << 2
        << "Error: --device takes BUS:DEV, not \"1-4\"";
    QTest::newRow("check FILE, address") << QStringList{"check", good, "--address", "0x80"} << true
                                         << 2 << "Error: --address takes 0x00..0x7F, not \"0x80\"";
    QTest::newRow("check done") << QStringList{"check", good} << false << 0 << QString();
    QTest::newRow("show done") << QStringList{"show", good} << false << 0 << QString();
    QTest::newRow("write done") << QStringList{"write", good} << true << 0 << QString();
}

void TestCli::commandsOnABus_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("driver");
    QTest::addColumn<bool>("chipThere");
    QTest::addColumn<int>("openError");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("firstLine");  // of stdout
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("writes");  // register writes that reached the bus
    QTest::newRow("read, Raspberry Pi") << QStringList{"read", "--bus", "i2c-1"} << "i2c-bcm2835"
                                        << true << 0 << 0 << "Chip at 0x69 on i2c-1"
                                        << "" << 0;
    QTest::newRow("write, dln2, by number")
        << QStringList{"write", "GOOD", "--bus", "1"} << "dln2-i2c" << true << 0 << 0
        << "Wrote 11 registers to i2c-1 at 0x69, verified."
        << "" << 11;
    QTest::newRow("plan --write, cp2112, by node")
        << QStringList{"plan", "--ref", "10M", "LCLK1=1M", "--write", "--bus", "/dev/i2c-1"}
        << "cp2112" << true << 0 << 0 << ""
        << "" << 11;
    QTest::newRow("solve --write, mcp2221")
        << QStringList{"solve",    "--ref",   "10000000", "--f1",
                       "50000000", "--write", "--bus",    "i2c-1"}
        << "mcp2221" << true << 0 << 0 << ""
        << "" << 11;
    QTest::newRow("no chip at the address")
        << QStringList{"read", "--bus", "i2c-1"} << "i2c-bcm2835" << false << 0 << 1 << ""
        << "Error: reading the chip failed at the transfer of the registers from 0x00: the chip "
           "at I2C address 0x69 on i2c-1 did not acknowledge"
        << 0;
    QTest::newRow("write to no chip")
        << QStringList{"write", "GOOD", "--bus", "i2c-1"} << "dln2-i2c" << false << 0 << 1 << ""
        << "Error: writing register 0x0C failed: the chip at I2C address 0x69 on i2c-1 did not "
           "acknowledge"
        << 0;
    QTest::newRow("node without permission")
        << QStringList{"read", "--bus", "i2c-1"} << "i2c-bcm2835" << true << EACCES << 1 << ""
        << "Error: no permission to open /dev/i2c-1: join the i2c group (sudo usermod -aG i2c "
           "$USER, then log in again) or, for an i2c-tiny-usb adapter, install Vantrel's udev "
           "rule"
        << 0;
}

// A bus named by --bus serves read, write, plan --write and solve --write as an adapter does,
// without a USB device and without a USB subsystem.
void TestCli::commandsOnABus() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, driver);
    QFETCH(bool, chipThere);
    QFETCH(int, openError);
    QFETCH(int, code);
    QFETCH(QString, firstLine);
    QFETCH(QString, error);
    QFETCH(int, writes);
    Bench b;
    FakeSysfs sysfs;
    sysfs.addPlatformBus(1, "bus one", driver);
    auto chip = std::make_shared<SimCy22150>(chipThere ? 0x69 : 0x50);
    for (int reg = 0; reg < 256; ++reg)
        chip->setRegisterValue(reg, knownRegisters()[std::size_t(reg)]);
    const SimI2cDriver* profile = nullptr;
    for (const SimI2cDriver* d : {&SimI2cDrivers::bcm2835(), &SimI2cDrivers::dln2(),
                                  &SimI2cDrivers::cp2112(), &SimI2cDrivers::mcp2221()})
        profile = driver == d->name ? d : profile;
    QVERIFY(profile != nullptr);
    b.buses.addNode("/dev/i2c-1", *profile, chip);
    b.buses.setOpenError("/dev/i2c-1", openError);
    const QString good = b.writeFile("good.cy22150.bin", encodeRegisterFile(knownFile()));
    arguments.replaceInStrings(QRegularExpression("^GOOD$"), good);
    const Run r = b.run(arguments);
    QCOMPARE(r.code, code);
    QCOMPARE(r.err, error.isEmpty() ? QString() : error + "\n");
    if (!firstLine.isEmpty())
        QCOMPARE(r.out.section('\n', 0, 0), firstLine);
    // Each register write one message [register, value], the output enables (0x09) last.
    QList<int> written;
    for (const SimI2cCall& call : b.buses.calls()) {
        if (call.messages.size() == 1 && call.messages[0].length == 2 && call.result >= 0) {
            written << call.messages[0].data[0];
            QCOMPARE(int(chip->registerValue(call.messages[0].data[0])),
                     int(call.messages[0].data[1]));
        }
    }
    QCOMPARE(written.size(), writes);
    if (writes > 0)
        QCOMPARE(written.last(), 0x09);
    QVERIFY(b.usb.transfers().empty());
    QCOMPARE(b.buses.openHandleCount(), 0);
}

void TestCli::listWithoutI2cDev_data() {
    QTest::addColumn<bool>("usbDevice");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::newRow("beside the USB devices")
        << true << 0
        << "BUS_002-DEV_002-VID_1A2C-PID_0E24\n"
           "No /dev/i2c-N: the i2c-dev module is not loaded (sudo modprobe i2c-dev)\n"
        << "";
    QTest::newRow("nothing else to list")
        << false << 1 << ""
        << "Error: the kernel knows I2C adapters but offers no /dev/i2c-N: the i2c-dev module is "
           "not loaded (sudo modprobe i2c-dev)\n";
}

// I2C adapters the kernel knows without a node: list says that i2c-dev is not loaded.
void TestCli::listWithoutI2cDev() {
    QFETCH(bool, usbDevice);
    QFETCH(int, code);
    QFETCH(QString, out);
    QFETCH(QString, err);
    Bench b;
    FakeSysfs sysfs;
    sysfs.addAdapterWithoutNode(0);
    if (usbDevice)
        b.usb.plug(SimDevice::other(2, 2, 0x1A2C, 0x0E24));
    else
        b.usb.failInit("no USB");
    const Run r = b.run({"list"});
    QCOMPARE(r.code, code);
    QCOMPARE(r.out, out);
    QCOMPARE(r.err, err);
}

void TestCli::adapterPaths_data() {
    QTest::addColumn<bool>("bound");
    QTest::addColumn<bool>("node");
    QTest::addColumn<QString>("transport");
    QTest::addColumn<QString>("listLines");  // what list prints after the adapter's entry
    QTest::addColumn<QString>("path");       // transport.path of read --json
    QTest::addColumn<QString>("readLine");   // the first line of read
    QTest::addColumn<int>("usbTransfers");   // of the read
    const QString entry = "BUS_001-DEV_004-VID_0403-PID_C631 - Simulated Adapters - i2c-tiny-usb";
    const QString bus =
        "i2c-7 - i2c-tiny-usb at bus 001 device 004 - i2c-tiny-usb - USB "
        "BUS_001-DEV_004-VID_0403-PID_C631\n";
    QTest::newRow("no kernel driver")
        << false << false << "auto"
        << "  [adapter]\n"
        << "usb"
        << "Chip at 0x69 on " + entry.left(33) << OpenTransfers + ReadTransfers;
    QTest::newRow("kernel driver and node")
        << true << true << "auto"
        << "  [adapter] via /dev/i2c-7\n" + bus << "i2c-dev"
        << "Chip at 0x69 on " + entry.left(33) + " via /dev/i2c-7" << 0;
    QTest::newRow("kernel driver, no node")
        << true << false << "auto"
        << "  [adapter] via USB, kernel driver detached\n"
        << "usb-detached"
        << "Chip at 0x69 on " + entry.left(33) + " via USB, kernel driver detached"
        << OpenTransfers + ReadTransfers;
    QTest::newRow("forced usb over the node")
        << true << true << "usb"
        << "  [adapter] via /dev/i2c-7\n" + bus << "usb-detached"
        << "Chip at 0x69 on " + entry.left(33) + " via USB, kernel driver detached"
        << OpenTransfers + ReadTransfers;
}

// Which path an adapter takes, said by list and read; a detached kernel driver is back after
// the command, also after a failed one.
void TestCli::adapterPaths() {
    QFETCH(bool, bound);
    QFETCH(bool, node);
    QFETCH(QString, transport);
    QFETCH(QString, listLines);
    QFETCH(QString, path);
    QFETCH(QString, readLine);
    QFETCH(int, usbTransfers);
    Bench b;
    FakeSysfs sysfs;
    if (node)
        sysfs.addUsbBus(7, "i2c-tiny-usb at bus 001 device 004", "i2c-tiny-usb", 1, 4, "0403",
                        "c631", 1);
    auto chip = patternChip();
    SimDevice adapter = SimDevice::adapter(1, 4, chip);
    adapter.kernelDriverBound = bound;
    const int plugId = b.usb.plug(adapter);
    b.buses.addNode("/dev/i2c-7", SimI2cDrivers::tinyUsb(), chip);

    const Run list = b.run({"list"});
    QCOMPARE(list.code, 0);
    QCOMPARE(list.out, QString("BUS_001-DEV_004-VID_0403-PID_C631 - Simulated Adapters - "
                               "i2c-tiny-usb") +
                           listLines);
    b.usb.resetTransfers();
    const Run read = b.run({"read", "--device", "1:4", "--transport", transport});
    QCOMPARE(read.code, 0);
    QCOMPARE(read.out.section('\n', 0, 0), readLine);
    QCOMPARE(int(b.usb.transfers().size()), usbTransfers);
    QCOMPARE(b.usb.kernelDriverBound(plugId), bound);
    const Run json = b.run({"read", "--device", "1:4", "--json", "--transport", transport});
    QCOMPARE(json.code, 0);
    const QJsonObject transportObject =
        QJsonDocument::fromJson(json.out.toUtf8()).object().value("transport").toObject();
    QCOMPARE(transportObject.value("path").toString(), path);
    QCOMPARE(transportObject.value("node").toString(),
             path == "i2c-dev" ? QString("/dev/i2c-7") : QString());
    chip->setI2cAddress(0x50);  // the chip stops answering
    const Run failed = b.run({"write", b.writeFile("f.bin", encodeRegisterFile(knownFile())),
                              "--device", "1:4", "--transport", transport});
    QCOMPARE(failed.code, 1);
    QCOMPARE(b.usb.kernelDriverBound(plugId), bound);
    QCOMPARE(b.usb.reattachCount(), b.usb.detachCount());
    QCOMPARE(b.usb.openHandleCount(), 0);
    QCOMPARE(b.buses.openHandleCount(), 0);
}

namespace {
// What a test's signal handler saw when the signal came.
SimUsbBackend* signalledUsb = nullptr;
int signalledPlug = 0;
volatile sig_atomic_t signalCount = 0;
volatile sig_atomic_t driverBoundAtSignal = 0;
void recordSignal(int) {
    ++signalCount;
    driverBoundAtSignal = signalledUsb->kernelDriverBound(signalledPlug) ? 1 : 0;
}
}  // namespace

void TestCli::signalWaitsForTheKernelDriver_data() {
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<bool>("chipThere");
    QTest::newRow("SIGINT during a read") << SIGINT << true;
    QTest::newRow("SIGTERM during a read") << SIGTERM << true;
    QTest::newRow("SIGTERM during a failing write") << SIGTERM << false;
}

// A signal that comes while the kernel driver is detached is acted on only once the driver is
// back: the command gives the adapter back before it can end.
void TestCli::signalWaitsForTheKernelDriver() {
    QFETCH(int, signalNumber);
    QFETCH(bool, chipThere);
    Bench b;
    SimDevice adapter = SimDevice::adapter(1, 4, patternChip(chipThere ? 0x69 : 0x50));
    adapter.kernelDriverBound = true;
    signalledUsb = &b.usb;
    signalledPlug = b.usb.plug(adapter);
    signalCount = 0;
    driverBoundAtSignal = 0;
    struct sigaction handler {};
    struct sigaction previous {};
    handler.sa_handler = recordSignal;
    sigaction(signalNumber, &handler, &previous);
    int transfers = 0;
    b.usb.setTransferObserver([&](const SimTransfer&) {
        if (++transfers == 3)
            raise(signalNumber);
    });
    const QString file = b.writeFile("f.bin", encodeRegisterFile(knownFile()));
    const Run r = b.run(chipThere ? QStringList{"read", "--device", "1:4"}
                                  : QStringList{"write", file, "--device", "1:4"});
    sigaction(signalNumber, &previous, nullptr);
    QCOMPARE(r.code, chipThere ? 0 : 1);
    QCOMPARE(b.usb.detachCount(), 1);
    QCOMPARE(int(signalCount), 1);
    QCOMPARE(int(driverBoundAtSignal), 1);
}

void TestCli::exitCodesAndErrorLines() {
    QFETCH(QStringList, arguments);
    QFETCH(bool, adapter);
    QFETCH(int, code);
    QFETCH(QString, error);
    Bench b;
    if (adapter)
        b.usb.plug(SimDevice::adapter(1, 4, patternChip()));
    b.usb.plug(SimDevice::other(2, 2, 0x1A2C, 0x0E24));
    const QString good = b.writeFile("good.cy22150.bin", encodeRegisterFile(knownFile()));
    const QString bad = b.writeFile("bad.cy22150.bin", encodeRegisterFile(knownFile()).left(300));
    const QString missing = b.path("missing.cy22150.bin");
    for (QString& a : arguments)
        a = a == "GOOD" ? good : a == "BAD" ? bad : a == "NOFILE" ? missing : a;
    error.replace("BAD", bad).replace("NOFILE", missing);
    if (error.contains("%1")) {  // the system's own words for a missing file
        QFile probe(missing);
        probe.open(QIODevice::ReadOnly);
        error = error.arg(probe.errorString());
    }
    b.usb.resetTransfers();
    // Nothing but the one line: no warning of Qt's on stderr before it.
    QTest::failOnWarning(QRegularExpression(".*"));

    const Run r = b.run(arguments);
    QCOMPARE(r.code, code);
    if (error.isEmpty()) {
        QCOMPARE(r.err, QString());
        return;
    }
    QVERIFY2(oneErrorLine(r.err), qPrintable(r.err));
    QCOMPARE(r.err, error + '\n');
    QCOMPARE(b.writesSeen(), 0);  // nothing reaches the chip after an error
}

// Bad usage or input is refused before any transfer, whatever else the command needs.
void TestCli::badInputTouchesNoDevice_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");
    QTest::newRow("solve --optimal --write, target too low")
        << QStringList{"solve", "--ref", "10M", "--f1", "32.768k", "--optimal", "--write"}
        << "Error: the target 32.768 kHz of LCLK1 is outside 80 kHz..200 MHz, what it can give";
    QTest::newRow("solve --optimal --write, crystal too fast")
        << QStringList{"solve", "--ref", "48M", "--f1", "25M", "--optimal", "--write"}
        << "Error: the reference must be whole hertz within 8 MHz..30 MHz for a crystal";
    QTest::newRow("check FILE --device") << QStringList{"check", "GOOD", "--device", "4"}
                                         << "Error: --device takes BUS:DEV, not \"4\"";
    QTest::newRow("diff --address") << QStringList{"diff", "GOOD", "--address", "0x80"}
                                    << "Error: --address takes 0x00..0x7F, not \"0x80\"";
    QTest::newRow("get, two registers")
        << QStringList{"get", "0x09", "0x0C"} << "Error: get takes one register";
    QTest::newRow("set, bad value")
        << QStringList{"set", "0x09", "x"} << "Error: VALUE takes 0x00..0xFF or 0..255, not \"x\"";
    QTest::newRow("set, bad reference")
        << QStringList{"set", "0x09", "0", "--ref", "25 M"}
        << "Error: --ref takes whole hertz from 1000000 to 200000000, not \"25 M\"";
}

void TestCli::badInputTouchesNoDevice() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    Bench b;
    b.usb.plug(SimDevice::adapter(1, 4, patternChip()));
    const QString good = b.writeFile("good.cy22150.bin", encodeRegisterFile(knownFile()));
    arguments.replaceInStrings("GOOD", good);
    b.usb.resetTransfers();
    const Run r = b.run(arguments);
    QCOMPARE(r.code, 2);
    QCOMPARE(r.out, QString());
    QCOMPARE(r.err, error + '\n');
    QCOMPARE(int(b.usb.transfers().size()), 0);
}

void TestCli::refusedOutputFileIsNeverOverwritten_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("read -o") << QStringList{"read", "-o", "OUT"};
    QTest::newRow("solve -o") << QStringList{"solve", "--ref", "10000000", "--f1",
                                             "25e6",  "-o",    "OUT"};
    QTest::newRow("solve -o --write")
        << QStringList{"solve", "--ref", "10000000", "--f1", "25e6", "-o", "OUT", "--write"};
}

void TestCli::refusedOutputFileIsNeverOverwritten() {
    QFETCH(QStringList, arguments);
    Bench b;
    b.usb.plug(SimDevice::adapter(1, 4, patternChip()));
    const QByteArray notes = "someone's notes, not a register file\n";
    const QString out = b.writeFile("notes.txt", notes);
    arguments.replaceInStrings("OUT", out);
    b.usb.resetTransfers();
    const Run r = b.run(arguments);
    QCOMPARE(r.code, 2);
    QVERIFY2(oneErrorLine(r.err), qPrintable(r.err));
    QVERIFY(r.err.startsWith("Error: " + out + " exists and is not a register file"));
    QCOMPARE(b.readFile("notes.txt"), notes);
    QCOMPARE(int(b.usb.transfers().size()), 0);  // refused before the device is touched
}

void TestCli::showDecodesAKnownFile() {
    Bench b;
    RegisterFileContents c = knownFile();
    c.registers[0x42] = 0x00;  // Q 2: 10 MHz x 200 / 2 = 1 GHz, above the normal range
    c.registers[0x09] = 0x05;  // LCLK1 and LCLK3 on
    c.registers[0x47] = 0x8A;  // DIV2 from the reference
    const QString file = b.writeFile("k.cy22150.bin", encodeRegisterFile(c));
    const Run r = b.run({"show", file});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err, QString());
    QCOMPARE(r.out, QString("Registers:\n"
                            "  0x09  0x05  output enables\n"
                            "  0x0C  0x08  DIV1SRC, DIV1N\n"
                            "  0x12  0x30  XDRV\n"
                            "  0x13  0x40  CAPLOAD\n"
                            "  0x40  0xC4  charge pump, PB bits 9..8\n"
                            "  0x41  0x60  PB bits 7..0\n"
                            "  0x42  0x00  PO, Q counter\n"
                            "  0x44  0x31  crosspoints LCLK1, LCLK2, LCLK3 bits 2..1\n"
                            "  0x45  0x51  crosspoints LCLK3 bit 0, LCLK4, CLK5, CLK6 bit 2\n"
                            "  0x46  0xBF  crosspoint CLK6 bits 1..0\n"
                            "  0x47  0x8A  DIV2SRC, DIV2N\n"
                            "Fields:\n"
                            "  Q             2 (Q counter 0)\n"
                            "  P             200 (PB 96, PO 0)\n"
                            "  charge pump   1\n"
                            "  DIV1N         8 from the PLL\n"
                            "  DIV2N         10 from the reference\n"
                            "  CAPLOAD       64 (crystal load 14.00 pF)\n"
                            "  XDRV          2\n"
                            "Frequencies:\n"
                            "  reference     10000000.00000 Hz\n"
                            "  PLL           1000000000.00000 Hz\n"
                            "  LCLK1  enabled  DIV1CLK/DIV1N  125000000.00000 Hz\n"
                            "  LCLK2  disabled DIV2CLK/DIV2N  1000000.00000 Hz\n"
                            "  LCLK3  enabled  DIV1CLK/2      500000000.00000 Hz\n"
                            "  LCLK4  disabled DIV2CLK/2      5000000.00000 Hz\n"
                            "  CLK5   disabled F ref          10000000.00000 Hz\n"
                            "  CLK6   disabled DIV2CLK/4      2500000.00000 Hz\n"
                            "Warning: unstable HIGH PLL frequency!\n"
                            "Chip rules:\n"
                            "  vco-range: error: the PLL at 1000 MHz is outside 100 MHz..400 MHz "
                            "(commercial part) (PLL, LCLK1, LCLK3)\n"
                            "  output-high: error: LCLK3 at 500 MHz is above 200 MHz (LCLK3)\n"
                            "Targets:\n"
                            "  F1            25000000.00000 Hz\n"
                            "  F2            12500000.00000 Hz\n"
                            "  PLL range     normal\n"));
}

// CL = CAPLOAD x 0.09375 pF + 6 pF on the chip + the board's load (2 pF unless --board-load).
void TestCli::capLoadIsShownAsTheCrystalLoad_data() {
    QTest::addColumn<int>("capLoad");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<double>("pf");
    QTest::addColumn<QString>("shown");
    QTest::newRow("0, default board") << 0 << QStringList{} << 8.0 << "0 (crystal load 8.00 pF)";
    QTest::newRow("64, default board")
        << 64 << QStringList{} << 14.0 << "64 (crystal load 14.00 pF)";
    QTest::newRow("32, no board load")
        << 32 << QStringList{"--board-load", "0"} << 9.0 << "32 (crystal load 9.00 pF)";
    QTest::newRow("255, 3.5 pF board")
        << 255 << QStringList{"--board-load", "3.5"} << 33.40625 << "255 (crystal load 33.41 pF)";
}

void TestCli::capLoadIsShownAsTheCrystalLoad() {
    QFETCH(int, capLoad);
    QFETCH(QStringList, options);
    QFETCH(double, pf);
    QFETCH(QString, shown);
    Bench b;
    auto chip = std::make_shared<SimCy22150>();
    const RegisterFileContents file = knownFileWith({{0x13, capLoad}});
    for (int reg = 0; reg < 256; ++reg)
        chip->setRegisterValue(reg, file.registers[std::size_t(reg)]);
    b.usb.plug(SimDevice::adapter(1, 4, chip));
    const QString path = b.writeFile("c.cy22150.bin", encodeRegisterFile(file));
    for (const QStringList& command : {QStringList{"show", path}, QStringList{"read"}}) {
        const Run text = b.run(command + options);
        QCOMPARE(text.code, 0);
        QVERIFY2(text.out.contains("\n  CAPLOAD       " + shown + "\n"), qPrintable(text.out));
        const Run json = b.run(command + options + QStringList{"--json"});
        const QJsonObject fields = parseJson(json.out).object().value("fields").toObject();
        QCOMPARE(fields.value("capLoad").toInt(), capLoad);
        QCOMPARE(fields.value("crystalLoadPf").toDouble(), pf);
    }
}

void TestCli::exportFormats_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("text");
    QTest::addColumn<RegisterChanges>("changes");  // to the known file
    QTest::addColumn<QString>("err");              // the findings
    QTest::newRow("i2cset default") << QStringList{}
                                    << QString(
                                           "i2cset -y 1 0x69 0x0C 0x08\n"
                                           "i2cset -y 1 0x69 0x12 0x30\n"
                                           "i2cset -y 1 0x69 0x13 0x40\n"
                                           "i2cset -y 1 0x69 0x40 0xC4\n"
                                           "i2cset -y 1 0x69 0x41 0x60\n"
                                           "i2cset -y 1 0x69 0x42 0x08\n"
                                           "i2cset -y 1 0x69 0x44 0x31\n"
                                           "i2cset -y 1 0x69 0x45 0x51\n"
                                           "i2cset -y 1 0x69 0x46 0xBF\n"
                                           "i2cset -y 1 0x69 0x47 0x10\n"
                                           "i2cset -y 1 0x69 0x09 0x3F\n")
                                    << RegisterChanges{} << QString();
    // Every form of --bus names the same bus in the i2cset lines.
    const QString bus7At6A = QString(
        "i2cset -y 7 0x6A 0x0C 0x08\n"
        "i2cset -y 7 0x6A 0x12 0x30\n"
        "i2cset -y 7 0x6A 0x13 0x40\n"
        "i2cset -y 7 0x6A 0x40 0xC4\n"
        "i2cset -y 7 0x6A 0x41 0x60\n"
        "i2cset -y 7 0x6A 0x42 0x08\n"
        "i2cset -y 7 0x6A 0x44 0x31\n"
        "i2cset -y 7 0x6A 0x45 0x51\n"
        "i2cset -y 7 0x6A 0x46 0xBF\n"
        "i2cset -y 7 0x6A 0x47 0x10\n"
        "i2cset -y 7 0x6A 0x09 0x3F\n");
    for (const char* bus : {"7", "/dev/i2c-7"})
        QTest::addRow("i2cset bus %s, 0x6a", bus)
            << QStringList{"--format", "i2cset", "--bus", bus, "--address", "0x6a"} << bus7At6A
            << RegisterChanges{} << QString();
    QTest::newRow("c") << QStringList{"--format", "c"}
                       << QString(
                              "/* CY22150 at I2C address 0x69: {register, value} in write "
                              "order. */\n"
                              "static const unsigned char cy22150_writes[11][2] = {\n"
                              "    {0x0C, 0x08},\n"
                              "    {0x12, 0x30},\n"
                              "    {0x13, 0x40},\n"
                              "    {0x40, 0xC4},\n"
                              "    {0x41, 0x60},\n"
                              "    {0x42, 0x08},\n"
                              "    {0x44, 0x31},\n"
                              "    {0x45, 0x51},\n"
                              "    {0x46, 0xBF},\n"
                              "    {0x47, 0x10},\n"
                              "    {0x09, 0x3F},\n"
                              "};\n")
                       << RegisterChanges{} << QString();
    QTest::newRow("json") << QStringList{"--format", "json"}
                          << QString(
                                 "{\"i2cAddress\":105,\"writes\":["
                                 "{\"register\":12,\"value\":8},"
                                 "{\"register\":18,\"value\":48},"
                                 "{\"register\":19,\"value\":64},"
                                 "{\"register\":64,\"value\":196},"
                                 "{\"register\":65,\"value\":96},"
                                 "{\"register\":66,\"value\":8},"
                                 "{\"register\":68,\"value\":49},"
                                 "{\"register\":69,\"value\":81},"
                                 "{\"register\":70,\"value\":191},"
                                 "{\"register\":71,\"value\":16},"
                                 "{\"register\":9,\"value\":63}]}")
                          << RegisterChanges{} << QString();
    // A setting that breaks the chip's rules is exported all the same, its findings told on stderr
    // and, where the format has comments, in the output.
    const QString findings =
        "div2-half: error: LCLK4 uses DIV2CLK/2 with DIV2N = 10 (LCLK4, DIV2N)\n"
        "div2-quarter: error: CLK6 uses DIV2CLK/4 with DIV2N = 10 (CLK6, DIV2N)\n";
    QTest::newRow("i2cset with findings")
        << QStringList{}
        << QString(
               "# div2-half: error: LCLK4 uses DIV2CLK/2 with DIV2N = 10 "
               "(LCLK4, DIV2N)\n"
               "# div2-quarter: error: CLK6 uses DIV2CLK/4 with DIV2N = 10 "
               "(CLK6, DIV2N)\n"
               "i2cset -y 1 0x69 0x0C 0x08\n"
               "i2cset -y 1 0x69 0x12 0x30\n"
               "i2cset -y 1 0x69 0x13 0x40\n"
               "i2cset -y 1 0x69 0x40 0xC4\n"
               "i2cset -y 1 0x69 0x41 0x60\n"
               "i2cset -y 1 0x69 0x42 0x08\n"
               "i2cset -y 1 0x69 0x44 0x31\n"
               "i2cset -y 1 0x69 0x45 0x51\n"
               "i2cset -y 1 0x69 0x46 0xBF\n"
               "i2cset -y 1 0x69 0x47 0x0A\n"
               "i2cset -y 1 0x69 0x09 0x3F\n")
        << RegisterChanges{{0x47, 0x0A}} << findings;
    QTest::newRow("c, a warning with --driven")
        << QStringList{"--format", "c", "--driven"}
        << QString(
               "/* capload-driven: warning: CAPLOAD is 64 with a driven clock; a driven clock "
               "wants 0 (CAPLOAD) */\n"
               "/* CY22150 at I2C address 0x69: {register, value} in write order. */\n"
               "static const unsigned char cy22150_writes[11][2] = {\n"
               "    {0x0C, 0x08},\n"
               "    {0x12, 0x30},\n"
               "    {0x13, 0x40},\n"
               "    {0x40, 0xC4},\n"
               "    {0x41, 0x60},\n"
               "    {0x42, 0x08},\n"
               "    {0x44, 0x31},\n"
               "    {0x45, 0x51},\n"
               "    {0x46, 0xBF},\n"
               "    {0x47, 0x10},\n"
               "    {0x09, 0x3F},\n"
               "};\n")
        << RegisterChanges{}
        << "capload-driven: warning: CAPLOAD is 64 with a driven clock; a driven clock wants 0 "
           "(CAPLOAD)\n";
    QTest::newRow("json with findings: the document alone")
        << QStringList{"--format", "json"}
        << QString(
               "{\"i2cAddress\":105,\"writes\":["
               "{\"register\":12,\"value\":8},"
               "{\"register\":18,\"value\":48},"
               "{\"register\":19,\"value\":64},"
               "{\"register\":64,\"value\":196},"
               "{\"register\":65,\"value\":96},"
               "{\"register\":66,\"value\":8},"
               "{\"register\":68,\"value\":49},"
               "{\"register\":69,\"value\":81},"
               "{\"register\":70,\"value\":191},"
               "{\"register\":71,\"value\":10},"
               "{\"register\":9,\"value\":63}]}")
        << RegisterChanges{{0x47, 0x0A}} << findings;
}

void TestCli::exportFormats() {
    QFETCH(QStringList, options);
    QFETCH(QString, text);
    QFETCH(RegisterChanges, changes);
    QFETCH(QString, err);
    Bench b;
    const QString file = b.writeFile("e.cy22150.bin", encodeRegisterFile(knownFileWith(changes)));
    const Run r = b.run(QStringList{"export", file} + options);
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err, err);
    if (options.contains("json")) {
        // JSON compared as data: the same document in its compact form.
        const QJsonDocument doc = QJsonDocument::fromJson(r.out.toUtf8());
        QVERIFY(doc.isObject());
        QCOMPARE(QString::fromUtf8(doc.toJson(QJsonDocument::Compact)), text);
    } else {
        QCOMPARE(r.out, text);
    }
}

// The window's solver core with the window's preference boxes: "F1 preferred" checked at start,
// --prefer for the other states. P, Q, the dividers and the iterations are the window's.
void TestCli::solveMatchesTheWindowsSolver_data() {
    QTest::addColumn<double>("reference");
    QTest::addColumn<double>("f1");
    QTest::addColumn<double>("f2");  // 0: no --f2
    QTest::addColumn<bool>("extended");
    QTest::addColumn<QString>("prefer");  // empty: no --prefer, the window's start-up boxes
    QTest::addColumn<int>("knownP");      // the window's P and Q, where known; 0: not checked
    QTest::addColumn<int>("knownQ");
    QTest::newRow("10 MHz, 33.333333 MHz") << 10e6 << 33333333.0 << 0.0 << false << "" << 0 << 0;
    QTest::newRow("10 MHz, 25 MHz + 20 MHz") << 10e6 << 25e6 << 20e6 << false << "" << 0 << 0;
    QTest::newRow("27 MHz, 48 MHz + 12.288 MHz")
        << 27e6 << 48e6 << 12.288e6 << false << "" << 0 << 0;
    QTest::newRow("14.31818 MHz, 7.3728 MHz ext")
        << 14318180.0 << 7372800.0 << 0.0 << true << "" << 0 << 0;
    QTest::newRow("48 MHz, 100 MHz + 66.666 MHz ext")
        << 48e6 << 100e6 << 66666000.0 << true << "" << 0 << 0;
    // The window finds LCLK1 exact here; weighing F1 and F2 alike gave P 715, Q 38.
    QTest::newRow("19.2 MHz, UART + audio ext, window's default")
        << 19.2e6 << 3686400.0 << 11289600.0 << true << "" << 456 << 25;
    for (const char* prefer : {"f1", "f2", "both", "none"}) {
        QTest::addRow("19.2 MHz, UART + audio ext, prefer %s", prefer)
            << 19.2e6 << 3686400.0 << 11289600.0 << true << prefer << 0 << 0;
        QTest::addRow("27 MHz, 48 MHz + 12.288 MHz, prefer %s", prefer)
            << 27e6 << 48e6 << 12.288e6 << false << prefer << 0 << 0;
    }
    QTest::newRow("10 MHz, 33.333333 MHz, prefer none")
        << 10e6 << 33333333.0 << 0.0 << false << "none" << 0 << 0;
}

void TestCli::solveMatchesTheWindowsSolver() {
    QFETCH(double, reference);
    QFETCH(double, f1);
    QFETCH(double, f2);
    QFETCH(bool, extended);
    QFETCH(QString, prefer);
    QFETCH(int, knownP);
    QFETCH(int, knownQ);
    Bench b;
    QStringList args{"solve",
                     "--ref",
                     QString::number(reference, 'f', 0),
                     "--f1",
                     QString::number(f1, 'f', 3),
                     "-o",
                     b.path("s.cy22150.bin")};
    if (f2 > 0)
        args << "--f2" << QString::number(f2, 'f', 3);
    if (extended)
        args << "--extended";
    if (!prefer.isEmpty())
        args << "--prefer" << prefer;
    const Run r = b.run(args);
    QCOMPARE(r.code, 0);

    SolverRecord record;
    record.refFrequency = reference;
    record.targetF1 = f1;
    record.targetF2 = f2 > 0 ? f2 : f1;
    record.f1Preferred = prefer.isEmpty() || prefer == "f1" || prefer == "both" ? 1 : 0;
    record.f2Preferred = prefer == "f2" || prefer == "both" ? 1 : 0;
    const PllRange range = pllRangeFor(extended);
    const SolverRecord window = searchDividers(record, f2 > 0, range.low, range.high);
    QVERIFY(window.bestError >= 0);
    if (knownP > 0) {
        QCOMPARE(window.pTotal, knownP);
        QCOMPARE(window.qTotal, knownQ);
    }
    QString first =
        QString::asprintf("P %d  Q %d  DIV1 %d", window.pTotal, window.qTotal, window.divider1);
    if (f2 > 0)
        first += QString::asprintf("  DIV2 %d", window.divider2);
    first += QString::asprintf("  iterations %d", window.iterations);
    QCOMPARE(r.out.section('\n', 0, 0), first);

    // The file holds those settings and turns the solved outputs on.
    const QByteArray bytes = b.readFile("s.cy22150.bin");
    RegisterFileContents saved;
    QString reason;
    QVERIFY2(decodeRegisterFile(bytes, saved, reason), qPrintable(reason));
    const int pb = ((saved.registers[0x40] & 3) << 8) | saved.registers[0x41];
    QCOMPARE(2 * (pb + 4) + (saved.registers[0x42] >> 7), int(window.pTotal));
    QCOMPARE((saved.registers[0x42] & 0x7F) + 2, int(window.qTotal));
    QCOMPARE(saved.registers[0x09] & 0x3F, f2 > 0 ? 3 : 1);
    QCOMPARE(saved.fRef, reference);
    QCOMPARE(saved.targetF1, f1);
    QCOMPARE(saved.targetF2, f2 > 0 ? f2 : f1);
    // The file carries the preference boxes, so that the window solves alike after loading it.
    QCOMPARE(saved.flags, (extended ? RegisterFileFlag::PllExtended : 0) |
                              (f2 > 0 ? RegisterFileFlag::F2Enabled : 0) |
                              (record.f1Preferred ? RegisterFileFlag::F1Preferred : 0) |
                              (record.f2Preferred ? RegisterFileFlag::F2Preferred : 0));
}

void TestCli::solveWriteProgramsTheChipFromItsOwnConfiguration() {
    Bench b;
    auto chip = std::make_shared<SimCy22150>();
    for (int reg = 0; reg < 256; ++reg)
        chip->setRegisterValue(reg, knownRegisters()[std::size_t(reg)]);
    b.usb.plug(SimDevice::adapter(1, 4, chip));
    b.usb.resetTransfers();
    // 10 MHz x 40 / 2 = 200 MHz, / 4 = 50 MHz exactly.
    const Run r = b.run({"solve", "--ref", "10000000", "--f1", "50000000", "--write"});
    QCOMPARE(r.code, 0);
    QCOMPARE(int(b.usb.transfers().size()),
             OpenTransfers + ReadTransfers + WriteTransfers + ReadTransfers);
    QVERIFY(r.out.contains("LCLK1  50000000.00000 Hz"));
    // Outputs the solve leaves alone keep what the chip had.
    QCOMPARE(chip->registerValue(0x09), quint8(0x3F));
    QCOMPARE(chip->registerValue(0x13), quint8(0x40));
    QCOMPARE(chip->registerValue(0x46) & 0x3F, 0x3F);
}

void TestCli::checkExitCodesAndRuleIds_data() {
    QTest::addColumn<RegisterChanges>("changes");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("rules");  // the ids the lines start with, in order

    const RegisterChanges pll333 = {{0x42, 0x04}};  // Q 6: 10 MHz x 200 / 6 = 333.3 MHz
    QTest::newRow("working configuration")
        << RegisterChanges{} << QStringList{} << 0 << QStringList{};
    QTest::newRow("DIV2N 10 under DIV2CLK/2 and /4")
        << RegisterChanges{{0x47, 0x0A}} << QStringList{} << 1
        << QStringList{"div2-half", "div2-quarter"};
    QTest::newRow("PLL 333.3 MHz, commercial, 3.3 V")
        << pll333 << QStringList{"--grade", "commercial", "--supply", "3.3"} << 0 << QStringList{};
    QTest::newRow("PLL 333.3 MHz, industrial")
        << pll333 << QStringList{"--grade", "industrial"} << 1 << QStringList{"vco-range"};
    // LCLK3 and LCLK4 at 166.67 MHz on DIV1CLK/2 and DIV2CLK/2.
    QTest::newRow("PLL 333.3 MHz, 2.5 V") << pll333 << QStringList{"--supply", "2.5"} << 1
                                          << QStringList{"output-high", "output-high"};
    QTest::newRow("driven clock, CAPLOAD 64: a warning")
        << RegisterChanges{} << QStringList{"--driven"} << 1 << QStringList{"capload-driven"};
    QTest::newRow("driven clock, CAPLOAD 0")
        << RegisterChanges{{0x13, 0x00}} << QStringList{"--driven"} << 0 << QStringList{};
    QTest::newRow("code 7 on LCLK1")
        << RegisterChanges{{0x44, 0xF1}} << QStringList{} << 1 << QStringList{"reserved-route"};
    QTest::newRow("code 7 on LCLK1, switched off")
        << RegisterChanges{{0x44, 0xF1}, {0x09, 0x3E}} << QStringList{} << 0 << QStringList{};
}

// A file is checked with its own reference and touches no device.
void TestCli::checkExitCodesAndRuleIds() {
    QFETCH(RegisterChanges, changes);
    QFETCH(QStringList, options);
    QFETCH(int, code);
    QFETCH(QStringList, rules);
    Bench b;
    b.usb.plug(SimDevice::adapter(1, 4, patternChip()));
    const QString file = b.writeFile("c.cy22150.bin", encodeRegisterFile(knownFileWith(changes)));
    b.usb.resetTransfers();
    const Run r = b.run(QStringList{"check", file} + options);
    QCOMPARE(r.code, code);
    QCOMPARE(r.err, QString());
    QStringList ids;
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    for (const QString& line : lines)
        ids << line.section(':', 0, 0);
    QCOMPARE(ids, rules);
    for (int i = 0; i < lines.size(); ++i)
        QVERIFY2(lines[i].startsWith(rules[i] +
                                     (rules[i] == "capload-driven" ? ": warning: " : ": error: ")),
                 qPrintable(lines[i]));
    QVERIFY(r.out.isEmpty() || r.out.endsWith('\n'));

    // --json: the same findings and exit code, as one document.
    const Run json = b.run(QStringList{"check", "--json", file} + options);
    QCOMPARE(json.code, code);
    QCOMPARE(json.err, QString());
    const QJsonObject doc = QJsonDocument::fromJson(json.out.toUtf8()).object();
    QCOMPARE(doc.value("file").toString(), file);
    QStringList jsonIds;
    for (const QJsonValue& f : doc.value("findings").toArray()) {
        jsonIds << f.toObject().value("id").toString();
        QCOMPARE(f.toObject().value("severity").toString(),
                 QString(jsonIds.last() == "capload-driven" ? "warning" : "error"));
    }
    QCOMPARE(jsonIds, rules);
    QCOMPARE(int(b.usb.transfers().size()), 0);
}

// Without a file, check and read read the chip with the window's 515 transfers and write nothing;
// the reference is --ref. read prints the findings after the frequencies.
void TestCli::checkOfTheChipReadsItAsReadDoes() {
    Bench b;
    auto chip = std::make_shared<SimCy22150>();
    const RegisterFileContents broken = knownFileWith({{0x47, 0x0A}});
    for (int reg = 0; reg < 256; ++reg)
        chip->setRegisterValue(reg, broken.registers[std::size_t(reg)]);
    b.usb.plug(SimDevice::adapter(1, 4, chip));
    b.usb.resetTransfers();
    const QString findings =
        "div2-half: error: LCLK4 uses DIV2CLK/2 with DIV2N = 10 (LCLK4, DIV2N)\n"
        "div2-quarter: error: CLK6 uses DIV2CLK/4 with DIV2N = 10 (CLK6, DIV2N)\n";

    const Run check = b.run({"check"});
    QCOMPARE(check.code, 1);
    QCOMPARE(check.out, findings);
    QCOMPARE(check.err, QString());
    QCOMPARE(int(b.usb.transfers().size()), OpenTransfers + ReadTransfers);
    checkOpenTransfer(b.usb.transfers()[0], 0x69);
    checkReadSequence(b.usb.transfers(), OpenTransfers, 0x69);

    // A 40 MHz crystal is out of range; the PLL runs at 800 MHz, LCLK3 and LCLK4 at 400 MHz.
    const Run fast = b.run({"check", "--ref", "40000000"});
    QCOMPARE(fast.code, 1);
    QStringList ids;
    for (const QString& line : fast.out.split('\n', Qt::SkipEmptyParts))
        ids << line.section(':', 0, 0);
    QCOMPARE(ids, (QStringList{"vco-range", "output-high", "div2-half", "output-high",
                               "div2-quarter", "reference-range"}));

    b.usb.resetTransfers();
    const Run read = b.run({"read"});
    QCOMPARE(read.code, 0);
    QVERIFY2(read.out.endsWith("  CLK6   enabled  DIV2CLK/4      50000000.00000 Hz\n"
                               "Chip rules:\n  " +
                               findings.section('\n', 0, 0) + "\n  " +
                               findings.section('\n', 1, 1) + "\n"),
             qPrintable(read.out));
    QCOMPARE(b.writesSeen(), 0);

    for (int reg : {0x47})
        chip->setRegisterValue(reg, knownRegisters()[std::size_t(reg)]);
    const Run good = b.run({"check"});
    QCOMPARE(good.code, 0);
    QCOMPARE(good.out, QString());
    QVERIFY(b.run({"read"}).out.endsWith("Hz\nChip rules: no findings\n"));
    QCOMPARE(b.writesSeen(), 0);
}

void TestCli::writeRefusesABrokenConfigurationUnlessForced_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("readsBeforeWriting");  // full reads before the write would begin
    QTest::addColumn<QString>("findings");

    QTest::newRow("write") << QStringList{"write", "BROKEN"} << 0
                           << "div2-half: error: LCLK4 uses DIV2CLK/2 with DIV2N = 10 (LCLK4, "
                              "DIV2N)\n"
                              "div2-quarter: error: CLK6 uses DIV2CLK/4 with DIV2N = 10 (CLK6, "
                              "DIV2N)\n";
    QTest::newRow("write --all") << QStringList{"write", "--all", "--no-verify", "BROKEN"} << 0
                                 << "div2-half: error: LCLK4 uses DIV2CLK/2 with DIV2N = 10 "
                                    "(LCLK4, DIV2N)\n"
                                    "div2-quarter: error: CLK6 uses DIV2CLK/4 with DIV2N = 10 "
                                    "(CLK6, DIV2N)\n";
    // The chip's own LCLK3 stays on DIV1CLK/2, which the solve's DIV1N 6 breaks.
    QTest::newRow("solve --write")
        << QStringList{"solve", "--ref", "10000000", "--f1", "33333333", "--write"} << 1
        << "div1-half: error: LCLK3 uses DIV1CLK/2 with DIV1N = 6 (LCLK3, DIV1N)\n";
}

void TestCli::writeRefusesABrokenConfigurationUnlessForced() {
    QFETCH(QStringList, arguments);
    QFETCH(int, readsBeforeWriting);
    QFETCH(QString, findings);
    Bench b;
    auto chip = std::make_shared<SimCy22150>();
    for (int reg = 0; reg < 256; ++reg)
        chip->setRegisterValue(reg, knownRegisters()[std::size_t(reg)]);
    b.usb.plug(SimDevice::adapter(1, 4, chip));
    const QString broken =
        b.writeFile("b.cy22150.bin", encodeRegisterFile(knownFileWith({{0x47, 0x0A}})));
    arguments.replaceInStrings("BROKEN", broken);
    b.usb.resetTransfers();

    const Run refused = b.run(arguments);
    QCOMPARE(refused.code, 1);
    QCOMPARE(refused.err, findings +
                              "Error: the configuration breaks the chip's rules; nothing was "
                              "written (--force writes it anyway)\n");
    QCOMPARE(b.writesSeen(), 0);
    QCOMPARE(int(b.usb.transfers().size()), readsBeforeWriting * (OpenTransfers + ReadTransfers));
    for (int reg = 0; reg < 256; ++reg)
        QCOMPARE(chip->registerValue(reg), knownRegisters()[std::size_t(reg)]);

    // --force writes it all the same, after telling the findings.
    b.usb.resetTransfers();
    const Run forced = b.run(arguments + QStringList{"--force"});
    QCOMPARE(forced.code, 0);
    QCOMPARE(forced.err, findings);
    QCOMPARE(b.writesSeen(), 11);

    // A warning alone is told and refuses nothing: CAPLOAD 64 with a driven clock.
    const QString good = b.writeFile("g.cy22150.bin", encodeRegisterFile(knownFile()));
    b.usb.resetTransfers();
    const Run warned = b.run({"write", "--driven", good});
    QCOMPARE(warned.code, 0);
    QCOMPARE(warned.err, QString("capload-driven: warning: CAPLOAD is 64 with a driven clock; a "
                                 "driven clock wants 0 (CAPLOAD)\n"));
    QCOMPARE(b.writesSeen(), 11);
}

void TestCli::solveOptimalIsThePlanner() {
    Bench b;
    const QString file = b.path("o.cy22150.bin");
    const Run r =
        b.run({"solve", "--ref", "10000000", "--f1", "100000000", "--optimal", "-o", file});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.startsWith("P 80  Q 2  DIV1N 4 from the PLL  PLL settings searched "),
             qPrintable(r.out));
    QVERIFY(
        r.out.contains("\nLCLK1  100000000.00000 Hz  (DIV1CLK/DIV1N)  error +0.00000 Hz  "
                       "+0.000 ppm\n"));
    RegisterFileContents saved;
    QString reason;
    QVERIFY2(decodeRegisterFile(b.readFile("o.cy22150.bin"), saved, reason), qPrintable(reason));
    QCOMPARE(saved.registers[0x09] & 0x3F, 1);
    // The planner keeps to the board's reference range: a crystal runs at 8..30 MHz.
    const Run refused = b.run({"solve", "--ref", "48000000", "--f1", "1e6", "--optimal"});
    QCOMPARE(refused.code, 2);
    QCOMPARE(refused.err,
             QString("Error: the reference must be whole hertz within 8 MHz..30 MHz for a "
                     "crystal\n"));
}

void TestCli::planPrintsThePlan() {
    Bench b;
    // 100 MHz from 10 MHz is exact on many PLLs: the highest (400 MHz, P 80 / Q 2) wins.
    const Run r = b.run({"plan", "--ref", "10M", "lclk1=100M", "--tolerance", "0"});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err, QString());
    const QString head =
        "PLL   400000000.00000 Hz  P 80 (PB 36, PO 0)  Q 2  pump 1\n"
        "DIV1  from the PLL, N 4\n"
        "DIV2  not used (kept as it is)\n"
        "LCLK1  DIV1CLK/DIV1N  100000000.00000 Hz  target 100000000.00000 Hz  error +0.00000 "
        "Hz  "
        "+0.000 ppm\n"
        "LCLK2  off\nLCLK3  off\nLCLK4  off\nCLK5   off\nCLK6   off\n"
        "worst error 0.000 ppm (LCLK1), tolerance 0 ppm; ";
    QVERIFY2(r.out.startsWith(head), qPrintable(r.out));
    QVERIFY(r.out.endsWith(" PLL settings examined\n"));

    // 25 MHz and 12.5 MHz from a 25 MHz reference need no PLL.
    const Run direct = b.run({"plan", "--ref", "25000000", "LCLK1=25M", "CLK5=12.5M"});
    QCOMPARE(direct.code, 0);
    QVERIFY2(direct.out.startsWith("PLL   not used (P, Q and the pump kept as they are)\n"
                                   "DIV1  from the reference, N 4\n"
                                   "DIV2  not used (kept as it is)\n"
                                   "LCLK1  F ref          25000000.00000 Hz  target "
                                   "25000000.00000 Hz  error +0.00000 Hz  +0.000 ppm\n"),
             qPrintable(direct.out));
    QVERIFY(
        direct.out.contains("\nCLK5   DIV1CLK/2      12500000.00000 Hz  target "
                            "12500000.00000 Hz  error +0.00000 Hz  +0.000 ppm\n"));
    QCOMPARE(int(b.usb.transfers().size()), 0);
}

void TestCli::planMissingTheToleranceExitsOne() {
    Bench b;
    // 33.333 MHz and 14.31818 MHz from 10 MHz: the best plan is about 1000 ppm off.
    const QStringList plan{"plan", "--ref", "10M", "LCLK1=33.333M", "LCLK2=14.31818M"};
    const Run loose = b.run(plan + QStringList{"--tolerance", "2000"});
    QCOMPARE(loose.code, 0);
    const Run strict = b.run(plan + QStringList{"--tolerance", "100"});
    QCOMPARE(strict.code, 1);
    QCOMPARE(strict.out, QString(loose.out).replace("tolerance 2000 ppm", "tolerance 100 ppm"));
    QVERIFY(oneErrorLine(strict.err));
    QVERIFY2(strict.err.startsWith("Error: the best plan misses the tolerance: LCLK"),
             qPrintable(strict.err));
}

void TestCli::planJsonIsOneObject() {
    Bench b;
    const Run r = b.run({"plan", "--ref", "27M", "LCLK1=74.25M", "CLK6=13.5M", "LCLK3=3.375M",
                         "--json", "--tolerance", "5"});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err, QString());
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(r.out.toUtf8(), &parseError);
    QVERIFY2(doc.isObject(), qPrintable(parseError.errorString()));
    const QJsonObject plan = doc.object();
    QCOMPARE(plan["reference"].toDouble(), 27e6);
    QCOMPARE(plan["tolerancePpm"].toDouble(), 5.0);
    QCOMPARE(plan["withinTolerance"].toBool(), true);
    QCOMPARE(plan["worstErrorPpm"].toDouble(), 0.0);
    QCOMPARE(plan["findings"].toArray(), QJsonArray());
    const QJsonObject pll = plan["pll"].toObject();
    QCOMPARE(pll["used"].toBool(), true);
    const int p = pll["p"].toInt();
    const int q = pll["q"].toInt();
    QCOMPARE(pll["hz"].toDouble(), 27e6 * p / q);
    QCOMPARE(2 * (pll["pb"].toInt() + 4) + pll["po"].toInt(), p);
    const QJsonArray banks = plan["banks"].toArray();
    QCOMPARE(banks.size(), 2);
    QCOMPARE(banks[0].toObject()["name"].toString(), QString("DIV1"));
    const QJsonArray outputs = plan["outputs"].toArray();
    QCOMPARE(outputs.size(), 6);
    const QStringList names{"LCLK1", "LCLK2", "LCLK3", "LCLK4", "CLK5", "CLK6"};
    const std::map<QString, double> targets{
        {"LCLK1", 74.25e6}, {"LCLK3", 3.375e6}, {"CLK6", 13.5e6}};
    for (int i = 0; i < 6; ++i) {
        const QJsonObject o = outputs[i].toObject();
        QCOMPARE(o["name"].toString(), names[i]);
        QCOMPARE(o["held"].toBool(true), false);  // nothing enabled to hold on the start-up image
        const auto target = targets.find(names[i]);
        if (target == targets.end()) {
            QVERIFY(o["target"].isNull());
            QVERIFY(o["errorHz"].isNull());
            QCOMPARE(o["enabled"].toBool(), false);
            QCOMPARE(o["requested"].toBool(true), false);
            continue;
        }
        QCOMPARE(o["requested"].toBool(), true);
        QCOMPARE(o["target"].toDouble(), target->second);
        QCOMPARE(o["hz"].toDouble(), target->second);  // all three are exact
        QCOMPARE(o["source"].toString(), QString(CrosspointNames[std::size_t(o["route"].toInt())]));
        QVERIFY(!o.contains("frequency") && !o.contains("routeName"));
        QCOMPARE(o["errorHz"].toDouble(), 0.0);
        QCOMPARE(o["errorPpm"].toDouble(), 0.0);
        QCOMPARE(o["enabled"].toBool(), true);
        const int route = o["route"].toInt();
        QVERIFY(route >= 0 && route <= 6);
        const QJsonObject bank = banks[route <= 3 ? 0 : 1].toObject();
        if (route > 0) {
            QVERIFY(bank["used"].toBool());
            const double clock = bank["source"].toString() == "pll" ? pll["hz"].toDouble() : 27e6;
            const double divisor = route == 2 || route == 5 ? 2
                                   : route == 3             ? 3
                                   : route == 6             ? 4
                                                            : bank["n"].toDouble();
            QCOMPARE(clock / divisor, target->second);
        }
    }
}

void TestCli::planSavesAFileTheWindowLoads() {
    Bench b;
    const QString file = b.path("p.cy22150.bin");
    const Run r = b.run({"plan", "--ref", "10M", "LCLK2=20M", "CLK5=25M", "-o", file});
    QCOMPARE(r.code, 0);
    QVERIFY(r.out.endsWith("Saved " + file + "\n"));
    RegisterFileContents saved;
    QString reason;
    QVERIFY2(decodeRegisterFile(b.readFile("p.cy22150.bin"), saved, reason), qPrintable(reason));
    QCOMPARE(saved.fRef, 10e6);
    QCOMPARE(saved.flags, RegisterFileFlag::F2Enabled);
    QCOMPARE(saved.targetF2, 20e6);
    QCOMPARE(saved.registers[0x09] & 0x3F, 0x12);   // LCLK2 and CLK5
    QCOMPARE(saved.registers[0x13], quint8(0x40));  // the start-up CAPLOAD
    RegisterImage image;
    image.bytes = saved.registers;
    QVERIFY(checkChipRules(image, 10e6, BoardFacts{}).isEmpty());
    const FrequencyReadout readout = readFrequencies(image, 10e6, NormalPllRange);
    QCOMPARE(readout.outputs[1], 20e6);
    QCOMPARE(readout.outputs[4], 25e6);
    // show prints what the plan printed.
    const Run shown = b.run({"show", file});
    QCOMPARE(shown.code, 0);
    QVERIFY(shown.out.contains("CLK5   enabled"));
}

void TestCli::planWriteProgramsTheChipInTheSafeOrder() {
    Bench b;
    auto chip = patternChip();
    // Every output off on the chip: only the named one is planned and turned on.
    chip->setRegisterValue(0x09, 0x00);
    b.usb.plug(SimDevice::adapter(1, 4, chip));
    b.usb.resetTransfers();
    const Run r = b.run({"plan", "--ref", "10M", "LCLK1=50M", "--write"});
    QCOMPARE(r.code, 0);
    QVERIFY(r.out.endsWith("Programmed the chip.\n"));
    const std::vector<SimTransfer>& t = b.usb.transfers();
    QCOMPARE(int(t.size()), OpenTransfers + ReadTransfers + WriteTransfers + ReadTransfers);
    checkOpenTransfer(t[0], 0x69);
    checkReadSequence(t, OpenTransfers, 0x69);
    for (int i = 0; i < 11; ++i) {
        const SimTransfer& w = t[std::size_t(OpenTransfers + ReadTransfers + 2 * i)];
        QCOMPARE(int(w.request), 7);
        QCOMPARE(int(w.data.at(0)), WriteOrder[i]);
        QCOMPARE(w.data.at(1), chip->registerValue(WriteOrder[i]));
    }
    checkReadSequence(t, OpenTransfers + ReadTransfers + WriteTransfers, 0x69);  // the verify
    RegisterImage image;
    for (int reg = 0; reg < 256; ++reg)
        image[reg] = chip->registerValue(reg);
    QCOMPARE(Field::outputEnables(image), 1);
    QCOMPARE(readFrequencies(image, 10e6, NormalPllRange).outputs[0], 50e6);
    QVERIFY(!hasErrors(checkChipRules(image, 10e6, BoardFacts{})));
    QCOMPARE(chip->registerValue(0x10), chipPattern(0x10));  // nothing else written

    // A plan that misses the tolerance is printed, never written.
    b.usb.resetTransfers();
    const Run missed =
        b.run({"plan", "--ref", "10M", "LCLK1=33.333M", "--tolerance", "0", "--write"});
    QCOMPARE(missed.code, 1);
    QVERIFY(missed.out.contains("LCLK1  "));
    QCOMPARE(b.writesSeen(), 0);
}

void TestCli::planWriteKeepsWhatIsNotNamedOrTurnsItOff() {
    // The chip runs every output (LCLK1 25 MHz, LCLK2 12.5 MHz, LCLK3 and LCLK4 100 MHz, CLK5 the
    // 10 MHz reference, CLK6 50 MHz). Planning LCLK1 holds the others at those frequencies, as
    // targets of the same plan; --disable-unused turns them off instead.
    const double before[] = {25e6, 12.5e6, 100e6, 100e6, 10e6, 50e6};
    for (const bool disable : {false, true}) {
        Bench b;
        auto chip = std::make_shared<SimCy22150>();
        for (int reg = 0; reg < 256; ++reg)
            chip->setRegisterValue(reg, knownRegisters()[std::size_t(reg)]);
        b.usb.plug(SimDevice::adapter(1, 4, chip));
        QStringList arguments{"plan", "--ref", "10M", "LCLK1=33.333M", "--write"};
        if (disable)
            arguments << "--disable-unused";
        const Run text = b.run(arguments);
        QCOMPARE(text.code, 0);
        QCOMPARE(text.out.contains("  held at 12500000.00000 Hz  error "), !disable);
        QCOMPARE(text.out.contains("CLK6   off\n"), disable);
        const Run r = b.run(arguments + QStringList{"--json"});
        QCOMPARE(r.code, 0);
        const QJsonObject plan = QJsonDocument::fromJson(r.out.toUtf8()).object();
        RegisterImage image;
        for (int reg = 0; reg < 256; ++reg)
            image[reg] = chip->registerValue(reg);
        QVERIFY(checkChipRules(image, 10e6, BoardFacts{}).isEmpty());
        QCOMPARE(Field::outputEnables(image), disable ? 0x01 : 0x3F);
        const FrequencyReadout after = readFrequencies(image, 10e6, NormalPllRange);
        const QJsonArray outputs = plan["outputs"].toArray();
        for (int output = 1; output < 6; ++output) {
            const QJsonObject o = outputs[output].toObject();
            QCOMPARE(o["held"].toBool(), !disable);
            QCOMPARE(o["requested"].toBool(true), false);
            QCOMPARE(o["enabled"].toBool(), !disable);
            if (disable)
                continue;
            QCOMPARE(o["target"].toDouble(), before[output]);
            QCOMPARE(o["hz"].toDouble(), after.outputs[std::size_t(output)]);
            QVERIFY(std::fabs(o["errorPpm"].toDouble()) <= plan["worstErrorPpm"].toDouble());
        }
        QVERIFY(plan["withinTolerance"].isNull());  // no tolerance given, none claimed
    }
}

// CAPLOAD 0 for a driven reference, the crystal's kept: a saved plan is clean under check with
// the same board facts.
void TestCli::planIsCleanUnderCheck_data() {
    QTest::addColumn<QStringList>("plan");
    QTest::addColumn<QStringList>("board");
    QTest::addColumn<int>("capLoad");
    QTest::newRow("plan, crystal")
        << QStringList{"plan", "--ref", "25M", "LCLK1=33.333M"} << QStringList{} << 0x40;
    QTest::newRow("plan, driven") << QStringList{"plan", "--ref", "48M", "LCLK1=33.333M", "CLK6=1M"}
                                  << QStringList{"--driven"} << 0x00;
    QTest::newRow("plan, driven, no PLL")
        << QStringList{"plan", "--ref", "48M", "LCLK1=12M"} << QStringList{"--driven"} << 0x00;
    QTest::newRow("solve --optimal, driven")
        << QStringList{"solve", "--optimal", "--ref", "48000000", "--f1", "33333000"}
        << QStringList{"--driven"} << 0x00;
    QTest::newRow("solve --optimal, industrial crystal")
        << QStringList{"solve", "--optimal", "--ref", "27000000", "--f1", "74250000"}
        << QStringList{"--grade", "industrial"} << 0x40;
}

void TestCli::planIsCleanUnderCheck() {
    QFETCH(QStringList, plan);
    QFETCH(QStringList, board);
    QFETCH(int, capLoad);
    Bench b;
    const QString file = b.path("p.cy22150.bin");
    const Run planned = b.run(plan + board + QStringList{"-o", file});
    QCOMPARE(planned.code, 0);
    RegisterFileContents saved;
    QString reason;
    QVERIFY2(decodeRegisterFile(b.readFile("p.cy22150.bin"), saved, reason), qPrintable(reason));
    QCOMPARE(int(saved.registers[0x13]), capLoad);
    const Run checked = b.run(QStringList{"check", file} + board);
    QCOMPARE(checked.err, QString());
    QCOMPARE(checked.code, 0);
}

// A frequency with a k or M suffix means what its hertz mean, on every option and argument.
void TestCli::everyFrequencyTakesOneGrammar_data() {
    QTest::addColumn<QStringList>("scaled");
    QTest::addColumn<QStringList>("hertz");
    QTest::newRow("solve --ref --f1 --f2")
        << QStringList{"solve", "--ref", "10M", "--f1", "25M", "--f2", "100k"}
        << QStringList{"solve", "--ref", "10000000", "--f1", "25000000", "--f2", "100000"};
    QTest::newRow("solve, fractional mega")
        << QStringList{"solve", "--ref", "14.31818M", "--f1", "33.333M", "--json"}
        << QStringList{"solve", "--ref", "14318180", "--f1", "33333000", "--json"};
    QTest::newRow("solve --optimal, capital K")
        << QStringList{"solve", "--ref", "25M", "--f1", "125K", "--optimal"}
        << QStringList{"solve", "--ref", "25000000", "--f1", "125000", "--optimal"};
    QTest::newRow("read --ref") << QStringList{"read", "--ref", "27M"}
                                << QStringList{"read", "--ref", "27000000"};
    QTest::newRow("check --ref") << QStringList{"check", "--ref", "40M"}
                                 << QStringList{"check", "--ref", "40000000"};
    QTest::newRow("plan") << QStringList{"plan", "--ref", "10M", "LCLK1=25M", "CLK6=100k"}
                          << QStringList{"plan", "--ref", "10000000", "LCLK1=25000000",
                                         "CLK6=100000"};
}

void TestCli::everyFrequencyTakesOneGrammar() {
    QFETCH(QStringList, scaled);
    QFETCH(QStringList, hertz);
    Bench b;
    b.usb.plug(SimDevice::adapter(1, 4, patternChip()));
    const Run inHertz = b.run(hertz);
    const Run withSuffix = b.run(scaled);
    QVERIFY2(inHertz.code == 0 || inHertz.code == 1, qPrintable(inHertz.err));  // check: findings
    QVERIFY(!inHertz.out.isEmpty());
    QCOMPARE(withSuffix.code, inHertz.code);
    QCOMPARE(withSuffix.out, inHertz.out);
    QCOMPARE(withSuffix.err, inHertz.err);
}

// A signal just before the saved file takes its name (read -o, solve -o, plan -o) ends the
// command once the file is whole: the target is complete and nothing else is left beside it.
void TestCli::interruptedSaveLeavesNoTemporaryFile_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void TestCli::interruptedSaveLeavesNoTemporaryFile() {
    QFETCH(int, signal);
    Bench b;
    const QString target = b.path("r.cy22150.bin");
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        ::signal(signal, SIG_DFL);  // as vantrel-cli has it, not the test runner's handler
        SimUsbBackend usb;
        QString out;
        QString err;
        QTextStream o(&out);
        QTextStream e(&err);
        const CliContext cli{usb, o, e, CliEnvironment{}, {}, nullptr};
        saveOutputFile(target, cli, knownFile(), [signal] { raise(signal); });
        _exit(0);  // the signal did not end the command
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY(WIFSIGNALED(status));
    QCOMPARE(WTERMSIG(status), signal);
    QCOMPARE(b.readFile("r.cy22150.bin"), encodeRegisterFile(knownFile()));
    QCOMPARE(QDir(b.dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
             QStringList{"r.cy22150.bin"});
}

void TestCli::listNamesEveryDeviceAndMarksAdapters() {
    Bench b;
    b.usb.plug(SimDevice::other(2, 2, 0x1A2C, 0x0E24));
    b.usb.plug(SimDevice::adapter(1, 4, patternChip()));
    SimDevice locked = SimDevice::adapter(3, 7, patternChip());
    locked.openError = "Access denied (insufficient permissions)";
    b.usb.plug(locked);
    const Run r = b.run({"list"});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QString("BUS_002-DEV_002-VID_1A2C-PID_0E24\n"
                            "BUS_001-DEV_004-VID_0403-PID_C631 - Simulated Adapters - "
                            "i2c-tiny-usb  [adapter]\n"
                            "BUS_003-DEV_007-VID_0403-PID_C631  [adapter]\n"));
    QCOMPARE(b.usb.openHandleCount(), 0);
}

void TestCli::helpDescribesEachCommand_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("usage");
    QTest::newRow("list") << "list"
                          << "Usage: vantrel-cli list [--json]\n";
    QTest::newRow("read") << "read"
                          << "Usage: vantrel-cli read [options]\n";
    QTest::newRow("write") << "write"
                           << "Usage: vantrel-cli write [options] FILE\n";
    QTest::newRow("show") << "show"
                          << "Usage: vantrel-cli show [options] FILE\n";
    QTest::newRow("check") << "check"
                           << "Usage: vantrel-cli check [options] [FILE]\n";
    QTest::newRow("export") << "export"
                            << "Usage: vantrel-cli export [options] FILE --format i2cset|c|json\n";
    QTest::newRow("solve")
        << "solve"
        << "Usage: vantrel-cli solve --ref HZ --f1 HZ [--f2 HZ] [--prefer WHICH] "
           "[--extended] [--optimal] [-o FILE] [--write] [--json]\n";
    QTest::newRow("diff") << "diff"
                          << "Usage: vantrel-cli diff [options] FILE [FILE2]\n";
    QTest::newRow("get") << "get"
                         << "Usage: vantrel-cli get [options] REG\n";
    QTest::newRow("set") << "set"
                         << "Usage: vantrel-cli set [options] REG VALUE\n";
    QTest::newRow("plan") << "plan"
                          << "Usage: vantrel-cli plan --ref HZ OUTPUT=FREQ... [--tolerance PPM] "
                             "[--disable-unused] [--json] [-o FILE] [--write]\n";
}

void TestCli::helpDescribesEachCommand() {
    QFETCH(QString, command);
    QFETCH(QString, usage);
    Bench b;
    b.usb.plug(SimDevice::adapter(1, 4, patternChip()));
    b.usb.resetTransfers();
    const Run r = b.run({command, "--help"});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.startsWith(usage), qPrintable(r.out));
    QVERIFY(r.out.contains("--help"));
    QCOMPARE(int(b.usb.transfers().size()), 0);
    const Run overview = b.run({"--help"});
    QCOMPARE(overview.code, 0);
    QVERIFY(overview.out.contains("\n  " + command + " "));
}

void TestCli::versionNamesTheProject() {
    Bench b;
    const Run r = b.run({"--version"});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QString("vantrel-cli " VANTREL_VERSION "\n"));
    QCOMPARE(r.err, QString());
    QVERIFY(b.run({"--help"}).out.contains("vantrel-cli --version"));
}

// A failed read says which of its 515 transfers failed and why, as a failed write names its
// register; the window keeps its own short texts for the same failures.
void TestCli::readFailureNamesTheTransfer_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("transfer");  // from the first transfer after the open
    QTest::addColumn<SimFault>("fault");
    QTest::addColumn<QString>("error");
    const QString reading = "Error: reading the chip failed at ";
    QTest::newRow("pointer moves no data")
        << QStringList{"read"} << 0 << SimFault::noData()
        << reading +
               "setting the register pointer: the adapter accepted no data for the chip at "
               "I2C address 0x69";
    QTest::newRow("status after the pointer times out")
        << QStringList{"read"} << 1 << SimFault::timeout()
        << reading + "the status query after setting the register pointer: Operation timed out";
    QTest::newRow("byte 0x13 fails")
        << QStringList{"read"} << 2 + 2 * 0x13
        << SimFault::failure(SimUsbErrors::Io.code, SimUsbErrors::Io.text)
        << reading + "reading register 0x13: Input/Output Error";
    QTest::newRow("status after 0x13 fails")
        << QStringList{"read"} << 3 + 2 * 0x13
        << SimFault::failure(SimUsbErrors::Io.code, SimUsbErrors::Io.text)
        << reading + "the status query after register 0x13: Input/Output Error";
    QTest::newRow("status after 0x40 without its byte")
        << QStringList{"read"} << 3 + 2 * 0x40 << SimFault::noData()
        << reading +
               "the status query after register 0x40: the adapter returned no status for "
               "the chip at I2C address 0x69";
    QTest::newRow("last byte times out")
        << QStringList{"read"} << 2 + 2 * 0xFF << SimFault::timeout()
        << reading + "reading register 0xFF: Operation timed out";
    QTest::newRow("final status not acknowledged")
        << QStringList{"read"} << ReadTransfers - 1 << SimFault::answer(2)
        << reading +
               "the status query after register 0xFF: the chip at I2C address 0x69 did "
               "not acknowledge";
    QTest::newRow("read-back, status after 0x13 fails")
        << QStringList{"write", "GOOD"} << WriteTransfers + 3 + 2 * 0x13
        << SimFault::failure(SimUsbErrors::Io.code, SimUsbErrors::Io.text)
        << "Error: reading back failed at the status query after register 0x13: Input/Output Error";
    QTest::newRow("check, status after the pointer not acknowledged")
        << QStringList{"check"} << 1 << SimFault::answer(0)
        << reading +
               "the status query after setting the register pointer: the chip at I2C address "
               "0x69 did not acknowledge";
    QTest::newRow("check, byte 0x09 times out")
        << QStringList{"check", "--json"} << 2 + 2 * 0x09 << SimFault::timeout()
        << reading + "reading register 0x09: Operation timed out";
    QTest::newRow("solve --write, byte 0x42 times out")
        << QStringList{"solve", "--ref", "10000000", "--f1", "50000000", "--write"} << 2 + 2 * 0x42
        << SimFault::timeout() << reading + "reading register 0x42: Operation timed out";
}

void TestCli::readFailureNamesTheTransfer() {
    QFETCH(QStringList, arguments);
    QFETCH(int, transfer);
    QFETCH(SimFault, fault);
    QFETCH(QString, error);
    Bench b;
    b.usb.plug(SimDevice::adapter(1, 4, patternChip()));
    const QString good = b.writeFile("good.cy22150.bin", encodeRegisterFile(knownFile()));
    arguments.replaceInStrings("GOOD", good);
    b.usb.resetTransfers();
    b.usb.injectFault(OpenTransfers + transfer, fault);
    const Run r = b.run(arguments);
    // check answers a transfer failure as diff(1) answers trouble.
    QCOMPARE(r.code, arguments.first() == "check" ? 2 : 1);
    QCOMPARE(r.err, error + '\n');
    QVERIFY(!r.out.contains("Programmed"));
    QVERIFY(!arguments.contains("--json") || r.out.isEmpty());
}

// The path is printed as the window prints file names; the file itself gets the name as given.
void TestCli::savedLineShowsThePathPrintable_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shown");
    QTest::newRow("escape sequence") << "z\x1b[2Jq.bin" << QString::fromUtf8("z\u241B[2Jq.bin");
    QTest::newRow("line feed") << "n\nSaved fake.bin" << QString::fromUtf8("n\u240ASaved fake.bin");
    QTest::newRow("carriage return") << "c\r.bin" << QString::fromUtf8("c\u240D.bin");
}

void TestCli::savedLineShowsThePathPrintable() {
    QFETCH(QString, name);
    QFETCH(QString, shown);
    Bench b;
    b.usb.plug(SimDevice::adapter(1, 4, patternChip()));
    const QString path = b.path(name);
    const Run solved = b.run({"solve", "--ref", "10000000", "--f1", "50000000", "-o", path});
    QCOMPARE(solved.code, 0);
    QVERIFY2(solved.out.endsWith("\nSaved " + b.path(shown) + "\n"), qPrintable(solved.out));
    QCOMPARE(solved.out.count('\n'), 3);
    QCOMPARE(b.readFile(name).size(), RegisterFileSize);
    const Run read = b.run({"read", "-o", path});
    QCOMPARE(read.code, 0);
    QCOMPARE(read.out, "Saved " + b.path(shown) + "\n");
}

void TestCli::listJson() {
    Bench b;
    b.usb.plug(SimDevice::other(2, 2, 0x1A2C, 0x0E24));
    b.usb.plug(SimDevice::adapter(1, 4, patternChip()));
    const Run r = b.run({"list", "--json"});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err, QString());
    const QJsonDocument doc = parseJson(r.out);
    QVERIFY(doc.isObject());
    QCOMPARE(doc.object().keys(), QStringList({"buses", "devices"}));
    QCOMPARE(doc.object().value("buses").toArray(), QJsonArray());
    const QJsonArray devices = doc.object().value("devices").toArray();
    QCOMPARE(devices.size(), 2);
    const QJsonObject other = devices[0].toObject();
    QCOMPARE(other.value("bus").toInt(), 2);
    QCOMPARE(other.value("device").toInt(), 2);
    QCOMPARE(other.value("vendorId").toString(), QString("1A2C"));
    QCOMPARE(other.value("productId").toString(), QString("0E24"));
    QCOMPARE(other.value("identification").toString(),
             QString("BUS_002-DEV_002-VID_1A2C-PID_0E24"));
    QCOMPARE(other.value("adapter").toBool(true), false);
    const QJsonObject adapter = devices[1].toObject();
    QCOMPARE(adapter.value("entry").toString(),
             QString("BUS_001-DEV_004-VID_0403-PID_C631 - Simulated Adapters - i2c-tiny-usb"));
    QCOMPARE(adapter.value("productId").toString(), QString("C631"));
    QCOMPARE(adapter.value("adapter").toBool(false), true);
    QCOMPARE(adapter.value("transport").toString(), QString("usb"));
    QVERIFY(!other.contains("transport"));
}

void TestCli::showJson() {
    Bench b;
    RegisterFileContents c = knownFile();
    c.registers[0x42] = 0x00;  // Q 2: 1 GHz, above the normal range
    c.registers[0x09] = 0x05;
    c.registers[0x47] = 0x8A;
    c.flags |= RegisterFileFlag::F1Preferred;
    const QString file = b.writeFile("k.cy22150.bin", encodeRegisterFile(c));
    const Run r = b.run({"show", "--json", file});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err, QString());
    const QJsonObject doc = parseJson(r.out).object();
    QCOMPARE(doc.value("file").toString(), file);
    const QJsonObject registers = doc.value("registers").toObject();
    QCOMPARE(registers.size(), 11);
    QCOMPARE(registers.value("0x09").toInt(), 0x05);
    QCOMPARE(registers.value("0x40").toInt(), 0xC4);
    QCOMPARE(registers.value("0x47").toInt(), 0x8A);
    const QJsonObject fields = doc.value("fields").toObject();
    QCOMPARE(fields.value("p").toInt(), 200);
    QCOMPARE(fields.value("q").toInt(), 2);
    QCOMPARE(fields.value("pb").toInt(), 96);
    QCOMPARE(fields.value("div2n").toInt(), 10);
    QCOMPARE(fields.value("div2Source").toString(), QString("reference"));
    QCOMPARE(fields.value("capLoad").toInt(), 64);
    const QJsonObject frequencies = doc.value("frequencies").toObject();
    QCOMPARE(frequencies.value("reference").toDouble(), 10e6);
    QCOMPARE(frequencies.value("pll").toDouble(), 1e9);
    const QJsonArray outputs = frequencies.value("outputs").toArray();
    QCOMPARE(outputs.size(), 6);
    QCOMPARE(outputs[0].toObject().value("name").toString(), QString("LCLK1"));
    QCOMPARE(outputs[0].toObject().value("hz").toDouble(), 125e6);
    QCOMPARE(outputs[0].toObject().value("enabled").toBool(), true);
    QCOMPARE(outputs[1].toObject().value("enabled").toBool(true), false);
    QCOMPARE(outputs[5].toObject().value("source").toString(), QString("DIV2CLK/4"));
    QCOMPARE(outputs[5].toObject().value("hz").toDouble(), 2.5e6);
    QCOMPARE(doc.value("warnings").toArray(), QJsonArray{"Warning: unstable HIGH PLL frequency!"});
    QCOMPARE(doc.value("pllRange").toString(), QString("normal"));
    const QJsonObject targets = doc.value("targets").toObject();
    QCOMPARE(targets.value("f1").toDouble(), 25e6);
    QCOMPARE(targets.value("f2").toDouble(), 12.5e6);
    QCOMPARE(targets.value("f2Enabled").toBool(), true);
    QCOMPARE(targets.value("f1Preferred").toBool(), true);
    QCOMPARE(targets.value("f2Preferred").toBool(true), false);
}

void TestCli::readJson() {
    Bench b;
    b.usb.plug(SimDevice::adapter(1, 4, patternChip()));
    b.usb.resetTransfers();
    const Run r = b.run({"read", "--json", "--ref", "27000000", "-o", b.path("r.cy22150.bin")});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err, QString());
    QCOMPARE(int(b.usb.transfers().size()), OpenTransfers + ReadTransfers);
    const QJsonObject doc = parseJson(r.out).object();
    QCOMPARE(doc.value("device").toObject().value("identification").toString(),
             QString("BUS_001-DEV_004-VID_0403-PID_C631"));
    QCOMPARE(doc.value("i2cAddress").toInt(), 0x69);
    const QJsonObject registers = doc.value("registers").toObject();
    for (int reg : WriteOrder)
        QCOMPARE(registers.value(QString::asprintf("0x%02X", reg)).toInt(), int(chipPattern(reg)));
    QCOMPARE(doc.value("frequencies").toObject().value("reference").toDouble(), 27e6);
    QCOMPARE(doc.value("saved").toString(), b.path("r.cy22150.bin"));
    QCOMPARE(b.readFile("r.cy22150.bin").size(), RegisterFileSize);
}

void TestCli::solveJson() {
    Bench b;
    // 10 MHz x 40 / 2 = 200 MHz, / 4 = 50 MHz exactly; F2 from the same PLL.
    const Run r = b.run({"solve", "--ref", "10000000", "--f1", "50000000", "--f2", "33333333",
                         "--json", "-o", b.path("s.cy22150.bin")});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err, QString());
    const QJsonObject doc = parseJson(r.out).object();
    SolverRecord record;
    record.refFrequency = 10e6;
    record.targetF1 = 50e6;
    record.targetF2 = 33333333;
    record.f1Preferred = 1;
    const SolverRecord window = searchDividers(record, true, 100000000, 400000000);
    QCOMPARE(doc.value("solver").toString(), QString("window"));
    QCOMPARE(doc.value("p").toInt(), window.pTotal);
    QCOMPARE(doc.value("q").toInt(), window.qTotal);
    QCOMPARE(doc.value("div1n").toInt(), window.divider1);
    QCOMPARE(doc.value("div2n").toInt(), window.divider2);
    QCOMPARE(doc.value("iterations").toInt(), window.iterations);
    const QJsonArray outputs = doc.value("outputs").toArray();
    QCOMPARE(outputs.size(), 2);
    const double fPll = 10e6 * window.pTotal / window.qTotal;
    QCOMPARE(outputs[0].toObject().value("name").toString(), QString("LCLK1"));
    QCOMPARE(outputs[0].toObject().value("target").toDouble(), 50e6);
    QCOMPARE(outputs[0].toObject().value("hz").toDouble(), fPll / window.divider1);
    QCOMPARE(outputs[1].toObject().value("hz").toDouble(), fPll / window.divider2);
    QCOMPARE(outputs[1].toObject().value("errorHz").toDouble(), fPll / window.divider2 - 33333333);
    QCOMPARE(doc.value("saved").toString(), b.path("s.cy22150.bin"));
    QVERIFY(doc.contains("warnings"));
}

// --log: one JSON line per command that programs the chip, appended; plan gets it from the one
// programming path like write, set and solve.
void TestCli::logRecordsWhatWasWritten_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("faultAt");  // transfer after the open; -1: none
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("file");           // "file" rather than "request"
    QTest::addColumn<QList<int>>("written");  // registers, with the known file's values
    QTest::addColumn<QString>("verify");
    QTest::addColumn<bool>("adapter");

    const QList<int> all(std::begin(WriteOrder), std::end(WriteOrder));
    QTest::newRow("write") << QStringList{"write", "GOOD"} << -1 << 0 << true << all << "passed"
                           << true;
    QTest::newRow("write --no-verify") << QStringList{"write", "--no-verify", "GOOD"} << -1 << 0
                                       << true << all << "skipped" << true;
    QTest::newRow("write, verify fails")
        << QStringList{"write", "GOOD"} << WriteTransfers + 2 + 2 * 0x47 << 1 << true << all
        << "failed" << true;
    QTest::newRow("write, 0x13 not acknowledged")
        << QStringList{"write", "GOOD"} << 2 * 2 + 1 << 1 << true << QList<int>{0x0C, 0x12}
        << "not run" << true;
    QTest::newRow("write, refused by the rules")
        << QStringList{"write", "BROKEN"} << -1 << 1 << true << QList<int>{} << "not run" << false;
    QTest::newRow("set") << QStringList{"set", "0x47", "0x10"} << -1 << 0 << false
                         << QList<int>{0x47} << "passed" << true;
    QTest::newRow("solve --write")
        << QStringList{"solve", "--ref", "10M", "--f1", "12.5M", "--write"} << -1 << 0 << false
        << all << "passed" << true;
    QTest::newRow("plan --write") << QStringList{"plan",        "--ref",       "10M",
                                                 "LCLK1=25M",   "LCLK2=12.5M", "LCLK3=12.5M",
                                                 "LCLK4=6.25M", "CLK5=10M",    "CLK6=2.5M",
                                                 "--write"}
                                  << -1 << 0 << false << all << "passed" << true;
}

void TestCli::logRecordsWhatWasWritten() {
    QFETCH(QStringList, arguments);
    QFETCH(int, faultAt);
    QFETCH(int, code);
    QFETCH(bool, file);
    QFETCH(QList<int>, written);
    QFETCH(QString, verify);
    QFETCH(bool, adapter);
    Bench b;
    auto chip = std::make_shared<SimCy22150>();
    for (int reg = 0; reg < 256; ++reg)
        chip->setRegisterValue(reg, knownRegisters()[std::size_t(reg)]);
    b.usb.plug(SimDevice::adapter(1, 4, chip));
    const QString good = b.writeFile("g.cy22150.bin", encodeRegisterFile(knownFile()));
    const QString broken =
        b.writeFile("b.cy22150.bin", encodeRegisterFile(knownFileWith({{0x47, 0x0A}})));
    arguments.replaceInStrings("GOOD", good).replaceInStrings("BROKEN", broken);
    const QString log = b.path("production.log");
    b.writeFile("production.log", "an earlier line\n");
    arguments << "--log" << log;
    b.usb.resetTransfers();
    if (faultAt >= 0)
        b.usb.injectFault(OpenTransfers + faultAt, SimFault::answer(0));

    const Run r = b.run(arguments);
    QCOMPARE(r.code, code);
    const QList<QByteArray> lines = b.readFile("production.log").split('\n');
    QCOMPARE(lines.size(), 3);  // appended after the earlier line, ending with a line feed
    QCOMPARE(lines[0], QByteArray("an earlier line"));
    QCOMPARE(lines[2], QByteArray());
    const QJsonObject line = QJsonDocument::fromJson(lines[1]).object();
    QCOMPARE(line.value("command").toString(), arguments.first());
    QCOMPARE(line.value("exit").toInt(-1), code);
    QCOMPARE(line.value("verify").toString(), verify);
    QCOMPARE(line.value("adapter").toString(),
             adapter ? QString("BUS_001-DEV_004-VID_0403-PID_C631") : QString());
    QCOMPARE(line.value("adapter").isNull(), !adapter);
    if (file) {
        QCOMPARE(line.value("file").toString(), arguments.at(arguments.size() - 3));
        QVERIFY(!line.contains("request"));
    } else {
        QCOMPARE(line.value("request").toArray(), QJsonArray::fromStringList(arguments.mid(1)));
    }
    const QDateTime time = QDateTime::fromString(line.value("time").toString(), Qt::ISODateWithMs);
    QVERIFY(time.isValid());
    QVERIFY(qAbs(time.secsTo(QDateTime::currentDateTimeUtc())) < 600);
    const QJsonObject registers = line.value("registers").toObject();
    QCOMPARE(registers.size(), written.size());
    for (int reg : written) {
        // What was written: the chip holds it unless the write itself was what failed.
        const QString key = QString::asprintf("0x%02X", reg);
        QVERIFY2(registers.contains(key), qPrintable(key));
        QCOMPARE(registers.value(key).toString(),
                 QString::asprintf("0x%02X", chip->registerValue(reg)));
    }
}

// A log that cannot be written fails the command with exit 2 before any transfer.
void TestCli::unwritableLogTouchesNoDevice() {
    Bench b;
    b.usb.plug(SimDevice::adapter(1, 4, patternChip()));
    const QString good = b.writeFile("g.cy22150.bin", encodeRegisterFile(knownFile()));
    const QString log = b.path("missing/production.log");
    for (const QStringList& arguments :
         {QStringList{"write", good}, QStringList{"set", "0x0C", "8"},
          QStringList{"solve", "--ref", "10M", "--f1", "25M", "--write"},
          QStringList{"plan", "--ref", "10M", "LCLK1=25M", "--write"}}) {
        b.usb.resetTransfers();
        const Run r = b.run(arguments + QStringList{"--log", log});
        QCOMPARE(r.code, 2);
        QVERIFY2(oneErrorLine(r.err), qPrintable(r.err));
        QVERIFY2(r.err.startsWith("Error: --log: " + log + " cannot be written: "),
                 qPrintable(r.err));
        QCOMPARE(int(b.usb.transfers().size()), 0);
    }
}

// diff, get and set: their texts, exit codes (diff as diff(1)) and the register writes they make.
void TestCli::diffGetAndSet_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<RegisterChanges>("chipChanges");  // to the known configuration
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::addColumn<RegisterChanges>("writes");  // (register, value) in the order written
    QTest::addColumn<int>("transfers");           // all of them; -1: not counted

    const int read = OpenTransfers + ReadTransfers;
    QTest::newRow("diff FILE, alike") << QStringList{"diff", "FILE"} << RegisterChanges{} << 0 << ""
                                      << "" << RegisterChanges{} << read;
    QTest::newRow("diff FILE, two registers differ")
        << QStringList{"diff", "FILE"} << RegisterChanges{{0x47, 0x0A}, {0x09, 0x3E}} << 1
        << "0x09 (output enables): 0x3F in FILE, 0x3E in the chip\n"
           "0x47 (DIV2SRC, DIV2N): 0x10 in FILE, 0x0A in the chip\n"
        << "" << RegisterChanges{} << read;
    QTest::newRow("diff FILE, a register write does not write differs")
        << QStringList{"diff", "FILE"} << RegisterChanges{{0x10, 0x55}, {0x43, 0x01}} << 0 << ""
        << "" << RegisterChanges{} << read;
    QTest::newRow("diff FILE FILE, register and reference")
        << QStringList{"diff", "FILE", "OTHER"} << RegisterChanges{} << 1
        << "0x40 (charge pump, PB bits 9..8): 0xC4 in FILE, 0xC0 in OTHER\n"
           "reference: 10000000.00000 Hz in FILE, 12000000.00000 Hz in OTHER\n"
        << "" << RegisterChanges{} << 0;
    QTest::newRow("diff FILE FILE, alike")
        << QStringList{"diff", "FILE", "FILE"} << RegisterChanges{} << 0 << ""
        << "" << RegisterChanges{} << 0;
    QTest::newRow("diff, chip absent")
        << QStringList{"diff", "FILE", "--address", "0x10"} << RegisterChanges{} << 2 << ""
        << "Error: reading the chip failed at the status query after setting the register "
           "pointer: the chip at I2C address 0x10 did not acknowledge\n"
        << RegisterChanges{} << -1;
    QTest::newRow("diff, three files")
        << QStringList{"diff", "FILE", "FILE", "FILE"} << RegisterChanges{} << 2 << ""
        << "Error: diff takes one or two register files\n"
        << RegisterChanges{} << 0;
    QTest::newRow("diff, bad device")
        << QStringList{"diff", "FILE", "FILE", "--device", "x"} << RegisterChanges{} << 2 << ""
        << "Error: --device takes BUS:DEV, not \"x\"\n"
        << RegisterChanges{} << 0;
    // get reads the one register: pointer, status, the byte, its status, the final status.
    QTest::newRow("get hex") << QStringList{"get", "0x47"} << RegisterChanges{} << 0 << "0x10\n"
                             << "" << RegisterChanges{} << OpenTransfers + 5;
    QTest::newRow("get decimal") << QStringList{"get", "64"} << RegisterChanges{} << 0 << "0xC4\n"
                                 << "" << RegisterChanges{} << OpenTransfers + 5;
    QTest::newRow("get 0x100") << QStringList{"get", "0x100"} << RegisterChanges{} << 2 << ""
                               << "Error: REG takes 0x00..0xFF or 0..255, not \"0x100\"\n"
                               << RegisterChanges{} << 0;
    QTest::newRow("get octal-looking") << QStringList{"get", "010"} << RegisterChanges{} << 2 << ""
                                       << "Error: REG takes 0x00..0xFF or 0..255, not "
                                          "\"010\"\n"
                                       << RegisterChanges{} << 0;
    QTest::newRow("get, chip absent")
        << QStringList{"get", "0x09", "--address", "0x11"} << RegisterChanges{} << 1 << ""
        << "Error: reading the chip failed at the status query after setting the register "
           "pointer: the chip at I2C address 0x11 did not acknowledge\n"
        << RegisterChanges{} << -1;
    // set: the chip is read, the one register written, the chip read back.
    QTest::newRow("set DIV1N 16") << QStringList{"set", "0x0C", "0x10"} << RegisterChanges{} << 0
                                  << "Wrote 0x10 to register 0x0C, verified.\n"
                                  << "" << RegisterChanges{{0x0C, 0x10}}
                                  << read + 2 + ReadTransfers;
    QTest::newRow("set decimal, no verify")
        << QStringList{"set", "12", "32", "--no-verify"} << RegisterChanges{} << 0
        << "Wrote 0x20 to register 0x0C, not verified.\n"
        << "" << RegisterChanges{{0x0C, 0x20}} << read + 2;
    QTest::newRow("set DIV1N 6, refused")
        << QStringList{"set", "0x0C", "6"} << RegisterChanges{} << 1 << ""
        << "div1-half: error: LCLK3 uses DIV1CLK/2 with DIV1N = 6 (LCLK3, DIV1N)\n"
           "Error: the configuration breaks the chip's rules; nothing was written (--force "
           "writes it anyway)\n"
        << RegisterChanges{} << read;
    QTest::newRow("set DIV1N 6, forced")
        << QStringList{"set", "0x0C", "6", "--force"} << RegisterChanges{} << 0
        << "Wrote 0x06 to register 0x0C, verified.\n"
        << "div1-half: error: LCLK3 uses DIV1CLK/2 with DIV1N = 6 (LCLK3, DIV1N)\n"
        << RegisterChanges{{0x0C, 0x06}} << read + 2 + ReadTransfers;
    QTest::newRow("set, the reference judges")
        << QStringList{"set", "0x09", "0x3F", "--ref", "40M"} << RegisterChanges{{0x09, 0x00}} << 1
        << "" << QString() << RegisterChanges{} << read;
    QTest::newRow("set, value missing")
        << QStringList{"set", "0x0C"} << RegisterChanges{} << 2 << ""
        << "Error: set takes a register and a value\n"
        << RegisterChanges{} << 0;
    QTest::newRow("set, value too large")
        << QStringList{"set", "0x0C", "256"} << RegisterChanges{} << 2 << ""
        << "Error: VALUE takes 0x00..0xFF or 0..255, not \"256\"\n"
        << RegisterChanges{} << 0;
}

void TestCli::diffGetAndSet() {
    QFETCH(QStringList, arguments);
    QFETCH(RegisterChanges, chipChanges);
    QFETCH(int, code);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(RegisterChanges, writes);
    QFETCH(int, transfers);
    Bench b;
    auto chip = std::make_shared<SimCy22150>();
    const RegisterFileContents onChip = knownFileWith(chipChanges);
    for (int reg = 0; reg < 256; ++reg)
        chip->setRegisterValue(reg, onChip.registers[std::size_t(reg)]);
    b.usb.plug(SimDevice::adapter(1, 4, chip));
    const QString file = b.writeFile("k.cy22150.bin", encodeRegisterFile(knownFile()));
    RegisterFileContents other = knownFileWith({{0x40, 0xC0}});
    other.fRef = 12000000;
    const QString otherFile = b.writeFile("o.cy22150.bin", encodeRegisterFile(other));
    arguments.replaceInStrings("FILE", file).replaceInStrings("OTHER", otherFile);
    out.replace("FILE", file).replace("OTHER", otherFile);
    b.usb.resetTransfers();

    const Run r = b.run(arguments);
    QCOMPARE(r.code, code);
    QCOMPARE(r.out, out);
    if (!err.isNull())
        QCOMPARE(r.err, err);
    RegisterChanges written;
    for (const SimTransfer& t : b.usb.transfers()) {
        if (t.request == 7)
            written.append({int(t.data.at(0)), int(t.data.at(1))});
    }
    QCOMPARE(written, writes);
    for (const QPair<int, int>& w : writes)
        QCOMPARE(int(chip->registerValue(w.first)), w.second);
    if (transfers >= 0)
        QCOMPARE(int(b.usb.transfers().size()), transfers);
}

void TestCli::diffJson() {
    Bench b;
    const QString file = b.writeFile("k.cy22150.bin", encodeRegisterFile(knownFile()));
    const QString other =
        b.writeFile("o.cy22150.bin", encodeRegisterFile(knownFileWith({{0x47, 0x0A}})));
    const Run r = b.run({"diff", "--json", file, other});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.err, QString());
    const QJsonObject doc = parseJson(r.out).object();
    QCOMPARE(doc.value("first").toObject().value("file").toString(), file);
    QCOMPARE(doc.value("second").toObject().value("file").toString(), other);
    QCOMPARE(doc.value("alike").toBool(true), false);
    const QJsonArray differences = doc.value("differences").toArray();
    QCOMPARE(differences.size(), 1);
    const QJsonObject d = differences[0].toObject();
    QCOMPARE(d.value("address").toInt(), 0x47);
    QCOMPARE(d.value("contents").toString(), QString("DIV2SRC, DIV2N"));
    QCOMPARE(d.value("first").toInt(), 0x10);
    QCOMPARE(d.value("second").toInt(), 0x0A);
    QCOMPARE(doc.value("reference").toObject().value("second").toDouble(), 10e6);
}

namespace {
// The names the manual's JSON vocabulary lists: ".It Li name , Li other" lines of its list.
QSet<QString> manualVocabulary() {
    QFile page(VANTREL_SOURCE_DIR "/packaging/man/vantrel-cli.1");
    if (!page.open(QIODevice::ReadOnly))
        qFatal("cannot read the manual page");
    const QString text = QString::fromUtf8(page.readAll());
    const QString list = text.section(".Ss JSON vocabulary\n", 1).section("\n.El\n", 0, 0);
    QSet<QString> names;
    for (const QString& line : list.split('\n')) {
        if (!line.startsWith(".It Li "))
            continue;
        for (QString name : line.mid(7).split(" , Li "))
            names.insert(name.trimmed());
    }
    return names;
}

// Every key in a document, with the path where it was first seen; register addresses aside.
void collectKeys(const QJsonValue& value, const QString& path, QMap<QString, QString>& keys) {
    static const QRegularExpression address("^0x[0-9A-F]{2}$");
    if (value.isArray()) {
        for (const QJsonValue& v : value.toArray())
            collectKeys(v, path + "[]", keys);
        return;
    }
    const QJsonObject object = value.toObject();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!address.match(it.key()).hasMatch() && !keys.contains(it.key()))
            keys.insert(it.key(), path + "." + it.key());
        collectKeys(it.value(), path + "." + it.key(), keys);
    }
}
}  // namespace

// Every command names a quantity the same way, and only with names the manual's one list
// explains: an output's frequency is "hz", its route "source", a finding's rule "id".
void TestCli::jsonNamesAreTheOneVocabulary_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("present");  // shared names this document must use
    QTest::newRow("list") << QStringList{"list"}
                          << QStringList{"bus", "device", "identification", "adapter"};
    QTest::newRow("read") << QStringList{"read", "-o", "OUT"}
                          << QStringList{"registers", "hz",     "source", "id",  "severity",
                                         "text",      "device", "saved",  "pll", "reference"};
    QTest::newRow("show") << QStringList{"show", "FILE"}
                          << QStringList{"registers", "fields", "hz", "source", "targets", "id"};
    QTest::newRow("solve") << QStringList{"solve", "--ref", "10M", "--f1", "25M", "--f2", "5M"}
                           << QStringList{"p",  "q",      "div1n",  "div2n",
                                          "hz", "source", "target", "errorPpm"};
    QTest::newRow("solve --optimal --write")
        << QStringList{"solve", "--ref", "10M", "--f1", "25M", "--optimal", "--write", "--force"}
        << QStringList{"pllUsed", "div1n",  "div1Source", "pllSettingsExamined",
                       "hz",      "source", "programmed", "verified",
                       "findings"};
    QTest::newRow("check FILE") << QStringList{"check", "FILE"}
                                << QStringList{"file", "findings", "id", "severity", "text"};
    QTest::newRow("diff") << QStringList{"diff", "FILE"}
                          << QStringList{"first", "second", "differences",
                                         "alike", "file",   "device"};
    QTest::newRow("check") << QStringList{"check"}
                           << QStringList{"device", "i2cAddress", "findings", "id"};
}

void TestCli::jsonNamesAreTheOneVocabulary() {
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, present);
    const QSet<QString> vocabulary = manualVocabulary();
    QVERIFY(vocabulary.size() > 40);
    for (const char* synonym : {"frequency", "routeName", "rule", "div1", "pump"})
        QVERIFY2(!vocabulary.contains(synonym), synonym);  // the list keeps one name a quantity
    // A chip and a file with findings, so that every name of a finding shows.
    const RegisterFileContents broken = knownFileWith({{0x47, 0x0A}});
    auto chip = std::make_shared<SimCy22150>();
    for (int reg = 0; reg < 256; ++reg)
        chip->setRegisterValue(reg, broken.registers[std::size_t(reg)]);
    Bench b;
    b.usb.plug(SimDevice::adapter(1, 4, chip));
    const QString file = b.writeFile("f.cy22150.bin", encodeRegisterFile(broken));
    arguments.replaceInStrings("FILE", file).replaceInStrings("OUT", b.path("o.cy22150.bin"));
    const Run r = b.run(arguments + QStringList{"--json"});
    // check and diff answer 1 for what they found.
    QVERIFY2(
        r.code == 0 || (QStringList{"check", "diff"}.contains(arguments.first()) && r.code == 1),
        qPrintable(r.err));
    const QJsonDocument doc = parseJson(r.out);
    QMap<QString, QString> keys;
    collectKeys(doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object()), "", keys);
    for (auto it = keys.begin(); it != keys.end(); ++it)
        QVERIFY2(vocabulary.contains(it.key()), qPrintable(it.value() + " is not in the manual"));
    for (const QString& name : present)
        QVERIFY2(keys.contains(name), qPrintable(name));
}

// A control character of a file name reaches the terminal escaped, never raw, and the document
// still gives the name as it is.
void TestCli::jsonEscapesControlCharacters_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("escaped");
    QTest::newRow("C1 CSI") << QString::fromUtf8("a\u009b2Jb.bin") << "a\\u009b2Jb.bin";
    QTest::newRow("C1 NEL") << QString::fromUtf8("n\u0085l.bin") << "n\\u0085l.bin";
    QTest::newRow("DEL") << QString::fromUtf8("d\u007fl.bin") << "d\\u007fl.bin";
    QTest::newRow("escape") << QString::fromUtf8("e\u001b[2J.bin") << "e\\u001b[2J.bin";
}

void TestCli::jsonEscapesControlCharacters() {
    QFETCH(QString, name);
    QFETCH(QString, escaped);
    Bench b;
    const QString file = b.writeFile(name, encodeRegisterFile(knownFile()));
    const Run r = b.run({"show", "--json", file});
    QCOMPARE(r.code, 0);
    for (const QChar c : r.out)
        QVERIFY2(c == '\n' || (c.unicode() >= 0x20 && c.unicode() != 0x7F &&
                               !(c.unicode() >= 0x80 && c.unicode() <= 0x9F)),
                 qPrintable(QString::number(c.unicode(), 16)));
    QVERIFY2(r.out.contains("\"file\": \"" + b.path(escaped) + "\""), qPrintable(r.out));
    QCOMPARE(parseJson(r.out).object().value("file").toString(), file);
}

// A failing command under --json prints no document: stdout stays empty, stderr has the line.
void TestCli::jsonFailureLeavesStdoutEmpty_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    QTest::newRow("show, missing file") << QStringList{"show", "--json", "NOFILE"} << 2;
    QTest::newRow("read, chip absent") << QStringList{"read", "--json", "--address", "0x10"} << 1;
    QTest::newRow("solve, no solution")
        << QStringList{"solve", "--json", "--ref", "1000000", "--f1", "1e12"} << 1;
    // The pattern chip's LCLK2 is on the reserved code 7: refused, and with --force verified.
    QTest::newRow("solve --write, refused")
        << QStringList{"solve", "--json", "--ref", "10000000", "--f1", "50000000", "--write"} << 1;
    QTest::newRow("solve --write --force, verify fails")
        << QStringList{"solve", "--json",   "--ref",   "10000000",
                       "--f1",  "50000000", "--write", "--force"}
        << 1;
    QTest::newRow("plan, a file that cannot be saved")
        << QStringList{"plan", "--json", "--ref", "10M", "LCLK1=50M", "-o", "NODIR/p.cy22150.bin"}
        << 2;
    QTest::newRow("plan, misses the tolerance")
        << QStringList{"plan", "--json", "--ref", "10M", "LCLK1=33.333M", "--tolerance", "0"} << 1;
    QTest::newRow("plan --write, holds the reserved code")
        << QStringList{"plan", "--json", "--ref", "10M", "LCLK1=50M", "--write"} << 2;
    QTest::newRow("plan --write, verify fails")
        << QStringList{"plan",    "--json",           "--ref",  "10M", "LCLK1=50M",
                       "--write", "--disable-unused", "--force"}
        << 1;
}

void TestCli::jsonFailureLeavesStdoutEmpty() {
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    Bench b;
    b.usb.plug(SimDevice::adapter(1, 4, patternChip()));
    arguments.replaceInStrings("NOFILE", b.path("missing.cy22150.bin"));
    arguments.replaceInStrings("NODIR", b.path("missing"));
    b.usb.resetTransfers();
    // For the verify row: the read-back gives another byte for 0x47.
    b.usb.injectFault(OpenTransfers + ReadTransfers + WriteTransfers + 2 + 2 * 0x47,
                      SimFault::answer(0x8A));
    const Run r = b.run(arguments);
    QCOMPARE(r.code, code);
    QCOMPARE(r.out, QString());
    QVERIFY2(oneErrorLine(r.err), qPrintable(r.err));
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
