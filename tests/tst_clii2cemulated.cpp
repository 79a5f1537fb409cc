// SPDX-License-Identifier: MIT
// vantrel-cli as a user runs it, one process per run, on a machine whose I2C buses are emulated
// below the kernel's interfaces: the Raspberry Pi's bus, USB bridges with kernel drivers, a
// controller no table knows, and an i2c-tiny-usb adapter whose kernel driver is bound.

#include "demochip.h"
#include "emulatedusb.h"
#include "filemodeoverride.h"
#include "files/registerfile.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <signal.h>
#include <unistd.h>

#include <memory>

namespace {
using Registers = std::array<quint8, SimCy22150::RegisterCount>;

constexpr int SafeOrder[] = {0x0C, 0x12, 0x13, 0x40, 0x41, 0x42, 0x44, 0x45, 0x46, 0x47, 0x09};
const char* const TinyUsbTarget = "BUS_001-DEV_004-VID_0403-PID_C631";

// The demo chip's working configuration with the PLL at 104 MHz, DIV1N 12 and four outputs
// enabled, keeping the chip's rules.
Registers configuration() {
    Registers r = demoPowerOnRegisters();
    const quint8 values[] = {0x0C, 0x30, 0x40, 0xC4, 0x30, 0x08, 0x31, 0x51, 0xBF, 0x10, 0x0F};
    for (std::size_t i = 0; i < std::size(SafeOrder); ++i)
        r[std::size_t(SafeOrder[i])] = values[i];
    return r;
}

struct Run {
    int code = -1;
    QString out;
    QString err;
};

// Runs vantrel-cli; `ordinaryUser`: without root's override of file modes, as a user outside
// the i2c group would.
Run run(const QStringList& arguments, bool ordinaryUser = false) {
    QProcess process;
    if (ordinaryUser)
        process.setChildProcessModifier([] {
            if (!dropFileModeOverride())
                _exit(97);
        });
    process.start(QStringLiteral(VANTREL_CLI), arguments);
    Run r;
    if (!process.waitForFinished(30000))
        process.kill();
    r.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    r.out = QString::fromUtf8(process.readAllStandardOutput());
    r.err = QString::fromUtf8(process.readAllStandardError());
    return r;
}

QString describe(const Run& r) {
    return QString("exit %1, out \"%2\", err \"%3\"").arg(r.code).arg(r.out, r.err);
}

// Vantrel's transfers on a bus, one word per message: "W1" a write of one byte, "R128" a read.
QStringList shapes(const EmulatedI2cBus& bus) {
    QStringList transfers;
    for (const I2cTransferRecord& t : bus.traffic()) {
        if (t.injected)
            continue;
        QStringList messages;
        for (const EmulatedI2cMessage& m : t.messages)
            messages << QString("%1%2").arg(m.isRead() ? 'R' : 'W').arg(m.bytes.size());
        transfers << messages.join(' ');
    }
    return transfers;
}

// The registers that Vantrel's single [register, value] writes went to, in order.
std::vector<int> writtenRegisters(const EmulatedI2cBus& bus) {
    std::vector<int> written;
    for (const I2cTransferRecord& t : bus.traffic())
        if (!t.injected && t.messages.size() == 1 && t.messages[0].bytes.size() == 2 &&
            !t.messages[0].isRead())
            written.push_back(t.messages[0].bytes[0]);
    return written;
}

QStringList repeated(const QString& shape, int times) {
    QStringList list;
    for (int i = 0; i < times; ++i)
        list << shape;
    return list;
}

I2cBusSetup busSetup(int number, const I2cDriverProfile& driver) {
    I2cBusSetup setup;
    setup.number = number;
    setup.driver = &driver;
    setup.chipRegisters = demoPowerOnRegisters();
    return setup;
}
}  // namespace

class TestCliI2cEmulated : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void listShowsEachBusWithItsDriver_data();
    void listShowsEachBusWithItsDriver();
    void readWriteAndPlanOnEachBus_data();
    void readWriteAndPlanOnEachBus();
    void chipThatDoesNotAcknowledge_data();
    void chipThatDoesNotAcknowledge();
    void nodeWithoutPermission();
    void i2cDevNotLoaded();
    void tinyUsbAdapterTakesTheRightPath_data();
    void tinyUsbAdapterTakesTheRightPath();
    void detachedDriverComesBackAfterASignal_data();
    void detachedDriverComesBackAfterASignal();
    void anotherProgramNeverComesInBetween_data();
    void anotherProgramNeverComesInBetween();

private:
    QString writeFile() const;
    Registers readFile(const QString& path) const;

    std::unique_ptr<EmulatedUsb> usb_;
    std::map<int, std::shared_ptr<EmulatedI2cBus>> buses_;
    std::shared_ptr<EmulatedDevice> plainAdapter_;  // USB 2:5, no kernel driver
    QTemporaryDir dir_;
};

// i2c-7 on the i2c-tiny-usb adapter 1:4 with its kernel driver bound; i2c-1 the Raspberry Pi's;
// i2c-10..14 the USB bridges (on USB bus 3) and a controller no table knows. Every chip at 0x69.
void TestCliI2cEmulated::initTestCase() {
    QVERIFY2(EmulatedUsb::preloaded(), "umockdev's preload library is missing from LD_PRELOAD");
    QVERIFY(dir_.isValid());
    usb_ = std::make_unique<EmulatedUsb>();
    buses_[7] = usb_->addAdapterWithKernelDriver(1, 4, busSetup(7, I2cDrivers::tinyUsb()));
    plainAdapter_ = usb_->addAdapter(2, 5, 0x69, demoPowerOnRegisters());
    buses_[1] = usb_->addI2cBus(busSetup(1, I2cDrivers::bcm2835()));
    int number = 10;
    for (const char* name : {"mcp2221", "ft260", "cp2112", "dln2-i2c", "acme-i2c"}) {
        buses_[number] = usb_->addI2cBus(busSetup(number, *I2cDrivers::find(name)), 3);
        ++number;
    }
}

void TestCliI2cEmulated::init() {
    for (auto& [number, bus] : buses_) {
        if (bus->adapter())
            bus->adapter()->powerCycle();
        bus->powerCycle();
        usb_->setNodeAccessible(*bus, true);
    }
    plainAdapter_->powerCycle();
}

void TestCliI2cEmulated::cleanupTestCase() {
    buses_.clear();
    plainAdapter_.reset();
    usb_.reset();
}

QString TestCliI2cEmulated::writeFile() const {
    RegisterFileContents contents;
    contents.registers = configuration();
    contents.fRef = 10000000;
    const QString path = dir_.filePath("configuration.cy22150.bin");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(encodeRegisterFile(contents)) < 0)
        qFatal("cannot write a register file");
    return path;
}

Registers TestCliI2cEmulated::readFile(const QString& path) const {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    RegisterFileContents contents;
    QString error;
    if (!decodeRegisterFile(file.readAll(), contents, error))
        return {};
    return contents.registers;
}

void TestCliI2cEmulated::listShowsEachBusWithItsDriver_data() {
    QTest::addColumn<int>("bus");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("driver");
    QTest::addColumn<QString>("usb");  // bus, device, vendor, product of the USB device, or empty

    QTest::newRow("i2c-tiny-usb") << 7 << "i2c-tiny-usb at bus 001 device 004"
                                  << "i2c-tiny-usb"
                                  << "1 4 0403 C631";
    QTest::newRow("Raspberry Pi") << 1 << "bcm2835 (i2c@7e804000)"
                                  << "i2c-bcm2835"
                                  << "";
    QTest::newRow("MCP2221") << 10 << "MCP2221 usb-i2c bridge"
                             << "mcp2221"
                             << "3 30 04D8 00DD";
    QTest::newRow("FT260") << 11 << "FT260 usb-i2c bridge"
                           << "ft260"
                           << "3 31 0403 6030";
    QTest::newRow("CP2112") << 12 << "CP2112 SMBus Bridge on hidraw0"
                            << "cp2112"
                            << "3 32 10C4 EA90";
    QTest::newRow("DLN-2") << 13 << "dln2-i2c-3-4:1.0-0"
                           << "dln2-i2c"
                           << "3 33 A257 2013";
    QTest::newRow("unknown driver") << 14 << "ACME I2C controller"
                                    << "acme-i2c"
                                    << "";
}

void TestCliI2cEmulated::listShowsEachBusWithItsDriver() {
    QFETCH(int, bus);
    QFETCH(QString, name);
    QFETCH(QString, driver);
    QFETCH(QString, usb);
    const Run r = run({"list", "--json"});
    QVERIFY2(r.code == 0, qPrintable(describe(r)));
    const QJsonArray buses = QJsonDocument::fromJson(r.out.toUtf8()).object()["buses"].toArray();
    QCOMPARE(buses.size(), qsizetype(buses_.size()));
    QJsonObject entry;
    for (const QJsonValue& b : buses)
        if (b["bus"].toString() == "i2c-" + QString::number(bus))
            entry = b.toObject();
    QCOMPARE(entry["node"].toString(), "/dev/i2c-" + QString::number(bus));
    QCOMPARE(entry["name"].toString(), name);
    QCOMPARE(entry["driver"].toString(), driver);
    const QJsonObject device = entry["usb"].toObject();
    QCOMPARE(entry["usb"].isNull(), usb.isEmpty());
    if (!usb.isEmpty())
        QCOMPARE(QString("%1 %2 %3 %4")
                     .arg(device["bus"].toInt())
                     .arg(device["device"].toInt())
                     .arg(device["vendor"].toString(), device["product"].toString()),
                 usb);
}

void TestCliI2cEmulated::readWriteAndPlanOnEachBus_data() {
    QTest::addColumn<int>("bus");
    QTest::addColumn<QString>("target");       // as `read` names it
    QTest::addColumn<QStringList>("reading");  // the transfers of a whole-chip read

    const QStringList combined256{"W1 R256"};
    QTest::newRow("i2c-tiny-usb") << 7 << QString(TinyUsbTarget) + " via /dev/i2c-7"
                                  << repeated("W1 R128", 2);
    QTest::newRow("Raspberry Pi") << 1 << "i2c-1" << combined256;
    QTest::newRow("MCP2221") << 10 << "BUS_003-DEV_030-VID_04D8-PID_00DD via /dev/i2c-10"
                             << combined256;
    QTest::newRow("FT260") << 11 << "BUS_003-DEV_031-VID_0403-PID_6030 via /dev/i2c-11"
                           << combined256;
    QTest::newRow("CP2112") << 12 << "BUS_003-DEV_032-VID_10C4-PID_EA90 via /dev/i2c-12"
                            << combined256;
    // No repeated START: the pointer write and the read are two transactions.
    QTest::newRow("DLN-2") << 13 << "BUS_003-DEV_033-VID_A257-PID_2013 via /dev/i2c-13"
                           << QStringList{"W1", "R256"};
    QTest::newRow("unknown driver") << 14 << "i2c-14" << repeated("W1 R32", 8);
}

void TestCliI2cEmulated::readWriteAndPlanOnEachBus() {
    QFETCH(int, bus);
    QFETCH(QString, target);
    QFETCH(QStringList, reading);
    EmulatedI2cBus& b = *buses_[bus];
    const QString busName = QString::number(bus);

    const Run read = run({"read", "--bus", busName});
    QVERIFY2(read.code == 0, qPrintable(describe(read)));
    QVERIFY2(read.out.startsWith("Chip at 0x69 on " + target + "\nRegisters:\n  0x09  0x3F"),
             qPrintable(read.out));
    QCOMPARE(shapes(b), reading);

    b.powerCycle();
    const Run written = run({"write", writeFile(), "--bus", "i2c-" + busName});
    QVERIFY2(written.code == 0, qPrintable(describe(written)));
    QVERIFY2(written.out.endsWith(", verified.\n"), qPrintable(written.out));
    QVERIFY(b.chipRegisters() == configuration());
    QCOMPARE(shapes(b), repeated("W2", 11) + reading);
    QCOMPARE(writtenRegisters(b), std::vector<int>(std::begin(SafeOrder), std::end(SafeOrder)));

    if (b.adapter())
        b.adapter()->powerCycle();
    b.powerCycle();
    const Run planned =
        run({"plan", "--ref", "10M", "LCLK1=50M", "--write", "--bus", "/dev/i2c-" + busName});
    QVERIFY2(planned.code == 0, qPrintable(describe(planned)));
    QVERIFY2(planned.out.endsWith("Programmed the chip.\n"), qPrintable(planned.out));
    // Read, written in the safe order, read back.
    const QStringList transfers = shapes(b);
    QCOMPARE(transfers.mid(0, reading.size()), reading);
    QCOMPARE(transfers.mid(transfers.size() - reading.size()), reading);
    QCOMPARE(writtenRegisters(b), std::vector<int>(std::begin(SafeOrder), std::end(SafeOrder)));
    QVERIFY(b.chipRegisters() != demoPowerOnRegisters());
    if (b.adapter())
        QVERIFY(b.adapter()->adapterTransfers().empty());  // no usbfs transfer at all
}

void TestCliI2cEmulated::chipThatDoesNotAcknowledge_data() {
    QTest::addColumn<int>("bus");
    QTest::addColumn<QString>("error");
    const QString noAck =
        "Error: reading the chip failed at the transfer of the registers from 0x00: the chip at "
        "I2C address 0x6A on i2c-%1 did not acknowledge\n";
    for (int bus : {7, 1, 10, 12, 13, 14})
        QTest::newRow(qPrintable("i2c-" + QString::number(bus))) << bus << noAck.arg(bus);
    // The FT260's driver reports every bus error alike.
    QTest::newRow("i2c-11") << 11
                            << "Error: reading the chip failed at the transfer of the registers "
                               "from 0x00: I2C_RDWR on /dev/i2c-11 failed: Input/output error\n";
}

void TestCliI2cEmulated::chipThatDoesNotAcknowledge() {
    QFETCH(int, bus);
    QFETCH(QString, error);
    const Run r = run({"read", "--bus", QString::number(bus), "--address", "0x6A"});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.err, error);
    QCOMPARE(r.out, QString());
    QVERIFY(buses_[bus]->chipRegisters() == demoPowerOnRegisters());
}

void TestCliI2cEmulated::nodeWithoutPermission() {
    usb_->setNodeAccessible(*buses_[1], false);
    const Run r = run({"read", "--bus", "i2c-1"}, true);
    QCOMPARE(r.code, 1);
    QCOMPARE(r.err, QString("Error: no permission to open /dev/i2c-1: join the i2c group (sudo "
                            "usermod -aG i2c $USER, then log in again) or, for an i2c-tiny-usb "
                            "adapter, install Vantrel's udev rule\n"));
    QVERIFY(buses_[1]->traffic().empty());
}

void TestCliI2cEmulated::i2cDevNotLoaded() {
    usb_->setI2cDevLoaded(false);
    const Run bus = run({"read", "--bus", "i2c-1"});
    const Run adapter = run({"read", "--device", "1:4", "--transport", "i2c-dev"});
    const Run list = run({"list"});
    usb_->setI2cDevLoaded(true);
    QCOMPARE(bus.code, 1);
    QCOMPARE(bus.err, QString("Error: the kernel knows I2C adapters but offers no /dev/i2c-N: the "
                              "i2c-dev module is not loaded (sudo modprobe i2c-dev)\n"));
    QCOMPARE(adapter.code, 1);
    QCOMPARE(adapter.err, QString("Error: no /dev/i2c-N for the adapter %1: the i2c-dev module "
                                  "is not loaded (sudo modprobe i2c-dev)\n")
                              .arg(TinyUsbTarget));
    QVERIFY2(list.code == 0, qPrintable(describe(list)));
    QVERIFY(buses_[1]->traffic().empty());
    QVERIFY(buses_[7]->adapter()->adapterTransfers().empty());
}

void TestCliI2cEmulated::tinyUsbAdapterTakesTheRightPath_data() {
    QTest::addColumn<QString>("device");
    QTest::addColumn<bool>("nodeUsable");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("path");  // read --json's transport.path
    QTest::addColumn<bool>("usbfs");    // whether the chip was reached through usbfs
    QTest::addColumn<int>("detaches");  // of the kernel driver

    QTest::newRow("no kernel driver: USB") << "2:5" << true << "0x69" << 0 << "usb" << true << 0;
    QTest::newRow("kernel driver and its node: the node")
        << "1:4" << true << "0x69" << 0 << "i2c-dev" << false << 0;
    QTest::newRow("kernel driver, node refused: detached for the run")
        << "1:4" << false << "0x69" << 0 << "usb-detached" << true << 1;
    QTest::newRow("detached, and the chip does not acknowledge")
        << "1:4" << false << "0x6A" << 1 << "" << true << 1;
}

void TestCliI2cEmulated::tinyUsbAdapterTakesTheRightPath() {
    QFETCH(QString, device);
    QFETCH(bool, nodeUsable);
    QFETCH(QString, address);
    QFETCH(int, code);
    QFETCH(QString, path);
    QFETCH(bool, usbfs);
    QFETCH(int, detaches);
    const std::shared_ptr<EmulatedDevice> adapter =
        device == "2:5" ? plainAdapter_ : buses_[7]->adapter();
    usb_->setNodeAccessible(*buses_[7], nodeUsable);

    const Run r = run({"read", "--device", device, "--address", address, "--json"}, true);
    QVERIFY2(r.code == code, qPrintable(describe(r)));
    if (code == 0) {
        const QJsonObject transport =
            QJsonDocument::fromJson(r.out.toUtf8()).object().value("transport").toObject();
        QCOMPARE(transport.value("path").toString(), path);
        QCOMPARE(transport.value("node").toString(),
                 path == "i2c-dev" ? QString("/dev/i2c-7") : QString());
    }
    QCOMPARE(!adapter->adapterTransfers().empty(), usbfs);
    QCOMPARE(adapter->kernelDriverDetaches(), detaches);
    // The kernel driver is bound again after the run, also after a failure.
    QCOMPARE(adapter->kernelDriverBound(), device == "1:4");
    if (device == "1:4") {
        QCOMPARE(buses_[7]->kernelUsbTransfers() > 0, !usbfs);
        QVERIFY(QFileInfo::exists("/sys/class/i2c-dev/i2c-7"));
    }
}

void TestCliI2cEmulated::detachedDriverComesBackAfterASignal_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGTERM") << int(SIGTERM);
}

// A read on the detached path waits for an adapter that stopped answering; the signal ends it,
// and the kernel driver is bound again.
void TestCliI2cEmulated::detachedDriverComesBackAfterASignal() {
    QFETCH(int, signal);
    EmulatedDevice& adapter = *buses_[7]->adapter();
    usb_->setNodeAccessible(*buses_[7], false);
    adapter.stopAnsweringAfter(20);
    QProcess process;
    process.setChildProcessModifier([] {
        if (!dropFileModeOverride())
            _exit(97);
    });
    process.start(QStringLiteral(VANTREL_CLI), {"read", "--device", "1:4"});
    QVERIFY(process.waitForStarted());
    auto waiting = [&] {
        const std::vector<ControlTransferRecord> t = adapter.adapterTransfers();
        return !t.empty() && t.back().outcome == ControlTransferRecord::Outcome::Unanswered;
    };
    QTRY_VERIFY_WITH_TIMEOUT(waiting(), 10000);
    QVERIFY(!adapter.kernelDriverBound());
    ::kill(pid_t(process.processId()), signal);
    QVERIFY(process.waitForFinished(10000));
    adapter.resumeAnswering();
    QVERIFY2(adapter.kernelDriverBound(),
             qPrintable(QString("exit status %1 code %2: %3")
                            .arg(int(process.exitStatus()))
                            .arg(process.exitCode())
                            .arg(QString::fromUtf8(process.readAllStandardError()))));
    QCOMPARE(adapter.kernelDriverDetaches(), 1);
    // The signal still ends the command, once the driver is back.
    QCOMPARE(process.exitStatus(), QProcess::CrashExit);
    QCOMPARE(process.exitCode(), signal);
}

void TestCliI2cEmulated::anotherProgramNeverComesInBetween_data() {
    QTest::addColumn<int>("bus");
    QTest::addColumn<int>("address");  // of the other program's transaction
    // Another program reads register 0 of the same chip (moving its register pointer), or
    // writes to a device elsewhere on the bus.
    for (int bus : {7, 1, 12}) {
        const QString b = "i2c-" + QString::number(bus);
        QTest::newRow(qPrintable(b + ", the same chip")) << bus << 0x69;
    }
    QTest::newRow("i2c-1, another address") << 1 << 0x50;
}

void TestCliI2cEmulated::anotherProgramNeverComesInBetween() {
    QFETCH(int, bus);
    QFETCH(int, address);
    EmulatedI2cBus& b = *buses_[bus];
    const std::vector<EmulatedI2cMessage> other =
        address == 0x69
            ? std::vector<EmulatedI2cMessage>{EmulatedI2cMessage{0x69, 0, {0x00}},
                                              EmulatedI2cMessage{
                                                  0x69, EmulatedI2cMessage::ReadFlag, {0}}}
            : std::vector<EmulatedI2cMessage>{
                  EmulatedI2cMessage{quint16(address), 0, {0x10, 0xAA}}};
    const QString saved = dir_.filePath("read.cy22150.bin");
    const QString file = writeFile();
    int mixed = 0;
    for (int i = 0; i < 50; ++i) {
        b.powerCycle();
        if (b.adapter())
            b.adapter()->powerCycle();
        b.injectBetweenTransfers(other);
        const bool reading = i % 2 == 0;
        const Run r = reading ? run({"read", "--bus", QString::number(bus), "-o", saved})
                              : run({"write", file, "--bus", QString::number(bus)});
        const bool right = reading ? r.code == 0 && readFile(saved) == demoPowerOnRegisters()
                                   : r.code == 0 && r.out.endsWith(", verified.\n") &&
                                         b.chipRegisters() == configuration();
        mixed += right ? 0 : 1;
        // The other program's transaction came between every two of Vantrel's.
        const std::vector<I2cTransferRecord> traffic = b.traffic();
        const auto own = std::count_if(traffic.begin(), traffic.end(),
                                       [](const I2cTransferRecord& t) { return !t.injected; });
        QCOMPARE(qsizetype(traffic.size()), qsizetype(2 * own - 1));
        for (std::size_t t = 0; t < traffic.size(); ++t)
            QCOMPARE(traffic[t].injected, t % 2 == 1);
    }
    QCOMPARE(mixed, 0);
}

QTEST_APPLESS_MAIN(TestCliI2cEmulated)
#include "tst_clii2cemulated.moc"
