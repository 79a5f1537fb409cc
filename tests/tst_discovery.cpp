// SPDX-License-Identifier: MIT
#include "fakesysfs.h"
#include "session/session.h"
#include "simi2cbus.h"
#include "views/mainwindowform.h"
#include "windowfixture.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStatusBar>
#include <QtTest>

#include <array>
#include <memory>
#include <set>
#include <utility>
#include <vector>

Q_DECLARE_METATYPE(SimDevice)
Q_DECLARE_METATYPE(SimFault)

namespace {
const QString SuccessLine = QStringLiteral("Info: Device configuration successfully read.");
const QString WrongAdapterLine =
    QStringLiteral("Error: wrong VID/PID, only i2c-tiny-usb interface supported");
const QString NotFoundLine = QStringLiteral("Error: Device not found at this interface!");
const QString NotCompleteLine = QStringLiteral("Error: Device not complete readable!");
const QString NoUsbEntry = QStringLiteral("No USB subsystem found on this machine!");

constexpr int OpenTransfers = 1;    // the end of any I2C transaction left open on the adapter
constexpr int ReadTransfers = 515;  // a read of all 256 registers
constexpr quint8 DefaultChipAddress = 0x69;

// The registers of the grid, in row order.
constexpr std::array<quint8, 11> ShownRegisters = {0x09, 0x0C, 0x12, 0x13, 0x40, 0x41,
                                                   0x42, 0x44, 0x45, 0x46, 0x47};
constexpr int ShownRow13 = 3;  // the grid row of register 0x13

using Registers = std::array<quint8, SimCy22150::RegisterCount>;

// Two register sets that a chip can hold. Both run the PLL in its stable range (PB 16 / 18, Q 0,
// PO 0: 200 / 220 MHz from 10 MHz), so the frequency refresh has nothing to warn about; they
// differ in most grid registers and in every register outside the grid.
Registers chipContents(int variant) {
    Registers r{};
    for (int reg = 0; reg < SimCy22150::RegisterCount; ++reg)
        r[std::size_t(reg)] = quint8(reg * 7 + 3 + variant * 0x40);
    const std::array<quint8, 11> shown =
        variant == 0 ? std::array<quint8, 11>{0x25, 0x8A, 0x28, 0x2A, 0xC0, 0x10,
                                              0x00, 0x31, 0x5C, 0xFF, 0x8C}
                     : std::array<quint8, 11>{0x1A, 0x0B, 0x30, 0x33, 0xC0, 0x12,
                                              0x00, 0x29, 0x5C, 0xFF, 0x0E};
    for (std::size_t row = 0; row < ShownRegisters.size(); ++row)
        r[ShownRegisters[row]] = shown[row];
    return r;
}

void load(SimCy22150& chip, const Registers& r) {
    for (int reg = 0; reg < SimCy22150::RegisterCount; ++reg)
        chip.setRegisterValue(reg, r[std::size_t(reg)]);
}

std::shared_ptr<SimCy22150> makeChip(quint8 address = DefaultChipAddress, int variant = 0) {
    auto chip = std::make_shared<SimCy22150>(address);
    load(*chip, chipContents(variant));
    return chip;
}

SimDevice adapter(int bus, int device, std::shared_ptr<SimCy22150> chip = makeChip()) {
    return SimDevice::adapter(bus, device, std::move(chip));
}

SimDevice unopenable(SimDevice device, const std::string& error) {
    device.openError = error;
    return device;
}

SimDevice withStrings(SimDevice device, const SimString& manufacturer, const SimString& product) {
    device.manufacturer = manufacturer;
    device.product = product;
    return device;
}

QString hex(int value) {
    return QString::asprintf("0x%02X", unsigned(value));
}

// Registers as "0x.." texts, so that a comparison names the first register that differs.
QStringList texts(const Registers& r) {
    QStringList list;
    for (int reg = 0; reg < SimCy22150::RegisterCount; ++reg)
        list << hex(reg) + "=" + hex(r[std::size_t(reg)]);
    return list;
}

QStringList gridTexts(const Registers& r) {
    QStringList list;
    for (quint8 reg : ShownRegisters)
        list << hex(r[reg]);
    return list;
}

// The value fields of the grid rows, as shown.
QStringList shownGrid(const MainWindow& window) {
    QStringList list;
    for (std::size_t row = 0; row < ShownRegisters.size(); ++row) {
        const auto* field = window.findChild<QLineEdit*>(QString::asprintf("leVal%02d", int(row)));
        list << (field ? field->text() : QStringLiteral("missing"));
    }
    return list;
}

QString deviceKey(int bus, int device) {
    return QString::number(bus) + "/" + QString::number(device);
}

// The devices that control transfers went to.
QSet<QString> addressedDevices(const std::vector<SimTransfer>& transfers) {
    QSet<QString> devices;
    for (const SimTransfer& t : transfers)
        devices.insert(deviceKey(t.busNumber, t.deviceNumber));
    return devices;
}

int countRequests(const std::vector<SimTransfer>& transfers, int request) {
    int count = 0;
    for (const SimTransfer& t : transfers)
        count += t.request == request ? 1 : 0;
    return count;
}

// One line per transfer with every field that the adapter's protocol fixes.
QString describe(int bus, int device, int requestType, int request, int value, int index,
                 int length, const QByteArray& data) {
    return QString::asprintf("%d/%d type 0x%02X req %d value %d index 0x%02X length %d [%s]", bus,
                             device, requestType, request, value, index, length,
                             data.toHex(' ').constData());
}

QStringList describe(const std::vector<SimTransfer>& transfers) {
    QStringList lines;
    for (const SimTransfer& t : transfers) {
        const QByteArray data(reinterpret_cast<const char*>(t.data.data()), int(t.data.size()));
        lines << describe(t.busNumber, t.deviceNumber, t.requestType, t.request, t.value, t.index,
                          t.length, data);
    }
    return lines;
}

// What an acknowledged read of all registers and acknowledged writes look like on adapter 1/4.
QString acknowledgedStatus() {
    return describe(1, 4, 0xA0, 3, 0, 0, 1, QByteArray(1, char(1)));
}

// The open: an I2C I/O with the end flag and no data, at the chip's address.
QString expectedOpen(quint8 address) {
    return describe(1, 4, 0x20, 6, 0, address, 0, QByteArray());
}

QStringList expectedRead(quint8 address, const Registers& chip) {
    QStringList lines;
    lines << describe(1, 4, 0x20, 5, 0, address, 1, QByteArray(1, char(0))) << acknowledgedStatus();
    for (int reg = 0; reg < SimCy22150::RegisterCount; ++reg) {
        const int request = reg < SimCy22150::RegisterCount - 1 ? 4 : 6;
        lines << describe(1, 4, 0xA0, request, 1, address, 1,
                          QByteArray(1, char(chip[std::size_t(reg)])))
              << acknowledgedStatus();
    }
    lines << acknowledgedStatus();
    return lines;
}

QStringList expectedWrite(quint8 address, quint8 reg, quint8 value) {
    QByteArray data;
    data.append(char(reg)).append(char(value));
    return {describe(1, 4, 0x20, 7, 0, address, 2, data), acknowledgedStatus()};
}

std::vector<std::pair<int, int>> gridWrites(const Registers& r) {
    std::vector<std::pair<int, int>> writes;
    for (quint8 reg : ShownRegisters)
        writes.emplace_back(reg, r[reg]);
    return writes;
}

// Moves a combo box to `index` with the arrow keys, one entry per key press, as a user does.
void chooseEntry(QComboBox* box, int index) {
    for (int step = 0; step < box->count() && box->currentIndex() < index; ++step)
        QTest::keyClick(box, Qt::Key_Down);
    for (int step = 0; step < box->count() && box->currentIndex() > index; ++step)
        QTest::keyClick(box, Qt::Key_Up);
}

QStringList entries(const QComboBox* box) {
    QStringList list;
    for (int i = 0; i < box->count(); ++i)
        list << box->itemText(i);
    return list;
}

// What the frequency refresh makes of the target "0.0" in a field: the text that a Scan leaves
// there. Changes the field to that text.
QString zeroTargetShown(WindowFixture& f, QLineEdit* field) {
    field->setText(QStringLiteral("0.0"));
    f.views().refreshFrequencies();
    return field->text();
}

QStringList spiedTexts(const QSignalSpy& spy) {
    QStringList list;
    for (const QList<QVariant>& arguments : spy)
        list << arguments.at(0).toString();
    return list;
}

enum class Action { Scan, Open };

void trigger(WindowFixture& f, Action action) {
    (action == Action::Scan ? f.ui().actionScan : f.ui().actionOpen)->trigger();
}

// What happens to the listed devices between the scan and the Open.
enum class Change { Nothing, UnplugSelected, NewStringsOnSelected };

QStringList writeTexts(const std::vector<std::pair<int, int>>& writes) {
    QStringList list;
    for (const auto& [reg, value] : writes)
        list << hex(reg) + "=" + hex(value);
    return list;
}
}  // namespace

Q_DECLARE_METATYPE(Action)
Q_DECLARE_METATYPE(Change)

class TestDiscovery : public QObject {
    Q_OBJECT

private slots:
    void listing_data();
    void listing();
    void noUsbSubsystem();
    void scanOpensFirstUsableAdapter_data();
    void scanOpensFirstUsableAdapter();
    void openSelected_data();
    void openSelected();
    void busEntriesAndOpen_data();
    void busEntriesAndOpen();
    void openLooksOnlyAtTheLastScan();
    void readFailures_data();
    void readFailures();
    void startUp();
    void startUpOnEveryFirmware_data();
    void startUpOnEveryFirmware();
    void afterSuccessfulOpen_data();
    void afterSuccessfulOpen();
    void addressChangeRescansAtTheNewAddress();
    void statusBarAfterOpen_data();
    void statusBarAfterOpen();
    void closingWindowClosesDevice_data();
    void closingWindowClosesDevice();
};

void TestDiscovery::listing_data() {
    QTest::addColumn<QList<SimDevice>>("devices");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("current");

    const SimString maker = SimString::present("Logitech");
    const SimString product = SimString::present("USB Receiver");
    const SimString absent = SimString::absent();
    const SimString unreadable = SimString::unreadable("Pipe error");
    const SimDevice mouse = SimDevice::other(1, 2, 0x046D, 0xC52B);

    QTest::newRow("adapter with both strings")
        << QList<SimDevice>{adapter(1, 4)}
        << QStringList{"BUS_001-DEV_004-VID_0403-PID_C631 - Simulated Adapters - i2c-tiny-usb"}
        << 0;
    QTest::newRow("manufacturer absent")
        << QList<SimDevice>{withStrings(mouse, absent, product)}
        << QStringList{"BUS_001-DEV_002-VID_046D-PID_C52B - USB Receiver"} << 0;
    QTest::newRow("product absent")
        << QList<SimDevice>{withStrings(mouse, maker, absent)}
        << QStringList{"BUS_001-DEV_002-VID_046D-PID_C52B - Logitech"} << 0;
    QTest::newRow("both absent") << QList<SimDevice>{withStrings(mouse, absent, absent)}
                                 << QStringList{"BUS_001-DEV_002-VID_046D-PID_C52B"} << 0;
    QTest::newRow("manufacturer unreadable")
        << QList<SimDevice>{withStrings(mouse, unreadable, product)}
        << QStringList{"BUS_001-DEV_002-VID_046D-PID_C52B - USB Receiver"} << 0;
    QTest::newRow("product unreadable")
        << QList<SimDevice>{withStrings(mouse, maker, unreadable)}
        << QStringList{"BUS_001-DEV_002-VID_046D-PID_C52B - Logitech"} << 0;
    QTest::newRow("both unreadable") << QList<SimDevice>{withStrings(mouse, unreadable, unreadable)}
                                     << QStringList{"BUS_001-DEV_002-VID_046D-PID_C52B"} << 0;
    QTest::newRow("empty strings add nothing")
        << QList<SimDevice>{withStrings(mouse, SimString::present(""), SimString::present(""))}
        << QStringList{"BUS_001-DEV_002-VID_046D-PID_C52B"} << 0;
    QTest::newRow("device that cannot be opened")
        << QList<SimDevice>{unopenable(withStrings(mouse, maker, product), "Access denied")}
        << QStringList{"BUS_001-DEV_002-VID_046D-PID_C52B"} << 0;
    QTest::newRow("adapter that cannot be opened")
        << QList<SimDevice>{unopenable(adapter(1, 4), "Access denied")}
        << QStringList{"BUS_001-DEV_004-VID_0403-PID_C631"} << 0;
    QTest::newRow("numbers zero-filled, hexadecimal upper-case")
        << QList<SimDevice>{SimDevice::other(7, 9, 0x1D6B, 0x0002),
                            SimDevice::other(12, 123, 0x0A5C, 0x21E8),
                            SimDevice::other(255, 10, 0xABCD, 0xEF01)}
        << QStringList{"BUS_007-DEV_009-VID_1D6B-PID_0002", "BUS_012-DEV_123-VID_0A5C-PID_21E8",
                       "BUS_255-DEV_010-VID_ABCD-PID_EF01"}
        << 0;
    // The library lists bus 2 first here: its order is kept, devices grouped under their bus.
    QTest::newRow("several busses in the library's order")
        << QList<SimDevice>{SimDevice::other(2, 1, 0x1D6B, 0x0002),
                            SimDevice::other(1, 3, 0x1D6B, 0x0003), adapter(2, 5),
                            SimDevice::other(1, 2, 0x046D, 0xC52B)}
        << QStringList{"BUS_002-DEV_001-VID_1D6B-PID_0002",
                       "BUS_002-DEV_005-VID_0403-PID_C631 - Simulated Adapters - i2c-tiny-usb",
                       "BUS_001-DEV_003-VID_1D6B-PID_0003", "BUS_001-DEV_002-VID_046D-PID_C52B"}
        << 1;
    // 255 characters in all: the identification, " - " and 219 of the maker's characters; the
    // product no longer fits.
    QTest::newRow("long strings cut at 255 characters")
        << QList<SimDevice>{withStrings(mouse, SimString::present(std::string(300, 'M')), product)}
        << QStringList{"BUS_001-DEV_002-VID_046D-PID_C52B - " + QString(219, 'M')} << 0;
}

void TestDiscovery::listing() {
    QFETCH(QList<SimDevice>, devices);
    QFETCH(QStringList, expected);
    QFETCH(int, current);
    WindowFixture f(WindowFixture::Start::WithoutAdapter);
    for (const SimDevice& d : devices)
        f.usb->plug(d);
    f.open();

    QCOMPARE(entries(f.ui().USBcomboBox), expected);
    QCOMPARE(f.ui().USBcomboBox->currentIndex(), current);
    for (const QString& entry : expected)
        QVERIFY(entry.size() <= 255);
}

void TestDiscovery::noUsbSubsystem() {
    WindowFixture f;  // an adapter is plugged, but the library finds no bus
    f.usb->failInit("USB subsystem not available");
    f.open();

    QCOMPARE(entries(f.ui().USBcomboBox), QStringList{NoUsbEntry});
    QCOMPARE(f.ui().statusBar->currentMessage(), QString("Error: USB subsystem not available"));
    QVERIFY(f.startUpTransfers.empty());
    QCOMPARE(f.usb->openCount(), 0);

    // The same through the menu, and the scan's own result.
    f.ui().statusBar->showMessage("before");
    f.ui().actionScan->trigger();
    QCOMPARE(entries(f.ui().USBcomboBox), QStringList{NoUsbEntry});
    QCOMPARE(f.ui().statusBar->currentMessage(), QString("Error: USB subsystem not available"));
    QCOMPARE(f.views().device.scanDevices(), -1);
    QCOMPARE(entries(f.ui().USBcomboBox), QStringList{NoUsbEntry});
    QCOMPARE(f.usb->openCount(), 0);
    QVERIFY(f.usb->transfers().empty());
    QVERIFY(f.session().adapter.handle == nullptr);
    QVERIFY(!f.session().adapter.openedByScan);
}

void TestDiscovery::scanOpensFirstUsableAdapter_data() {
    QTest::addColumn<QList<SimDevice>>("devices");
    QTest::addColumn<int>("opened");  // the device holding the handle afterwards, -1 none
    QTest::addColumn<QString>("message");

    const std::string denied = "Access denied (insufficient permissions)";
    QTest::newRow("two adapters: only the first")
        << QList<SimDevice>{adapter(1, 4), adapter(1, 5)} << 0 << SuccessLine;
    QTest::newRow("adapters on two busses: the library's first")
        << QList<SimDevice>{adapter(2, 7), adapter(1, 4)} << 0 << SuccessLine;
    QTest::newRow("first fails to open: the second")
        << QList<SimDevice>{unopenable(adapter(1, 4), denied), adapter(1, 5)} << 1 << SuccessLine;
    QTest::newRow("first's chip does not answer: no further attempt")
        << QList<SimDevice>{adapter(1, 4, makeChip(0x50)), adapter(1, 5)} << 0 << NotFoundLine;
    QTest::newRow("adapter behind other devices")
        << QList<SimDevice>{SimDevice::other(1, 1, 0x1D6B, 0x0002),
                            SimDevice::other(1, 2, 0x046D, 0xC52B), adapter(2, 3)}
        << 2 << SuccessLine;
    QTest::newRow("no adapter") << QList<SimDevice>{SimDevice::other(1, 1, 0x1D6B, 0x0002)} << -1
                                << QString();
    QTest::newRow("only adapter fails to open")
        << QList<SimDevice>{unopenable(adapter(1, 4), denied)} << -1
        << QString::fromStdString("Error: " + denied);
}

void TestDiscovery::scanOpensFirstUsableAdapter() {
    QFETCH(QList<SimDevice>, devices);
    QFETCH(int, opened);
    QFETCH(QString, message);
    WindowFixture f(WindowFixture::Start::WithoutAdapter);
    int openable = 0;
    for (const SimDevice& d : devices) {
        f.usb->plug(d);
        openable += d.openError.empty() ? 1 : 0;
    }
    f.open();
    const int opensBefore = f.usb->openCount();

    f.ui().actionScan->trigger();

    // Every device that opens is opened once for its strings, and one adapter for use.
    QCOMPARE(f.usb->openCount() - opensBefore, openable + (opened >= 0 ? 1 : 0));
    QCOMPARE(f.usb->openHandleCount(), opened >= 0 ? 1 : 0);
    QCOMPARE(f.ui().statusBar->currentMessage(), message);
    QCOMPARE(f.ui().USBcomboBox->count(), int(devices.size()));
    if (opened < 0) {
        QVERIFY(f.usb->transfers().empty());
        return;
    }
    const SimDevice& d = devices.at(opened);
    QCOMPARE(f.ui().USBcomboBox->currentIndex(), opened);
    QCOMPARE(addressedDevices(f.usb->transfers()),
             QSet<QString>{deviceKey(d.busNumber, d.deviceNumber)});
    if (message == SuccessLine) {
        Registers expected = chipContents(0);
        expected[0x13] = 0x40;
        QCOMPARE(texts(f.session().image.bytes), texts(expected));
        QCOMPARE(texts(d.chip->registers()), texts(expected));
    } else {
        // The open, the set-up and its status, and the end of the transaction it began.
        QCOMPARE(int(f.usb->transfers().size()), OpenTransfers + 3);
    }
}

void TestDiscovery::openSelected_data() {
    QTest::addColumn<QList<SimDevice>>("devices");
    QTest::addColumn<bool>("noBus");
    QTest::addColumn<int>("selected");
    QTest::addColumn<Change>("change");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("opened");  // the device opened and read, -1 none

    const QList<SimDevice> twoAdapters{adapter(1, 4), adapter(1, 5, makeChip(0x69, 1))};
    QTest::newRow("second adapter")
        << twoAdapters << false << 1 << Change::Nothing << SuccessLine << 1;
    QTest::newRow("strings changed since the scan")
        << twoAdapters << false << 1 << Change::NewStringsOnSelected << SuccessLine << 1;
    QTest::newRow("other device") << QList<SimDevice>{adapter(1, 4),
                                                      SimDevice::other(1, 5, 0x046D, 0xC52B)}
                                  << false << 1 << Change::Nothing << WrongAdapterLine << -1;
    QTest::newRow("no USB subsystem entry") << QList<SimDevice>{adapter(1, 4)} << true << 0
                                            << Change::Nothing << WrongAdapterLine << -1;
    QTest::newRow("adapter that cannot be opened")
        << QList<SimDevice>{adapter(1, 4), unopenable(adapter(1, 5), "Access denied (test)")}
        << false << 1 << Change::Nothing << "Error: Access denied (test)" << -1;
    QTest::newRow("adapter unplugged since the scan")
        << twoAdapters << false << 1 << Change::UnplugSelected
        << "Error: No such device (it may have been disconnected)" << -1;
}

void TestDiscovery::busEntriesAndOpen_data() {
    QTest::addColumn<bool>("adapterBound");  // the adapter's own bus i2c-7 is in sysfs too
    QTest::addColumn<bool>("chipThere");
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QString>("message");  // after selecting I2C_1 and Open
    const QString adapterEntry =
        "BUS_001-DEV_004-VID_0403-PID_C631 - Simulated Adapters - i2c-tiny-usb";
    QTest::newRow("Raspberry Pi bus after the USB devices")
        << false << true << QStringList{adapterEntry, "I2C_1 - bcm2835 (i2c@7e804000)"}
        << "Info: Device configuration successfully read. (via /dev/i2c-1)";
    QTest::newRow("the adapter's own bus is not listed twice")
        << true << true << QStringList{adapterEntry, "I2C_1 - bcm2835 (i2c@7e804000)"}
        << "Info: Device configuration successfully read. (via /dev/i2c-1)";
    QTest::newRow("no chip on the bus")
        << false << false << QStringList{adapterEntry, "I2C_1 - bcm2835 (i2c@7e804000)"}
        << "Error: the chip at I2C address 0x69 on i2c-1 did not acknowledge";
}

// The buses come after the USB devices; the start-up scan opens the adapter and no bus; a bus
// selected and opened reads its chip into the window, and the status line says the path.
void TestDiscovery::busEntriesAndOpen() {
    QFETCH(bool, adapterBound);
    QFETCH(bool, chipThere);
    QFETCH(QStringList, listed);
    QFETCH(QString, message);
    FakeSysfs sysfs;
    sysfs.addPlatformBus(1, "bcm2835 (i2c@7e804000)", "i2c-bcm2835");
    if (adapterBound)
        sysfs.addUsbBus(7, "i2c-tiny-usb at bus 001 device 004", "i2c-tiny-usb", 1, 4, "0403",
                        "c631", 1);
    SimI2cBus buses;
    auto busChip = makeChip(chipThere ? DefaultChipAddress : 0x50, 1);
    buses.addNode("/dev/i2c-1", SimI2cDrivers::bcm2835(), busChip);
    buses.addNode("/dev/i2c-7", SimI2cDrivers::tinyUsb(), std::make_shared<SimCy22150>(0x10));
    WindowFixture f(WindowFixture::Start::WithoutAdapter);
    f.usb->plug(adapter(1, 4));
    f.open();
    QComboBox* list = f.ui().USBcomboBox;
    QCOMPARE(entries(list), listed);
    QCOMPARE(list->currentIndex(), 0);  // the scan opened the adapter, over USB
    QVERIFY(!f.startUpTransfers.empty());
    f.session().adapter.buses = &buses;
    const Registers imageBefore = f.session().image.bytes;

    chooseEntry(list, 1);
    f.ui().actionOpen->trigger();
    QCOMPARE(f.ui().statusBar->currentMessage(), message);
    QVERIFY(f.usb->transfers().empty());
    QCOMPARE(f.usb->openHandleCount(), 0);
    // The whole chip in one ioctl; after a successful read the eleven shown registers go back
    // as Open writes them, one [register, value] message each.
    QVERIFY(!buses.calls().empty());
    QCOMPARE(buses.calls()[0].messages.size(), std::size_t(2));
    QCOMPARE(buses.calls()[0].messages[1].length, 256);
    QCOMPARE(buses.calls().size(), std::size_t(chipThere ? 12 : 1));
    for (std::size_t i = 1; i < buses.calls().size(); ++i)
        QCOMPARE(buses.calls()[i].messages.at(0).length, 2);
    if (chipThere) {
        QCOMPARE(texts(f.session().image.bytes), texts(busChip->registers()));
        // An edit goes to the bus's chip as one [register, value] message.
        buses.resetCalls();
        f.session().image[0x47] = 0x55;
        pushRegister(f.session(), 0x47);
        QCOMPARE(buses.calls().size(), std::size_t(1));
        QCOMPARE(int(busChip->registerValue(0x47)), 0x55);
    } else {
        QCOMPARE(texts(f.session().image.bytes), texts(imageBefore));
    }
    f.window.reset();
    QCOMPARE(buses.openHandleCount(), 0);
}

void TestDiscovery::openSelected() {
    QFETCH(QList<SimDevice>, devices);
    QFETCH(bool, noBus);
    QFETCH(int, selected);
    QFETCH(Change, change);
    QFETCH(QString, message);
    QFETCH(int, opened);
    WindowFixture f(WindowFixture::Start::WithoutAdapter);
    std::vector<int> plugIds;
    for (const SimDevice& d : devices)
        plugIds.push_back(f.usb->plug(d));
    if (noBus)
        f.usb->failInit("USB subsystem not available");
    f.open();
    QComboBox* list = f.ui().USBcomboBox;
    const QStringList listed = entries(list);
    if (change == Change::UnplugSelected)
        f.usb->unplug(plugIds.at(std::size_t(selected)));
    if (change == Change::NewStringsOnSelected)
        f.usb->setStrings(plugIds.at(std::size_t(selected)), SimString::present("Renamed Maker"),
                          SimString::present("Renamed Product"));
    const int opensBefore = f.usb->openCount();
    const Registers imageBefore = f.session().image.bytes;

    chooseEntry(list, selected);
    QCOMPARE(list->currentIndex(), selected);
    f.ui().actionOpen->trigger();

    QCOMPARE(f.ui().statusBar->currentMessage(), message);
    QCOMPARE(entries(list), listed);  // Open lists nothing
    QCOMPARE(f.usb->openCount() - opensBefore, opened >= 0 ? 1 : 0);
    QCOMPARE(f.usb->openHandleCount(), opened >= 0 ? 1 : 0);
    if (opened < 0) {
        QVERIFY(f.usb->transfers().empty());
        QCOMPARE(texts(f.session().image.bytes), texts(imageBefore));
        return;
    }
    const SimDevice& d = devices.at(opened);
    QCOMPARE(addressedDevices(f.usb->transfers()),
             QSet<QString>{deviceKey(d.busNumber, d.deviceNumber)});
    QCOMPARE(texts(f.session().image.bytes), texts(d.chip->registers()));
    QCOMPARE(shownGrid(*f.window), gridTexts(d.chip->registers()));
}

void TestDiscovery::openLooksOnlyAtTheLastScan() {
    WindowFixture f;
    f.open();
    f.usb->plug(adapter(2, 1, makeChip(0x69, 1)));
    QComboBox* list = f.ui().USBcomboBox;
    QCOMPARE(list->count(), 1);  // plugged after the scan: not listed

    // Even an entry naming it finds nothing, since Open does not enumerate again.
    list->addItem("BUS_002-DEV_001-VID_0403-PID_C631");
    chooseEntry(list, 1);
    QCOMPARE(list->currentIndex(), 1);
    f.ui().statusBar->clearMessage();
    const int opensBefore = f.usb->openCount();
    QCOMPARE(f.views().device.openSelected(), -1);
    QCOMPARE(f.ui().statusBar->currentMessage(), QString());
    QCOMPARE(f.usb->openCount(), opensBefore);
    QCOMPARE(f.usb->openHandleCount(), 0);
    QVERIFY(f.usb->transfers().empty());

    // After the next scan it is listed and opens.
    f.ui().actionScan->trigger();
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->itemText(1),
             QString("BUS_002-DEV_001-VID_0403-PID_C631 - Simulated Adapters - i2c-tiny-usb"));
    f.usb->resetTransfers();
    chooseEntry(list, 1);
    f.ui().actionOpen->trigger();
    QCOMPARE(f.ui().statusBar->currentMessage(), SuccessLine);
    QCOMPARE(addressedDevices(f.usb->transfers()), QSet<QString>{deviceKey(2, 1)});
    QCOMPARE(texts(f.session().image.bytes), texts(chipContents(1)));
}

void TestDiscovery::readFailures_data() {
    QTest::addColumn<int>("transfer");  // number of the transfer that fails, from the set-up
    QTest::addColumn<SimFault>("fault");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("bytesRead");  // registers that arrived before the failure

    // After the open, transfer 0 sets the register pointer, 1 is its status; byte i is transfer
    // 2 + 2i with its status at 3 + 2i; 514 is the closing status query.
    const SimFault nak = SimFault::answer(2);
    const SimFault idle = SimFault::answer(0);
    const SimFault io = SimFault::failure(-1, "Input/Output Error");
    QTest::newRow("-2: no acknowledgement of the set-up") << 1 << nak << NotFoundLine << 0;
    QTest::newRow("-2: set-up status without its byte")
        << 1 << SimFault::noData() << NotFoundLine << 0;
    QTest::newRow("-4: set-up transfer fails") << 0 << io << "Error: Input/Output Error" << 0;
    QTest::newRow("-3: no acknowledgement of byte 0x20")
        << 3 + 2 * 0x20 << idle << NotCompleteLine << 0x21;
    QTest::newRow("-3: no acknowledgement of the last byte")
        << 513 << nak << NotCompleteLine << 256;
    QTest::newRow("-3: closing status not acknowledged") << 514 << nak << NotCompleteLine << 256;
    QTest::newRow("-6: first byte fails")
        << 2 << SimFault::failure(-4, "No such device (it may have been disconnected)")
        << "Error: No such device (it may have been disconnected)" << 0;
    QTest::newRow("-6: byte 0x20 times out")
        << 2 + 2 * 0x20 << SimFault::timeout() << "Error: Operation timed out" << 0x20;
    QTest::newRow("-5: last byte fails") << 512 << io << "Error: Input/Output Error" << 255;
}

void TestDiscovery::readFailures() {
    QFETCH(int, transfer);
    QFETCH(SimFault, fault);
    QFETCH(QString, message);
    QFETCH(int, bytesRead);
    WindowFixture f;
    load(*f.chip, chipContents(0));
    f.open();
    load(*f.chip, chipContents(1));
    const Registers before = f.session().image.bytes;
    const QStringList gridBefore = shownGrid(*f.window);
    const SolverRecord solverBefore = f.session().solver;
    f.ui().leF1->setText("1234.50000");

    f.usb->injectFault(OpenTransfers + transfer, fault);
    f.ui().actionOpen->trigger();

    QCOMPARE(f.ui().statusBar->currentMessage(), message);
    Registers expected = before;
    for (int reg = 0; reg < bytesRead; ++reg)
        expected[std::size_t(reg)] = chipContents(1)[std::size_t(reg)];
    QCOMPARE(texts(f.session().image.bytes), texts(expected));
    // The action stops at the failure: no refresh, no write, nothing copied to the solver.
    QCOMPARE(shownGrid(*f.window), gridBefore);
    // Nothing after the failure but, up to the last byte, the end of the transaction.
    const bool ended = transfer < 513;
    QCOMPARE(int(f.usb->transfers().size()), OpenTransfers + transfer + 1 + (ended ? 1 : 0));
    if (ended)
        QCOMPARE(describe({f.usb->transfers().back()}), QStringList{expectedOpen(0x69)});
    QCOMPARE(f.session().solver.divider1, solverBefore.divider1);
    QCOMPARE(f.session().solver.divider2, solverBefore.divider2);
    QCOMPARE(f.ui().leF1->text(), QString("1234.50000"));
    QCOMPARE(f.usb->openHandleCount(), 1);  // the handle stays open
    QVERIFY(f.session().adapter.handle != nullptr);
}

void TestDiscovery::startUp() {
    WindowFixture f;
    const Registers chip = chipContents(0);
    load(*f.chip, chip);
    f.open();

    Registers expected = chip;
    expected[0x13] = 0x40;
    QCOMPARE(texts(f.session().image.bytes), texts(expected));
    QCOMPARE(texts(f.chip->registers()), texts(expected));
    QCOMPARE(shownGrid(*f.window), gridTexts(expected));

    // Read everything, force CAPLOAD, then the grid writes its eleven registers back.
    QStringList sequence{expectedOpen(DefaultChipAddress)};
    sequence << expectedRead(DefaultChipAddress, chip);
    sequence << expectedWrite(DefaultChipAddress, 0x13, 0x40);
    for (const auto& [reg, value] : gridWrites(expected))
        sequence << expectedWrite(DefaultChipAddress, quint8(reg), quint8(value));
    QCOMPARE(describe(f.startUpTransfers), sequence);

    QCOMPARE(f.session().solver.divider1, 0x8A & 0x7F);
    QCOMPARE(f.session().solver.divider2, 0x8C & 0x7F);
    QCOMPARE(f.ui().DeviceAddresscomboBox->currentText(), QString("0x69"));
    QCOMPARE(entries(f.ui().USBcomboBox),
             QStringList{"BUS_001-DEV_004-VID_0403-PID_C631 - Simulated Adapters - i2c-tiny-usb"});
    QCOMPARE(f.ui().statusBar->currentMessage(), SuccessLine);
    QCOMPARE(f.usb->openHandleCount(), 1);
    // The targets were reset to "0.0" before the last frequency refresh.
    const QString f1 = f.ui().leF1->text();
    const QString f2 = f.ui().leF2->text();
    QCOMPARE(f1, zeroTargetShown(f, f.ui().leF1));
    QCOMPARE(f2, zeroTargetShown(f, f.ui().leF2));
}

void TestDiscovery::startUpOnEveryFirmware_data() {
    QTest::addColumn<QString>("firmware");
    for (const SimFirmwareProfile& p : SimFirmware::Profiles)
        QTest::newRow(p.name) << p.name;
}

// The start-up scan reads and writes the chip whatever request type the adapter answers: a
// stalled class request at the open makes it a vendor one, and the rest follows in that type.
void TestDiscovery::startUpOnEveryFirmware() {
    QFETCH(QString, firmware);
    const SimFirmwareProfile& profile = *SimFirmware::find(firmware.toStdString());
    WindowFixture f(WindowFixture::Start::WithAdapter, profile);
    const Registers chip = chipContents(0);
    load(*f.chip, chip);
    f.open();

    Registers expected = chip;
    expected[0x13] = 0x40;
    QCOMPARE(f.ui().statusBar->currentMessage(), SuccessLine);
    QCOMPARE(texts(f.session().image.bytes), texts(expected));
    QCOMPARE(texts(f.chip->registers()), texts(expected));

    QStringList sequence = expectedRead(DefaultChipAddress, chip);
    sequence << expectedWrite(DefaultChipAddress, 0x13, 0x40);
    for (const auto& [reg, value] : gridWrites(expected))
        sequence << expectedWrite(DefaultChipAddress, quint8(reg), quint8(value));
    QStringList opening{expectedOpen(DefaultChipAddress)};
    if (!profile.answersClassRequests) {
        sequence.replaceInStrings("type 0x20", "type 0x40")
            .replaceInStrings("type 0xA0", "type 0xC0");
        opening << QString(opening.first()).replace("type 0x20", "type 0x40");
    }
    QCOMPARE(describe(f.startUpTransfers), opening + sequence);
}

void TestDiscovery::afterSuccessfulOpen_data() {
    QTest::addColumn<Action>("action");
    QTest::addColumn<bool>("forcesCapLoad");
    QTest::addColumn<bool>("resetsTargets");
    QTest::newRow("Scan") << Action::Scan << true << true;
    QTest::newRow("Open") << Action::Open << false << false;
}

void TestDiscovery::afterSuccessfulOpen() {
    QFETCH(Action, action);
    QFETCH(bool, forcesCapLoad);
    QFETCH(bool, resetsTargets);
    WindowFixture f;
    f.open();
    const Registers chip = chipContents(1);
    load(*f.chip, chip);
    f.ui().leF1->setText("1234.50000");
    f.ui().leF2->setText("2345.50000");
    f.session().solver.divider1 = 0;
    f.session().solver.divider2 = 0;
    QSignalSpy f1Texts(f.ui().leF1, &QLineEdit::textChanged);
    QSignalSpy f2Texts(f.ui().leF2, &QLineEdit::textChanged);

    trigger(f, action);

    Registers expected = chip;
    std::vector<std::pair<int, int>> writes;
    if (forcesCapLoad) {
        expected[0x13] = 0x40;
        writes.emplace_back(0x13, 0x40);
    }
    for (const auto& w : gridWrites(expected))
        writes.push_back(w);
    QCOMPARE(texts(f.session().image.bytes), texts(expected));
    QCOMPARE(texts(f.chip->registers()), texts(expected));
    QCOMPARE(writeTexts(f.writes()), writeTexts(writes));
    QCOMPARE(shownGrid(*f.window), gridTexts(expected));
    QCOMPARE(f.session().solver.divider1, 0x0B);
    QCOMPARE(f.session().solver.divider2, 0x0E);
    QCOMPARE(f.ui().statusBar->currentMessage(), SuccessLine);
    if (resetsTargets) {
        QVERIFY(spiedTexts(f1Texts).contains("0.0"));
        QVERIFY(spiedTexts(f2Texts).contains("0.0"));
        const QString f1 = f.ui().leF1->text();
        const QString f2 = f.ui().leF2->text();
        QCOMPARE(f1, zeroTargetShown(f, f.ui().leF1));
        QCOMPARE(f2, zeroTargetShown(f, f.ui().leF2));
    } else {
        QCOMPARE(spiedTexts(f1Texts), QStringList());
        QCOMPARE(spiedTexts(f2Texts), QStringList());
        QCOMPARE(f.ui().leF1->text(), QString("1234.50000"));
        QCOMPARE(f.ui().leF2->text(), QString("2345.50000"));
    }
}

void TestDiscovery::addressChangeRescansAtTheNewAddress() {
    WindowFixture f;
    load(*f.chip, chipContents(0));
    f.chip->setI2cAddress(0x68);
    f.open();
    QCOMPARE(f.ui().statusBar->currentMessage(), NotFoundLine);  // nothing answers at 0x69
    QCOMPARE(f.usb->openHandleCount(), 1);
    const int opensBefore = f.usb->openCount();

    QTest::keyClick(f.ui().DeviceAddresscomboBox, Qt::Key_Up);
    QCOMPARE(f.ui().DeviceAddresscomboBox->currentText(), QString("0x68"));

    // One scan: the adapter opened once for its strings and once for use, one read.
    QCOMPARE(f.usb->openCount() - opensBefore, 2);
    QCOMPARE(f.usb->openHandleCount(), 1);  // the earlier handle was closed
    QCOMPARE(countRequests(f.usb->transfers(), 5), 1);
    QCOMPARE(addressedDevices(f.usb->transfers()), QSet<QString>{deviceKey(1, 4)});
    for (const SimTransfer& t : f.usb->transfers())
        if (t.request != 3)
            QCOMPARE(int(t.index), 0x68);
    QCOMPARE(int(f.session().adapter.i2cAddress), 0x68);
    QCOMPARE(f.ui().statusBar->currentMessage(), SuccessLine);
    Registers expected = chipContents(0);
    expected[0x13] = 0x40;
    QCOMPARE(texts(f.session().image.bytes), texts(expected));
    QCOMPARE(texts(f.chip->registers()), texts(expected));
}

void TestDiscovery::statusBarAfterOpen_data() {
    QTest::addColumn<Action>("action");
    QTest::addColumn<int>("pbLow");         // register 0x41 of the chip: sets the PLL frequency
    QTest::addColumn<int>("failingWrite");  // transfer number of a write that fails, -1 none
    QTest::addColumn<QString>("warning");   // the PLL warning that the refresh shows

    const QString low = QStringLiteral("Warning: unstable LOW PLL frequency!");
    const QString high = QStringLiteral("Warning: unstable HIGH PLL frequency!");
    // PB 16: 200 MHz, stable. PB 0: 40 MHz. PB 255: 2.59 GHz.
    constexpr int stable = 0x10;
    // After the open (transfer 0) and the read (1 to 515) the Scan writes 0x13 and then the grid's
    // registers, the Open the grid's registers alone; each write is followed by its status query.
    QTest::newRow("Scan, nothing reported") << Action::Scan << stable << -1 << QString();
    QTest::newRow("Open, nothing reported") << Action::Open << stable << -1 << QString();
    QTest::newRow("Scan, PLL too low") << Action::Scan << 0x00 << -1 << low;
    QTest::newRow("Open, PLL too low") << Action::Open << 0x00 << -1 << low;
    QTest::newRow("Open, PLL too high") << Action::Open << 0xFF << -1 << high;
    QTest::newRow("Scan, the CAPLOAD write fails")
        << Action::Scan << stable << OpenTransfers + ReadTransfers << QString();
    QTest::newRow("Scan, a grid write fails")
        << Action::Scan << stable << OpenTransfers + ReadTransfers + 2 + 2 * ShownRow13
        << QString();
    QTest::newRow("Open, a grid write fails")
        << Action::Open << stable << OpenTransfers + ReadTransfers + 2 * ShownRow13 << QString();
    QTest::newRow("Open, the last grid write fails")
        << Action::Open << stable
        << OpenTransfers + ReadTransfers + 2 * (int(ShownRegisters.size()) - 1) << QString();
}

void TestDiscovery::statusBarAfterOpen() {
    QFETCH(Action, action);
    QFETCH(int, pbLow);
    QFETCH(int, failingWrite);
    QFETCH(QString, warning);
    WindowFixture f;
    Registers chip = chipContents(0);
    chip[0x41] = quint8(pbLow);
    load(*f.chip, chip);
    f.open();
    const QString error = QStringLiteral("Error: Operation timed out");
    if (failingWrite >= 0)
        f.usb->injectFault(failingWrite, SimFault::timeout());
    QSignalSpy messages(f.ui().statusBar, &QStatusBar::messageChanged);

    trigger(f, action);

    QVERIFY(spiedTexts(messages).contains(SuccessLine));  // the read itself succeeded
    if (!warning.isEmpty()) {
        QCOMPARE(f.ui().statusBar->currentMessage(), warning);
        return;
    }
    if (failingWrite < 0) {
        QCOMPARE(f.ui().statusBar->currentMessage(), SuccessLine);
        return;
    }
    QVERIFY(int(f.usb->transfers().size()) > failingWrite);
    QCOMPARE(int(f.usb->transfers().at(std::size_t(failingWrite)).request), 7);
    // The refreshes after the failed write clear the bar; the failure comes back at the end.
    QCOMPARE(f.ui().statusBar->currentMessage(), error);
}

void TestDiscovery::closingWindowClosesDevice_data() {
    QTest::addColumn<int>("chipAddress");
    QTest::addColumn<QString>("message");
    QTest::newRow("chip read") << int(DefaultChipAddress) << SuccessLine;
    QTest::newRow("chip not found, handle kept") << 0x50 << NotFoundLine;
}

void TestDiscovery::closingWindowClosesDevice() {
    QFETCH(int, chipAddress);
    QFETCH(QString, message);
    WindowFixture f;
    load(*f.chip, chipContents(0));
    f.chip->setI2cAddress(quint8(chipAddress));
    f.open();
    QCOMPARE(f.ui().statusBar->currentMessage(), message);
    QCOMPARE(f.usb->openHandleCount(), 1);

    f.window.reset();

    QCOMPARE(f.usb->openHandleCount(), 0);
    QVERIFY(f.usb->transfers().empty());  // nothing is written on the way out
}

QTEST_MAIN(TestDiscovery)
#include "tst_discovery.moc"
