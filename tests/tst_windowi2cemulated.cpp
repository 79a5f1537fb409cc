// SPDX-License-Identifier: MIT
// The real window with its libusb-1.0 backend and the system's i2c-dev, on a machine whose I2C
// buses are emulated below the kernel's interfaces: the USB box lists each bus, and Open reads
// the chip behind the one selected, over every driver the emulation knows.

#include "app/mainwindow.h"
#include "demochip.h"
#include "emulatedusb.h"
#include "views/mainwindowform.h"
#include "windowfixture.h"

#include <QComboBox>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QStatusBar>
#include <QtTest>

#include <memory>

namespace {
const char* const ReadSuccess = "Info: Device configuration successfully read.";
const char* const TinyUsbEntry =
    "BUS_001-DEV_004-VID_0403-PID_C631 - Vantrel emulation - i2c-tiny-usb";

I2cBusSetup busSetup(int number, const I2cDriverProfile& driver) {
    I2cBusSetup setup;
    setup.number = number;
    setup.driver = &driver;
    setup.chipRegisters = demoPowerOnRegisters();
    // Each chip differs from the others in a register the window shows.
    setup.chipRegisters[0x47] = quint8(0x10 + number);
    return setup;
}

// The shapes of Vantrel's transfers on a bus: "W1 R256" a pointer write and a read in one ioctl.
QStringList shapes(const EmulatedI2cBus& bus) {
    QStringList transfers;
    for (const I2cTransferRecord& t : bus.traffic()) {
        QStringList messages;
        for (const EmulatedI2cMessage& m : t.messages)
            messages << QString("%1%2").arg(m.isRead() ? 'R' : 'W').arg(m.bytes.size());
        transfers << messages.join(' ');
    }
    return transfers;
}

QStringList repeated(const QString& shape, int times) {
    QStringList list;
    for (int i = 0; i < times; ++i)
        list << shape;
    return list;
}
}  // namespace

class TestWindowI2cEmulated : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();
    void openReadsTheSelectedBus_data();
    void openReadsTheSelectedBus();

private:
    std::unique_ptr<EmulatedUsb> usb_;
    std::map<int, std::shared_ptr<EmulatedI2cBus>> buses_;
    std::shared_ptr<EmulatedDevice> plainAdapter_;
    std::unique_ptr<MainWindow> window_;
};

// As the command line's machine: i2c-7 on the adapter 1:4 with its kernel driver bound, a plain
// adapter 2:5, the Raspberry Pi's i2c-1, the bridges i2c-10..13 on USB bus 3 and i2c-14 of a
// driver no table knows.
void TestWindowI2cEmulated::initTestCase() {
    QVERIFY2(EmulatedUsb::preloaded(), "umockdev's preload library is missing from LD_PRELOAD");
    QStandardPaths::setTestModeEnabled(true);
    QLoggingCategory::setFilterRules(
        QStringLiteral("qt.core.qmetaobject.connectslotsbyname=false"));
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

void TestWindowI2cEmulated::cleanup() {
    window_.reset();
}

void TestWindowI2cEmulated::cleanupTestCase() {
    buses_.clear();
    plainAdapter_.reset();
    usb_.reset();
}

void TestWindowI2cEmulated::openReadsTheSelectedBus_data() {
    QTest::addColumn<int>("bus");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QStringList>("reading");  // the transfers of the whole-chip read

    const QStringList combined256{"W1 R256"};
    // The adapter's own bus has no entry of its own: its USB entry opens it through the node.
    QTest::newRow("i2c-tiny-usb") << 7 << TinyUsbEntry << repeated("W1 R128", 2);
    QTest::newRow("Raspberry Pi") << 1 << "I2C_1 - bcm2835 (i2c@7e804000)" << combined256;
    QTest::newRow("MCP2221") << 10 << "I2C_10 - MCP2221 usb-i2c bridge" << combined256;
    QTest::newRow("FT260") << 11 << "I2C_11 - FT260 usb-i2c bridge" << combined256;
    QTest::newRow("CP2112") << 12 << "I2C_12 - CP2112 SMBus Bridge on hidraw0" << combined256;
    QTest::newRow("DLN-2") << 13 << "I2C_13 - dln2-i2c-3-4:1.0-0" << QStringList{"W1", "R256"};
    QTest::newRow("unknown driver")
        << 14 << "I2C_14 - ACME I2C controller" << repeated("W1 R32", 8);
}

void TestWindowI2cEmulated::openReadsTheSelectedBus() {
    QFETCH(int, bus);
    QFETCH(QString, entry);
    QFETCH(QStringList, reading);
    EmulatedI2cBus& b = *buses_[bus];
    for (auto& [number, each] : buses_)
        each->powerCycle();
    plainAdapter_->powerCycle();

    window_ = std::make_unique<MainWindow>();
    showMainWindow(*window_);
    QVERIFY(waitForStartUpScan(*window_));
    // The start-up scan opened an adapter and touched no bus.
    for (auto& [number, each] : buses_)
        QVERIFY(each->traffic().empty());
    MainWindowForm& ui = *window_->form();
    const int index = ui.USBcomboBox->findText(entry);
    QVERIFY2(index >= 0, qPrintable(entry));
    // Each bus once: the adapter's own bus only under its USB entry.
    QCOMPARE(ui.USBcomboBox->findText("I2C_7", Qt::MatchStartsWith), -1);

    ui.USBcomboBox->setCurrentIndex(index);
    ui.actionOpen->trigger();
    QCOMPARE(ui.statusBar->currentMessage(),
             QString("%1 (via /dev/i2c-%2)").arg(ReadSuccess).arg(bus));
    QVERIFY(window_->session().image.bytes == b.chipRegisters());
    QCOMPARE(int(b.chipRegister(0x47)), 0x10 + bus);
    // The read, then the eleven shown registers written back as Open writes them.
    QCOMPARE(shapes(b), reading + repeated("W2", 11));
    if (b.adapter())
        QVERIFY(b.adapter()->adapterTransfers().empty());  // nothing through usbfs
}

QTEST_MAIN(TestWindowI2cEmulated)
#include "tst_windowi2cemulated.moc"
