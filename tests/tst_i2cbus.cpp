// SPDX-License-Identifier: MIT
// The I2C-bus transport over the simulated kernel drivers, the buses read from a laid-out
// sysfs, and the path an i2c-tiny-usb adapter takes.
#include "fakesysfs.h"
#include "simi2cbus.h"
#include "simusbbackend.h"
#include "usb/chipaccess.h"
#include "usb/chipprogram.h"
#include "usb/i2cbuses.h"
#include "usb/i2cbustransport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <memory>

namespace {
quint8 chipPattern(int reg) {
    return quint8(reg * 7 + 3);
}

std::shared_ptr<SimCy22150> patternChip(quint8 address = 0x69) {
    auto chip = std::make_shared<SimCy22150>(address);
    for (int r = 0; r < SimCy22150::RegisterCount; ++r)
        chip->setRegisterValue(r, chipPattern(r));
    return chip;
}

const SimI2cDriver* driverNamed(const QString& name) {
    for (const SimI2cDriver* d :
         {&SimI2cDrivers::tinyUsb(), &SimI2cDrivers::bcm2835(), &SimI2cDrivers::mcp2221(),
          &SimI2cDrivers::ft260(), &SimI2cDrivers::cp2112(), &SimI2cDrivers::dln2(),
          &SimI2cDrivers::singleMessage()})
        if (name == QLatin1String(d->name))
            return d;
    qFatal("no simulated driver %s", qPrintable(name));
}

// The ioctls as text: messages of one call joined by "+", "W1" a write of one byte, "R128" a
// read; a call that failed ends in "!".
QString describeCalls(const std::vector<SimI2cCall>& calls) {
    QStringList parts;
    for (const SimI2cCall& call : calls) {
        QStringList messages;
        for (const SimI2cCall::Message& m : call.messages)
            messages << QStringLiteral("%1%2").arg(m.read ? "R" : "W").arg(m.length);
        parts << messages.join('+') + (call.result < 0 ? "!" : "");
    }
    return parts.join(' ');
}

// A bus i2c-3 with the given driver and a CY22150 on it, opened into a connection.
struct BusBench {
    explicit BusBench(const SimI2cDriver& driver, quint8 chipAddress = 0x69)
        : chip(patternChip(chipAddress)) {
        buses.addNode("/dev/i2c-3", driver, chip);
        info.number = 3;
        info.name = "bench bus";
        info.driver = driver.name;
        c.buses = &buses;
        c.usb = &usb;
        opened = i2c_open_bus(c, info);
        buses.resetCalls();
    }
    ~BusBench() { i2c_close(c); }
    BusBench(const BusBench&) = delete;
    BusBench& operator=(const BusBench&) = delete;

    SimI2cBus buses;
    SimUsbBackend usb;
    std::shared_ptr<SimCy22150> chip;
    I2cBusInfo info;
    AdapterConnection c;
    int opened = 1;
};

}  // namespace

class TestI2cBus : public QObject {
    Q_OBJECT
private slots:
    void buses_data();
    void buses();
    void busNames_data();
    void busNames();
    void readTransactions_data();
    void readTransactions();
    void writeIsOneMessage_data();
    void writeIsOneMessage();
    void failures_data();
    void failures();
    void openFailures_data();
    void openFailures();
    void kernelTrafficNeverMixes_data();
    void kernelTrafficNeverMixes();
    void adapterPath_data();
    void adapterPath();
    void busHoldsTheAdapterLock();
};

void TestI2cBus::buses_data() {
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QStringList>("expected");  // "i2c-N|name|driver|usb" per bus
    QTest::addColumn<bool>("i2cDevMissing");
    QTest::newRow("none") << "" << QStringList() << false;
    QTest::newRow("i2c-tiny-usb")
        << "tiny"
        << QStringList{"i2c-7|i2c-tiny-usb at bus 001 device 004|i2c-tiny-usb|1:4 0403:C631"}
        << false;
    QTest::newRow("raspberry pi and dln2, in bus order")
        << "pi+dln2"
        << QStringList{"i2c-1|bcm2835 (i2c@7e804000)|i2c-bcm2835|",
                       "i2c-12|dln2-i2c|dln2-i2c|2:9 A257:2013"}
        << false;
    QTest::newRow("adapters without i2c-dev") << "nonode" << QStringList() << true;
}

void TestI2cBus::buses() {
    QFETCH(QString, layout);
    QFETCH(QStringList, expected);
    QFETCH(bool, i2cDevMissing);
    FakeSysfs sysfs;
    if (layout == "tiny")
        sysfs.addUsbBus(7, "i2c-tiny-usb at bus 001 device 004", "i2c-tiny-usb", 1, 4, "0403",
                        "c631", 1);
    if (layout == "pi+dln2") {
        sysfs.addUsbBus(12, "dln2-i2c", "dln2-i2c", 2, 9, "a257", "2013", 3, "dln2-i2c.1.auto");
        sysfs.addPlatformBus(1, "bcm2835 (i2c@7e804000)", "i2c-bcm2835");
    }
    if (layout == "nonode")
        sysfs.addAdapterWithoutNode(0);
    QStringList seen;
    for (const I2cBusInfo& bus : listI2cBuses()) {
        QString usb;
        if (bus.usb)
            usb = QString::asprintf("%d:%d %04X:%04X", bus.usb->busNumber, bus.usb->deviceNumber,
                                    bus.usb->vendorId, bus.usb->productId);
        seen << QStringList{bus.busName(), bus.name, bus.driver, usb}.join('|');
    }
    QCOMPARE(seen, expected);
    QCOMPARE(::i2cDevMissing(), i2cDevMissing);
}

void TestI2cBus::busNames_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("number");  // -1: not a bus
    QTest::newRow("i2c-N") << "i2c-7" << 7;
    QTest::newRow("N") << "12" << 12;
    QTest::newRow("node") << "/dev/i2c-0" << 0;
    QTest::newRow("entry of the window") << "I2C_1 - bcm2835" << -1;
    QTest::newRow("negative") << "-1" << -1;
    QTest::newRow("other node") << "/dev/i2c-7x" << -1;
    QTest::newRow("prefix alone") << "i2c-" << -1;
    QTest::newRow("relative node") << "dev/i2c-3" << -1;
}

void TestI2cBus::busNames() {
    QFETCH(QString, text);
    QFETCH(int, number);
    QCOMPARE(parseI2cBusName(text).value_or(-1), number);
}

void TestI2cBus::readTransactions_data() {
    QTest::addColumn<QString>("driver");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("calls");
    QTest::addColumn<QList<int>>("pointers");  // the pointer byte of each write
    QTest::addColumn<QString>("again");        // the calls of a read of one register after it
    QTest::newRow("i2c-tiny-usb: 128 per read") << "i2c-tiny-usb" << 0 << 256 << "W1+R128 W1+R128"
                                                << QList<int>{0x00, 0x80} << QString("W1+R1");
    QTest::newRow("i2c-bcm2835: one read, last")
        << "i2c-bcm2835" << 0 << 256 << "W1+R256" << QList<int>{0x00} << QString("W1+R1");
    QTest::newRow("mcp2221") << "mcp2221" << 0 << 256 << "W1+R256" << QList<int>{0x00}
                             << QString("W1+R1");
    QTest::newRow("ft260") << "ft260" << 0x40 << 8 << "W1+R8" << QList<int>{0x40}
                           << QString("W1+R1");
    QTest::newRow("cp2112: up to 512")
        << "cp2112" << 0 << 256 << "W1+R256" << QList<int>{0x00} << QString("W1+R1");
    QTest::newRow("dln2: two ioctls, 256")
        << "dln2-i2c" << 0 << 256 << "W1 R256" << QList<int>{0x00} << QString("W1 R1");
    QTest::newRow("unknown driver refusing a combined ioctl: 32 per read, split from then on")
        << "i2c-other" << 0x10 << 70 << "W1+R32! W1 R32 W1 R32 W1 R6"
        << QList<int>{0x10, 0x10, 0x30, 0x50} << QString("W1 R1");
}

void TestI2cBus::readTransactions() {
    QFETCH(QString, driver);
    QFETCH(int, first);
    QFETCH(int, count);
    QFETCH(QString, calls);
    QFETCH(QList<int>, pointers);
    QFETCH(QString, again);
    BusBench b(*driverNamed(driver));
    QCOMPARE(b.opened, I2cResult::Ok);
    QCOMPARE(b.c.path, ChipPath::I2cDev);
    std::vector<quint8> buffer(std::size_t(count), 0);
    QCOMPARE(i2c_read_registers(b.c, 0x69, quint8(first), count, buffer.data()), I2cResult::Ok);
    QCOMPARE(describeCalls(b.buses.calls()), calls);
    QList<int> seenPointers;
    for (const SimI2cCall& call : b.buses.calls())
        if (!call.messages.front().read)
            seenPointers << call.messages.front().data.at(0);
    QCOMPARE(seenPointers, pointers);
    for (int i = 0; i < count; ++i)
        QCOMPARE(int(buffer[std::size_t(i)]), int(chipPattern(first + i)));
    // The split stays for the connection: the next read goes as two ioctls at once.
    b.buses.resetCalls();
    quint8 one = 0;
    QCOMPARE(i2c_read_registers(b.c, 0x69, 0x09, 1, &one), I2cResult::Ok);
    QCOMPARE(describeCalls(b.buses.calls()), again);
    QCOMPARE(int(one), int(chipPattern(0x09)));
}

void TestI2cBus::writeIsOneMessage_data() {
    QTest::addColumn<QString>("driver");
    for (const char* d :
         {"i2c-tiny-usb", "i2c-bcm2835", "mcp2221", "ft260", "cp2112", "dln2-i2c", "i2c-other"})
        QTest::newRow(d) << d;
}

// The configuration goes out in the safe order, 0x09 last, one [register, value] message each.
void TestI2cBus::writeIsOneMessage() {
    QFETCH(QString, driver);
    BusBench b(*driverNamed(driver));
    RegisterImage image;
    for (int r = 0; r < RegisterImage::Size; ++r)
        image.bytes[std::size_t(r)] = quint8(0xA0 ^ r);
    QVERIFY(writeConfiguration(b.c, image).ok);
    QStringList written;
    for (const SimI2cCall& call : b.buses.calls()) {
        QCOMPARE(int(call.messages.size()), 1);
        QCOMPARE(call.messages[0].address, quint16(0x69));
        QCOMPARE(call.messages[0].read, false);
        written << QByteArray(reinterpret_cast<const char*>(call.messages[0].data.data()),
                              int(call.messages[0].data.size()))
                       .toHex();
    }
    QStringList expected;
    for (quint8 address : SafeWriteOrder) {
        expected << QString::asprintf("%02x%02x", address, 0xA0 ^ address);
        QCOMPARE(int(b.chip->registerValue(address)), 0xA0 ^ address);
    }
    QCOMPARE(written, expected);
    QCOMPARE(written.last(), QString("09a9"));
}

void TestI2cBus::failures_data() {
    QTest::addColumn<QString>("driver");
    QTest::addColumn<bool>("chipAbsent");  // else the first ioctl fails with `error`
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("text");
    const QString noAck = "Error: the chip at I2C address 0x69 on i2c-3 did not acknowledge";
    for (const char* d : {"i2c-tiny-usb", "i2c-bcm2835", "mcp2221", "ft260", "cp2112", "dln2-i2c"})
        QTest::newRow(qPrintable(QString("no chip, %1").arg(d)))
            << d << true << 0 << I2cResult::BusNoAcknowledge << noAck;
    QTest::newRow("cp2112 time-out is its no-acknowledge")
        << "cp2112" << false << ETIMEDOUT << I2cResult::BusNoAcknowledge << noAck;
    QTest::newRow("a time-out elsewhere names the call")
        << "i2c-tiny-usb" << false << ETIMEDOUT << I2cResult::BusTransferFailed
        << "Error: I2C_RDWR on /dev/i2c-3 failed: Connection timed out";
    QTest::newRow("busy") << "i2c-bcm2835" << false << EBUSY << I2cResult::BusTransferFailed
                          << "Error: I2C_RDWR on /dev/i2c-3 failed: Device or resource busy";
    QTest::newRow("dln2 protocol error on a read is no acknowledge only for writes")
        << "dln2-i2c" << false << EIO << I2cResult::BusTransferFailed
        << "Error: I2C_RDWR on /dev/i2c-3 failed: Input/output error";
}

// A read and a write both fail with the text; the chip keeps its registers.
void TestI2cBus::failures() {
    QFETCH(QString, driver);
    QFETCH(bool, chipAbsent);
    QFETCH(int, error);
    QFETCH(int, result);
    QFETCH(QString, text);
    BusBench b(*driverNamed(driver), chipAbsent ? 0x50 : 0x69);
    RegisterImage image;
    for (int pass = 0; pass < 2; ++pass) {
        if (!chipAbsent)
            b.buses.failCall(0, error);
        const int got =
            pass == 0 ? readChip(b.c, image).result : i2c_write_register(b.c, 0x69, 0x40, 0x12);
        QCOMPARE(got, result);
        QCOMPARE(i2c_error_text(b.c), text);
    }
    QCOMPARE(int(b.chip->registerValue(0x40)), int(chipPattern(0x40)));
}

void TestI2cBus::openFailures_data() {
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("text");
    QTest::newRow("no access") << EACCES
                               << "Error: no permission to open /dev/i2c-3: join the i2c group "
                                  "(sudo usermod -aG i2c $USER, then log in again) or, for an "
                                  "i2c-tiny-usb adapter, install Vantrel's udev rule";
    QTest::newRow("not permitted") << EPERM
                                   << "Error: no permission to open /dev/i2c-3: join the i2c "
                                      "group (sudo usermod -aG i2c $USER, then log in again) or, "
                                      "for an i2c-tiny-usb adapter, install Vantrel's udev rule";
    QTest::newRow("gone") << ENODEV << "Error: opening /dev/i2c-3 failed: No such device";
}

void TestI2cBus::openFailures() {
    QFETCH(int, error);
    QFETCH(QString, text);
    SimI2cBus buses;
    buses.addNode("/dev/i2c-3", SimI2cDrivers::bcm2835(), patternChip());
    buses.setOpenError("/dev/i2c-3", error);
    AdapterConnection c;
    c.buses = &buses;
    I2cBusInfo bus;
    bus.number = 3;
    bus.driver = "i2c-bcm2835";
    QCOMPARE(i2c_open_bus(c, bus), I2cResult::OpenFailed);
    QCOMPARE(i2c_error_text(c), text);
    QCOMPARE(buses.openHandleCount(), 0);
    quint8 byte = 0;
    QCOMPARE(i2c_read_registers(c, 0x69, 0, 1, &byte), I2cResult::Ok);  // nothing open
    QVERIFY(buses.calls().empty());
}

void TestI2cBus::kernelTrafficNeverMixes_data() {
    QTest::addColumn<QString>("driver");
    for (const char* d : {"i2c-tiny-usb", "i2c-bcm2835", "mcp2221", "ft260", "cp2112"})
        QTest::newRow(d) << d;
}

// Another program's transaction before every ioctl after the first moves the chip's pointer;
// no read or write of Vantrel's is torn by it, in 50 rounds of write and read-back.
void TestI2cBus::kernelTrafficNeverMixes() {
    QFETCH(QString, driver);
    BusBench b(*driverNamed(driver));
    b.buses.setKernelTraffic(true);
    int mixed = 0;
    for (int round = 0; round < 50; ++round) {
        RegisterImage image;
        for (int r = 0; r < RegisterImage::Size; ++r)
            image.bytes[std::size_t(r)] = quint8(r * 13 + round);
        QVERIFY(writeConfiguration(b.c, image).ok);
        RegisterImage read;
        QVERIFY(readChip(b.c, read).ok());
        mixed += compareConfiguration(image, read).empty() ? 0 : 1;
        for (int r = 0; r < RegisterImage::Size; ++r)
            mixed += read[quint8(r)] == b.chip->registerValue(r) ? 0 : 1;
    }
    QCOMPARE(mixed, 0);
    QCOMPARE(b.buses.injectedTransactions(), int(b.buses.calls().size()) - 1);
    QVERIFY(b.buses.injectedTransactions() >= 50 * 12 - 1);
}

void TestI2cBus::adapterPath_data() {
    QTest::addColumn<bool>("bound");
    QTest::addColumn<bool>("node");      // sysfs shows the adapter's i2c-7
    QTest::addColumn<int>("nodeError");  // opening /dev/i2c-7 fails with this
    QTest::addColumn<int>("choice");     // TransportChoice
    QTest::addColumn<bool>("chipThere");
    QTest::addColumn<int>("path");      // ChipPath, -1: the open fails
    QTest::addColumn<QString>("text");  // the path's text, or the open's error
    const int autoChoice = int(TransportChoice::Auto);
    QTest::newRow("no kernel driver: USB")
        << false << false << 0 << autoChoice << true << int(ChipPath::Usb) << "USB";
    QTest::newRow("kernel driver and node: /dev/i2c-7")
        << true << true << 0 << autoChoice << true << int(ChipPath::I2cDev) << "/dev/i2c-7";
    QTest::newRow("kernel driver, node without access: detached")
        << true << true << EACCES << autoChoice << true << int(ChipPath::UsbDetached)
        << "USB, kernel driver detached";
    QTest::newRow("kernel driver, no i2c-dev: detached")
        << true << false << 0 << autoChoice << true << int(ChipPath::UsbDetached)
        << "USB, kernel driver detached";
    QTest::newRow("detached, and the chip does not answer")
        << true << false << 0 << autoChoice << false << int(ChipPath::UsbDetached)
        << "USB, kernel driver detached";
    QTest::newRow("forced USB over a usable node: detached")
        << true << true << 0 << int(TransportChoice::Usb) << true << int(ChipPath::UsbDetached)
        << "USB, kernel driver detached";
    QTest::newRow("forced i2c-dev without a kernel driver")
        << false << false << 0 << int(TransportChoice::I2cDev) << true << -1
        << "Error: no /dev/i2c-N for the adapter BUS_001-DEV_004-VID_0403-PID_C631: its kernel "
           "driver is not bound";
    QTest::newRow("forced i2c-dev without access")
        << true << true << EACCES << int(TransportChoice::I2cDev) << true << -1
        << "Error: no permission to open /dev/i2c-7: join the i2c group (sudo usermod -aG i2c "
           "$USER, then log in again) or, for an i2c-tiny-usb adapter, install Vantrel's udev "
           "rule";
}

// Which path an adapter takes; on the kernel's path no usbfs transfer at all; a detached kernel
// driver is bound again when the connection closes, whatever the read came to.
void TestI2cBus::adapterPath() {
    QFETCH(bool, bound);
    QFETCH(bool, node);
    QFETCH(int, nodeError);
    QFETCH(int, choice);
    QFETCH(bool, chipThere);
    QFETCH(int, path);
    QFETCH(QString, text);
    FakeSysfs sysfs;
    if (node)
        sysfs.addUsbBus(7, "i2c-tiny-usb at bus 001 device 004", "i2c-tiny-usb", 1, 4, "0403",
                        "c631", 1);
    auto chip = patternChip(chipThere ? 0x69 : 0x50);
    SimUsbBackend usb;
    SimDevice adapter = SimDevice::adapter(1, 4, chip);
    adapter.kernelDriverBound = bound;
    const int plugId = usb.plug(adapter);
    SimI2cBus buses;
    buses.addNode("/dev/i2c-7", SimI2cDrivers::tinyUsb(), chip);
    buses.setOpenError("/dev/i2c-7", nodeError);
    {
        AdapterConnection c;
        c.buses = &buses;
        c.choice = TransportChoice(choice);
        i2c_init(c, &usb, nullptr);
        usb.rescan();
        const int opened = i2c_open(c, usb.busses().at(0).devices.at(0));
        if (path < 0) {
            QCOMPARE(opened, I2cResult::OpenFailed);
            QCOMPARE(i2c_error_text(c), text);
            QCOMPARE(usb.openHandleCount(), 0);
            QCOMPARE(buses.openHandleCount(), 0);
            QCOMPARE(usb.kernelDriverBound(plugId), bound);
            return;
        }
        QCOMPARE(opened, I2cResult::Ok);
        QCOMPARE(int(c.path), path);
        QCOMPARE(chipPathText(c), text);
        usb.resetTransfers();
        RegisterImage image;
        const ChipRead read = readChip(c, image);
        QCOMPARE(read.ok(), chipThere);
        if (chipThere)
            QCOMPARE(int(image[0x42]), int(chipPattern(0x42)));
        if (c.path == ChipPath::I2cDev) {
            QVERIFY(usb.transfers().empty());
            QCOMPARE(usb.openHandleCount(), 0);
            QCOMPARE(describeCalls(buses.calls()), QString("W1+R128 W1+R128"));
        } else {
            QCOMPARE(int(usb.transfers().size()), chipThere ? 515 : 3);
            QVERIFY(buses.calls().empty());
        }
        QCOMPARE(usb.kernelDriverBound(plugId), bound && path != int(ChipPath::UsbDetached));
        i2c_close(c);
    }
    QCOMPARE(usb.kernelDriverBound(plugId), bound);
    QCOMPARE(usb.reattachCount(), usb.detachCount());
    QCOMPARE(usb.detachCount(), path == int(ChipPath::UsbDetached) ? 1 : 0);
    QCOMPARE(buses.openHandleCount(), 0);
    QCOMPARE(usb.openHandleCount(), 0);
}

// On the kernel's path a USB-backed bus still shares the adapter's lock with the USB path.
void TestI2cBus::busHoldsTheAdapterLock() {
    QTemporaryDir locks;
    FakeSysfs sysfs;
    sysfs.addUsbBus(7, "i2c-tiny-usb at bus 001 device 004", "i2c-tiny-usb", 1, 4, "0403", "c631",
                    1);
    auto chip = patternChip();
    SimUsbBackend usb;
    usb.setLockDirectory(locks.path().toStdString());
    SimDevice adapter = SimDevice::adapter(1, 4, chip);
    adapter.kernelDriverBound = true;
    usb.plug(adapter);
    usb.init();
    usb.rescan();
    SimUsbBackend otherProgram;
    otherProgram.setLockDirectory(locks.path().toStdString());
    otherProgram.plug(SimDevice::adapter(1, 4, chip));
    otherProgram.init();
    otherProgram.rescan();
    SimI2cBus buses;
    buses.addNode("/dev/i2c-7", SimI2cDrivers::tinyUsb(), chip);

    AdapterConnection viaNode;
    viaNode.buses = &buses;
    i2c_init(viaNode, &usb, nullptr);
    QCOMPARE(i2c_open(viaNode, usb.busses().at(0).devices.at(0)), I2cResult::Ok);
    QCOMPARE(viaNode.path, ChipPath::I2cDev);
    AdapterConnection viaUsb;
    i2c_init(viaUsb, &otherProgram, nullptr);
    QCOMPARE(i2c_open(viaUsb, otherProgram.busses().at(0).devices.at(0)), I2cResult::Ok);
    viaUsb.busyWaitMs = 0;
    viaNode.busyWaitMs = 0;
    {
        const AdapterHold hold(viaUsb);
        QVERIFY(hold.ok());
        quint8 byte = 0;
        QCOMPARE(i2c_read_registers(viaNode, 0x69, 0, 1, &byte), I2cResult::Busy);
        QCOMPARE(i2c_error_text(viaNode),
                 QString("Error: the adapter BUS_001-DEV_004-VID_0403-PID_C631 is in use by "
                         "another program"));
        QCOMPARE(i2c_write_register(viaNode, 0x69, 0x09, 0x00), I2cResult::Busy);
        QVERIFY(buses.calls().empty());
    }
    quint8 byte = 0;
    QCOMPARE(i2c_read_registers(viaNode, 0x69, 0x09, 1, &byte), I2cResult::Ok);
    QCOMPARE(int(byte), int(chipPattern(0x09)));
    i2c_close(viaNode);
    i2c_close(viaUsb);
}

QTEST_GUILESS_MAIN(TestI2cBus)
#include "tst_i2cbus.moc"
