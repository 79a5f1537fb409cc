// SPDX-License-Identifier: MIT
// vantrel-cli as a user runs it, one process per run, on a machine whose USB is emulated below
// libusb-1.0: adapters with either firmware, programs that run at the same time on one adapter,
// and buses that an earlier program left in the middle of a transaction.

#include "emulatedusb.h"
#include "files/registerfile.h"
#include "usb/adapterlock.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
using Registers = std::array<quint8, SimCy22150::RegisterCount>;

constexpr int WrittenRegisters[] = {0x09, 0x0C, 0x12, 0x13, 0x40, 0x41,
                                    0x42, 0x44, 0x45, 0x46, 0x47};

// What each chip holds after power-on: a byte that differs from register to register.
Registers powerOn() {
    Registers r{};
    for (int reg = 0; reg < SimCy22150::RegisterCount; ++reg)
        r[std::size_t(reg)] = quint8(reg * 29 + 7);
    return r;
}

// Two configurations that differ from each other and from the power-on bytes in every register
// they write, and that break none of the chip's rules, so that vantrel-cli writes them.
Registers configuration(int variant) {
    Registers r = powerOn();
    const quint8 a[] = {0x3F, 0x08, 0x30, 0x40, 0xC4, 0x60, 0x08, 0x31, 0x51, 0xBF, 0x10};
    const quint8 b[] = {0x05, 0x06, 0x28, 0x30, 0xC5, 0x1A, 0x00, 0x84, 0x00, 0x3F, 0x8C};
    for (std::size_t i = 0; i < std::size(WrittenRegisters); ++i)
        r[std::size_t(WrittenRegisters[i])] = variant == 0 ? a[i] : b[i];
    return r;
}

struct Run {
    int code = -1;
    QString out;
    QString err;
};

// Starts vantrel-cli. `shifted` starts it with descriptors 3 to 9 open: umockdev names the
// socket behind an emulated udev monitor after its descriptor's number, which is the same in two
// programs that start alike, and when two run at once they fight over one name and one of them
// finds no USB at all. That happens only in the emulation; the shift gives the second program
// numbers of its own.
QProcess* start(const QStringList& arguments, bool shifted = false) {
    auto* process = new QProcess;
    if (!shifted) {
        process->start(QStringLiteral(VANTREL_CLI), arguments);
        return process;
    }
    QString redirections;
    for (int fd = 3; fd <= 9; ++fd)
        redirections += QString(" %1</dev/null").arg(fd);
    process->start("/bin/sh", QStringList{"-c", "exec \"$0\" \"$@\"" + redirections,
                                          QStringLiteral(VANTREL_CLI)} +
                                  arguments);
    return process;
}

Run finish(QProcess* process) {
    Run r;
    if (!process->waitForFinished(30000))
        process->kill();
    r.code = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
    r.out = QString::fromUtf8(process->readAllStandardOutput());
    r.err = QString::fromUtf8(process->readAllStandardError());
    delete process;
    return r;
}

Run run(const QStringList& arguments) {
    return finish(start(arguments));
}

QString describe(const Run& r) {
    return QString("exit %1, out \"%2\", err \"%3\"").arg(r.code).arg(r.out, r.err);
}

// The request types of the adapter's transfers, with their outcome.
QStringList requestTypes(const EmulatedDevice& device) {
    QStringList types;
    for (const ControlTransferRecord& t : device.adapterTransfers())
        types << QString::asprintf(
            "%02X %d%s", t.setup.requestType, t.setup.request,
            t.outcome == ControlTransferRecord::Outcome::Stalled ? " stalled" : "");
    return types;
}
}  // namespace

class TestCliEmulated : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void readAndWriteOnEveryFirmware_data();
    void readAndWriteOnEveryFirmware();
    void transactionLeftOpenByAnEarlierProgram_data();
    void transactionLeftOpenByAnEarlierProgram();
    void readAtAnEmptyAddressSpoilsNoLaterRead();
    void concurrentWritesNeverMix();
    void busyAdapterIsReported();

private:
    std::shared_ptr<EmulatedDevice> adapter(const QString& firmware) const {
        return firmware == SimFirmware::vendorOnly().name ? vendorOnly_ : original_;
    }
    QString device(const QString& firmware) const {
        return firmware == SimFirmware::vendorOnly().name ? "2:5" : "1:4";
    }
    QString writeFile(int variant) const;

    std::unique_ptr<EmulatedUsb> usb_;
    std::shared_ptr<EmulatedDevice> original_;    // bus 1, device 4
    std::shared_ptr<EmulatedDevice> vendorOnly_;  // bus 2, device 5
    QTemporaryDir dir_;
};

void TestCliEmulated::initTestCase() {
    QVERIFY2(EmulatedUsb::preloaded(), "umockdev's preload library is missing from LD_PRELOAD");
    QVERIFY(dir_.isValid());
    usb_ = std::make_unique<EmulatedUsb>();
    original_ = usb_->addAdapter(1, 4, 0x69, powerOn(), SimFirmware::original());
    vendorOnly_ = usb_->addAdapter(2, 5, 0x69, powerOn(), SimFirmware::vendorOnly());
}

void TestCliEmulated::init() {
    original_->powerCycle();
    vendorOnly_->powerCycle();
}

void TestCliEmulated::cleanupTestCase() {
    original_.reset();
    vendorOnly_.reset();
    usb_.reset();
}

QString TestCliEmulated::writeFile(int variant) const {
    RegisterFileContents contents;
    contents.registers = configuration(variant);
    contents.fRef = 10000000;
    const QString path = dir_.filePath(QString("variant%1.cy22150.bin").arg(variant));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(encodeRegisterFile(contents)) < 0)
        qFatal("cannot write a register file");
    return path;
}

void TestCliEmulated::readAndWriteOnEveryFirmware_data() {
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<QString>("identification");
    QTest::addColumn<QStringList>("opening");  // request types of the open
    QTest::addColumn<QString>("out");          // of every request after it
    QTest::addColumn<QString>("in");
    QTest::newRow("original") << "original"
                              << "BUS_001-DEV_004-VID_0403-PID_C631" << QStringList{"20 6"} << "20"
                              << "A0";
    QTest::newRow("vendor-only") << "vendor-only"
                                 << "BUS_002-DEV_005-VID_0403-PID_C631 (vendor requests)"
                                 << QStringList{"20 6 stalled", "40 6"} << "40"
                                 << "C0";
}

void TestCliEmulated::readAndWriteOnEveryFirmware() {
    QFETCH(QString, firmware);
    QFETCH(QString, identification);
    QFETCH(QStringList, opening);
    QFETCH(QString, out);
    QFETCH(QString, in);
    EmulatedDevice& d = *adapter(firmware);

    const Run written = run({"write", writeFile(0), "--device", device(firmware)});
    QVERIFY2(written.code == 0, qPrintable(describe(written)));
    QVERIFY(written.out.endsWith(", verified.\n"));
    QVERIFY(d.chipRegisters() == configuration(0));
    const QStringList types = requestTypes(d);
    QCOMPARE(types.mid(0, opening.size()), opening);
    QCOMPARE(types.size(), opening.size() + 22 + 515);
    for (const QString& t : types.mid(opening.size()))
        QVERIFY2(t.startsWith(out + " ") || t.startsWith(in + " "), qPrintable(t));

    d.clearTransfers();
    const Run read = run({"read", "--device", device(firmware)});
    QVERIFY2(read.code == 0, qPrintable(describe(read)));
    QVERIFY2(
        read.out.startsWith("Chip at 0x69 on " + identification + "\nRegisters:\n  0x09  0x3F"),
        qPrintable(read.out));
    QCOMPARE(requestTypes(d).size(), opening.size() + 515);
}

void TestCliEmulated::transactionLeftOpenByAnEarlierProgram_data() {
    QTest::addColumn<QString>("firmware");
    for (const SimFirmwareProfile& p : SimFirmware::Profiles)
        QTest::newRow(p.name) << p.name;
}

// An earlier program sent a read's set-up, then died (or lost the status and gave up) without
// ending the transaction. The next program's write goes out with a START all the same.
void TestCliEmulated::transactionLeftOpenByAnEarlierProgram() {
    QFETCH(QString, firmware);
    EmulatedDevice& d = *adapter(firmware);
    const quint8 type = d.profile().firmware->answersClassRequests ? 0x20 : 0x40;
    quint8 pointer = 0x00;
    const quint8 setUp[8] = {type, 5, 0, 0, 0x69, 0, 1, 0};
    QVERIFY(d.control(UsbSetup::fromPacket(setUp), &pointer).has_value());
    QVERIFY(d.transactionOpen());
    d.clearTransfers();

    const Run r = run({"write", "--no-verify", writeFile(1), "--device", device(firmware)});
    QVERIFY2(r.code == 0, qPrintable(describe(r)));
    QVERIFY(!d.transactionOpen());
    QVERIFY(d.chipRegisters() == configuration(1));  // registers 0x00..0x02 among them
}

// A read where no chip answers leaves no transaction open for the next program.
void TestCliEmulated::readAtAnEmptyAddressSpoilsNoLaterRead() {
    const Run empty = run({"read", "--address", "0x6A", "--device", "1:4"});
    QCOMPARE(empty.code, 1);
    QCOMPARE(empty.err, QString("Error: reading the chip failed at the status query after "
                                "setting the register pointer: the chip at I2C address 0x6A did "
                                "not acknowledge\n"));
    const Run read = run({"read", "--device", "1:4"});
    QVERIFY2(read.code == 0, qPrintable(describe(read)));
    QVERIFY(original_->chipRegisters() == powerOn());
}

// Two programs write two configurations to one adapter at the same time: the transfers of one
// never come between those of the other, so the chip ends with one configuration whole, and the
// program that came second waited (or, after too long a wait, said that the adapter was busy).
void TestCliEmulated::concurrentWritesNeverMix() {
    const QString files[2] = {writeFile(0), writeFile(1)};
    const QString busy[2] = {
        "Error: the adapter BUS_001-DEV_004-VID_0403-PID_C631 is in use by another program\n",
        "Error: the adapter BUS_002-DEV_005-VID_0403-PID_C631 is in use by another program\n"};
    constexpr int Tries = 50;
    for (int attempt = 0; attempt < Tries; ++attempt) {
        // Both firmwares in turn.
        const int which = attempt % 2;
        const QString firmware =
            which == 0 ? SimFirmware::original().name : SimFirmware::vendorOnly().name;
        EmulatedDevice& d = *adapter(firmware);
        d.powerCycle();
        QProcess* first = start({"write", "--no-verify", files[0], "--device", device(firmware)});
        QProcess* second =
            start({"write", "--no-verify", files[1], "--device", device(firmware)}, true);
        const Run runs[2] = {finish(first), finish(second)};

        const Registers chip = d.chipRegisters();
        const QString where = QString("try %1 on %2").arg(attempt).arg(firmware);
        QVERIFY2(chip == configuration(0) || chip == configuration(1), qPrintable(where));
        for (const Run& r : runs) {
            const bool done = r.code == 0 && r.err.isEmpty() && r.out.endsWith(", not verified.\n");
            const bool refused = r.code == 1 && r.err == busy[which];
            QVERIFY2(done || refused, qPrintable(where + ": " + describe(r)));
        }
    }
}

void TestCliEmulated::busyAdapterIsReported() {
    AdapterLock otherProgram;
    otherProgram.attach("/dev/bus/usb/001/004");  // the emulated node, as the programs see it
    QVERIFY(otherProgram.acquire(0));
    const Run r = run({"read", "--device", "1:4"});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.err, QString("Error: the adapter BUS_001-DEV_004-VID_0403-PID_C631 is in use by "
                            "another program\n"));
    QVERIFY(original_->adapterTransfers().empty());

    otherProgram.release();
    const Run after = run({"read", "--device", "1:4"});
    QVERIFY2(after.code == 0, qPrintable(describe(after)));
}

QTEST_APPLESS_MAIN(TestCliEmulated)
#include "tst_cliemulated.moc"
