// SPDX-License-Identifier: MIT
// vantrel-cli over the simulated adapter: transfer sequences, the write order, verify failures,
// several adapters, exit codes, refused inputs and the exact texts of show, export and list.

#include "cli/cli.h"
#include "files/registerfile.h"
#include "frequency/frequencymodel.h"
#include "frequency/solver.h"
#include "registerfilebytes.h"
#include "simusbbackend.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
// The write order the chip needs: PLL and dividers first, the output enables last.
const int WriteOrder[] = {0x0C, 0x12, 0x13, 0x40, 0x41, 0x42, 0x44, 0x45, 0x46, 0x47, 0x09};
constexpr int OpenTransfers = 1;        // the end of any I2C transaction left open
constexpr int WriteTransfers = 2 * 11;  // each write is followed by a status query
constexpr int ReadTransfers = 515;      // pointer, status, 256 x (byte, status), final status

// The registers of a working configuration, worked out by hand: a 10 MHz reference, P 200 and
// Q 10 for a 200 MHz PLL, DIV1N 8 (25 MHz on LCLK1), DIV2N 10 (20 MHz on LCLK2), LCLK3 DIV1CLK/2,
// LCLK4 DIV2CLK/2, CLK5 the reference, CLK6 DIV2CLK/4, all outputs on.
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
    r[0x47] = 0x0A;
    return r;
}

RegisterFileContents knownFile() {
    RegisterFileContents c;
    c.registers = knownRegisters();
    c.fRef = 10000000;
    c.targetF1 = 25000000;
    c.targetF2 = 20000000;
    c.f1Number = 25000000;
    c.f2Number = 20000000;
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
    QTemporaryDir dir;

    Run run(QStringList arguments, bool terminal = false) {
        arguments.prepend("vantrel-cli");
        Run r;
        QTextStream out(&r.out);
        QTextStream err(&r.err);
        CliEnvironment env;
        env.stderrIsTerminal = terminal;
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
    void refusedOutputFileIsNeverOverwritten_data();
    void refusedOutputFileIsNeverOverwritten();
    void showDecodesAKnownFile();
    void exportFormats_data();
    void exportFormats();
    void solveMatchesTheWindowsSolver_data();
    void solveMatchesTheWindowsSolver();
    void solveWriteProgramsTheChipFromItsOwnConfiguration();
    void listNamesEveryDeviceAndMarksAdapters();
    void helpDescribesEachCommand_data();
    void helpDescribesEachCommand();
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
                            "0x47: wrote 0x0A, read back 0x8A\n"));
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
                                 << "Error: Device not found at this interface!";
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
    QTest::newRow("solve without f1") << QStringList{"solve", "--ref", "10000000"} << true << 2
                                      << "Error: solve needs --ref and --f1";
    QTest::newRow("export format") << QStringList{"export", good, "--format", "yaml"} << true << 2
                                   << "Error: --format takes i2cset, c or json, not \"yaml\"";
    QTest::newRow("export bus") << QStringList{"export", good, "--bus", "-1"} << true << 2
                                << "Error: --bus takes a bus number, not \"-1\"";
    QTest::newRow("show done") << QStringList{"show", good} << false << 0 << QString();
    QTest::newRow("write done") << QStringList{"write", good} << true << 0 << QString();
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
                            "  CAPLOAD       64\n"
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
                            "Targets:\n"
                            "  F1            25000000.00000 Hz\n"
                            "  F2            20000000.00000 Hz\n"
                            "  PLL range     normal\n"));
}

void TestCli::exportFormats_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("text");
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
                                           "i2cset -y 1 0x69 0x47 0x0A\n"
                                           "i2cset -y 1 0x69 0x09 0x3F\n");
    QTest::newRow("i2cset bus 7, 0x6a")
        << QStringList{"--format", "i2cset", "--bus", "7", "--address", "0x6a"}
        << QString(
               "i2cset -y 7 0x6A 0x0C 0x08\n"
               "i2cset -y 7 0x6A 0x12 0x30\n"
               "i2cset -y 7 0x6A 0x13 0x40\n"
               "i2cset -y 7 0x6A 0x40 0xC4\n"
               "i2cset -y 7 0x6A 0x41 0x60\n"
               "i2cset -y 7 0x6A 0x42 0x08\n"
               "i2cset -y 7 0x6A 0x44 0x31\n"
               "i2cset -y 7 0x6A 0x45 0x51\n"
               "i2cset -y 7 0x6A 0x46 0xBF\n"
               "i2cset -y 7 0x6A 0x47 0x0A\n"
               "i2cset -y 7 0x6A 0x09 0x3F\n");
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
                              "    {0x47, 0x0A},\n"
                              "    {0x09, 0x3F},\n"
                              "};\n");
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
                                 "{\"register\":71,\"value\":10},"
                                 "{\"register\":9,\"value\":63}]}");
}

void TestCli::exportFormats() {
    QFETCH(QStringList, options);
    QFETCH(QString, text);
    Bench b;
    const QString file = b.writeFile("e.cy22150.bin", encodeRegisterFile(knownFile()));
    const Run r = b.run(QStringList{"export", file} + options);
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err, QString());
    if (options.contains("json")) {
        // JSON compared as data: the same document in its compact form.
        const QJsonDocument doc = QJsonDocument::fromJson(r.out.toUtf8());
        QVERIFY(doc.isObject());
        QCOMPARE(QString::fromUtf8(doc.toJson(QJsonDocument::Compact)), text);
    } else {
        QCOMPARE(r.out, text);
    }
}

void TestCli::solveMatchesTheWindowsSolver_data() {
    QTest::addColumn<double>("reference");
    QTest::addColumn<double>("f1");
    QTest::addColumn<double>("f2");  // 0: no --f2
    QTest::addColumn<bool>("extended");
    QTest::newRow("10 MHz, 33.333333 MHz") << 10e6 << 33333333.0 << 0.0 << false;
    QTest::newRow("10 MHz, 25 MHz + 20 MHz") << 10e6 << 25e6 << 20e6 << false;
    QTest::newRow("27 MHz, 48 MHz + 12.288 MHz") << 27e6 << 48e6 << 12.288e6 << false;
    QTest::newRow("14.31818 MHz, 7.3728 MHz ext") << 14318180.0 << 7372800.0 << 0.0 << true;
    QTest::newRow("48 MHz, 100 MHz + 66.666 MHz ext") << 48e6 << 100e6 << 66666000.0 << true;
}

void TestCli::solveMatchesTheWindowsSolver() {
    QFETCH(double, reference);
    QFETCH(double, f1);
    QFETCH(double, f2);
    QFETCH(bool, extended);
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
    const Run r = b.run(args);
    QCOMPARE(r.code, 0);

    SolverRecord record;
    record.refFrequency = reference;
    record.targetF1 = f1;
    record.targetF2 = f2 > 0 ? f2 : f1;
    const PllRange range = pllRangeFor(extended);
    const SolverRecord window = searchDividers(record, f2 > 0, range.low, range.high);
    QVERIFY(window.bestError >= 0);
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
    QCOMPARE(saved.flags, (extended ? RegisterFileFlag::PllExtended : 0) |
                              (f2 > 0 ? RegisterFileFlag::F2Enabled : 0));
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
                          << "Usage: vantrel-cli list\n";
    QTest::newRow("read") << "read"
                          << "Usage: vantrel-cli read [options]\n";
    QTest::newRow("write") << "write"
                           << "Usage: vantrel-cli write [options] FILE\n";
    QTest::newRow("show") << "show"
                          << "Usage: vantrel-cli show FILE\n";
    QTest::newRow("export") << "export"
                            << "Usage: vantrel-cli export [options] FILE --format i2cset|c|json\n";
    QTest::newRow("solve") << "solve"
                           << "Usage: vantrel-cli solve --ref HZ --f1 HZ [--f2 HZ] [--extended] "
                              "[--optimal] [-o FILE] [--write]\n";
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

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
