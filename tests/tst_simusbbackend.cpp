// SPDX-License-Identifier: MIT
#include "simusbbackend.h"

#include <QtTest>

#include <memory>
#include <string>

// The simulated USB world that the transport and discovery tests stand on.
class TestSimUsbBackend : public QObject {
    Q_OBJECT

private slots:
    void bussesInEnumerationOrder();
    void rescanTakesASnapshot();
    void unpluggedDeviceDoesNotOpen();
    void strings_data();
    void strings();
    void changedStringsAreReadFromThen();
    void openFailsWithItsText();
    void failedInitLeavesNoBusses();
    void adapterAnswersItsRequests_data();
    void adapterAnswersItsRequests();
    void deviceWithoutChipStalls();
    void firmwareProfiles_data();
    void firmwareProfiles();
    void beginOnABusLeftOpenMakesNoStart();
    void statusReportsTheAddressAcknowledgeOnly();
};

namespace {
std::string key(const UsbDeviceInfo& d) {
    return std::to_string(d.busNumber) + "/" + std::to_string(d.deviceNumber);
}

unsigned char statusOf(SimUsbBackend& usb, UsbHandle* h) {
    unsigned char status = 0xEE;
    usb.controlTransfer(h, 0xA0, 3, 0, 0, &status, 1, 1000);
    return status;
}
}  // namespace

void TestSimUsbBackend::bussesInEnumerationOrder() {
    SimUsbBackend usb;
    usb.init();
    usb.plug(SimDevice::other(3, 1, 0x1D6B, 0x0002));
    usb.plug(SimDevice::adapter(1, 2, std::make_shared<SimCy22150>()));
    usb.plug(SimDevice::other(3, 5, 0x046D, 0xC52B));
    usb.rescan();
    const std::vector<UsbBus> busses = usb.busses();
    QCOMPARE(int(busses.size()), 2);
    QCOMPARE(busses[0].number, 3);
    QCOMPARE(int(busses[0].devices.size()), 2);
    QCOMPARE(key(busses[0].devices[0]), std::string("3/1"));
    QCOMPARE(key(busses[0].devices[1]), std::string("3/5"));
    QCOMPARE(int(busses[0].devices[1].vendorId), 0x046D);
    QCOMPARE(int(busses[0].devices[1].productId), 0xC52B);
    QCOMPARE(busses[1].number, 1);
    QCOMPARE(int(busses[1].devices.size()), 1);
    QCOMPARE(int(busses[1].devices[0].vendorId), 0x0403);
    QCOMPARE(int(busses[1].devices[0].productId), 0xC631);
    QCOMPARE(busses[0].devices[0].key, 0);
    QCOMPARE(busses[0].devices[1].key, 2);
    QCOMPARE(busses[1].devices[0].key, 1);
}

void TestSimUsbBackend::rescanTakesASnapshot() {
    SimUsbBackend usb;
    usb.init();
    usb.plug(SimDevice::other(1, 1, 0x1D6B, 0x0002));
    usb.rescan();
    usb.plug(SimDevice::adapter(1, 7, std::make_shared<SimCy22150>()));
    QCOMPARE(int(usb.busses().at(0).devices.size()), 1);
    UsbDeviceInfo late = usb.busses().at(0).devices.at(0);
    late.key = 1;  // where the late device will stand after the next rescan
    QVERIFY(usb.open(late) == nullptr);
    QCOMPARE(usb.lastError(), std::string("No such device (it may have been disconnected)"));

    usb.rescan();
    QCOMPARE(int(usb.busses().at(0).devices.size()), 2);
    UsbHandle* h = usb.open(usb.busses().at(0).devices.at(1));
    QVERIFY(h != nullptr);
    QCOMPARE(usb.openHandleCount(), 1);
    usb.close(h);
    QCOMPARE(usb.openHandleCount(), 0);
}

void TestSimUsbBackend::unpluggedDeviceDoesNotOpen() {
    SimUsbBackend usb;
    usb.init();
    const int id = usb.plug(SimDevice::adapter(1, 2, std::make_shared<SimCy22150>()));
    usb.rescan();
    const UsbDeviceInfo adapter = usb.busses().at(0).devices.at(0);
    usb.unplug(id);
    QCOMPARE(int(usb.busses().size()), 1);  // still listed until the next rescan
    QVERIFY(usb.open(adapter) == nullptr);
    QCOMPARE(usb.lastError(), std::string("No such device (it may have been disconnected)"));
    usb.rescan();
    QVERIFY(usb.busses().empty());
}

void TestSimUsbBackend::strings_data() {
    QTest::addColumn<int>("kind");  // SimString::Kind
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("text");  // the string read, or lastError() after a failure
    QTest::newRow("present") << int(SimString::Kind::Present) << 1 << 4 << "Acme";
    QTest::newRow("absent") << int(SimString::Kind::Absent) << 0 << -2 << "Invalid parameter";
    QTest::newRow("unreadable") << int(SimString::Kind::Unreadable) << 1 << -9 << "Acme";
}

void TestSimUsbBackend::strings() {
    QFETCH(int, kind);
    QFETCH(int, index);
    QFETCH(int, result);
    QFETCH(QString, text);
    SimDevice device = SimDevice::other(2, 3, 0x1234, 0x5678);
    device.manufacturer = {SimString::Kind(kind), "Acme"};
    SimUsbBackend usb;
    usb.init();
    usb.plug(device);
    usb.rescan();
    const UsbDeviceInfo info = usb.busses().at(0).devices.at(0);
    QCOMPARE(int(info.manufacturerIndex), index);
    QCOMPARE(int(info.productIndex), 0);
    UsbHandle* h = usb.open(info);
    QVERIFY(h != nullptr);
    std::string read;
    QCOMPARE(usb.readString(h, 1, read), result);
    QCOMPARE(QString::fromStdString(result >= 0 ? read : usb.lastError()), text);
    usb.close(h);
}

void TestSimUsbBackend::changedStringsAreReadFromThen() {
    SimUsbBackend usb;
    usb.init();
    const int id = usb.plug(SimDevice::adapter(1, 2, std::make_shared<SimCy22150>()));
    usb.rescan();
    const UsbDeviceInfo info = usb.busses().at(0).devices.at(0);
    usb.setStrings(id, SimString::present("Other Maker"), SimString::present("Other Product"));
    UsbHandle* h = usb.open(info);
    QVERIFY(h != nullptr);
    std::string manufacturer;
    std::string product;
    QCOMPARE(usb.readString(h, info.manufacturerIndex, manufacturer), 11);
    QCOMPARE(usb.readString(h, info.productIndex, product), 13);
    QCOMPARE(manufacturer, std::string("Other Maker"));
    QCOMPARE(product, std::string("Other Product"));
    usb.close(h);
}

void TestSimUsbBackend::openFailsWithItsText() {
    SimDevice device = SimDevice::adapter(1, 2, std::make_shared<SimCy22150>());
    device.openError = "Access denied (insufficient permissions)";
    SimUsbBackend usb;
    usb.init();
    usb.plug(device);
    usb.rescan();
    QVERIFY(usb.open(usb.busses().at(0).devices.at(0)) == nullptr);
    QCOMPARE(usb.lastError(), device.openError);
    QCOMPARE(usb.openHandleCount(), 0);
    QCOMPARE(usb.openCount(), 0);
}

void TestSimUsbBackend::failedInitLeavesNoBusses() {
    SimUsbBackend usb;
    usb.failInit("Other error");
    usb.plug(SimDevice::adapter(1, 2, std::make_shared<SimCy22150>()));
    usb.init();
    usb.rescan();
    QVERIFY(usb.busses().empty());
    QCOMPARE(usb.lastError(), std::string("Other error"));
}

void TestSimUsbBackend::adapterAnswersItsRequests_data() {
    QTest::addColumn<int>("chipAddress");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("registerAfter");
    QTest::newRow("chip at the address") << 0x69 << 1 << 0xAB;
    QTest::newRow("chip elsewhere") << 0x50 << 2 << 0x00;
}

void TestSimUsbBackend::adapterAnswersItsRequests() {
    QFETCH(int, chipAddress);
    QFETCH(int, status);
    QFETCH(int, registerAfter);
    auto chip = std::make_shared<SimCy22150>(quint8(chipAddress));
    chip->setRegisterValue(0x41, 0x5A);
    chip->setRegisterValue(0x42, 0xC3);
    SimUsbBackend usb;
    usb.init();
    usb.plug(SimDevice::adapter(1, 2, chip));
    usb.rescan();
    UsbHandle* h = usb.open(usb.busses().at(0).devices.at(0));
    QCOMPARE(int(statusOf(usb, h)), 0);  // idle before the first I2C transfer

    unsigned char write[2] = {0x40, 0xAB};
    QCOMPARE(usb.controlTransfer(h, 0x20, 7, 0, 0x69, write, 2, 1000), 2);
    QCOMPARE(int(statusOf(usb, h)), status);
    QCOMPARE(int(chip->registerValue(0x40)), registerAfter);

    unsigned char pointer = 0x41;
    QCOMPARE(usb.controlTransfer(h, 0x20, 5, 0, 0x69, &pointer, 1, 1000), 1);
    QCOMPARE(int(statusOf(usb, h)), status);
    unsigned char bytes[2] = {0, 0};
    QCOMPARE(usb.controlTransfer(h, 0xA0, 4, 1, 0x69, &bytes[0], 1, 1000), 1);
    QCOMPARE(usb.controlTransfer(h, 0xA0, 6, 1, 0x69, &bytes[1], 1, 1000), 1);
    QCOMPARE(int(statusOf(usb, h)), status);
    QCOMPARE(int(bytes[0]), status == 1 ? 0x5A : 0xFF);
    QCOMPARE(int(bytes[1]), status == 1 ? 0xC3 : 0xFF);

    // A request the firmware does not know is stalled.
    QCOMPARE(usb.controlTransfer(h, 0x20, 9, 0, 0x69, write, 1, 1000), -9);
    QCOMPARE(usb.lastError(), std::string("Pipe error"));
    QCOMPARE(int(usb.transfers().size()), 9);
    usb.close(h);
}

void TestSimUsbBackend::deviceWithoutChipStalls() {
    SimUsbBackend usb;
    usb.init();
    usb.plug(SimDevice::other(1, 1, 0x0403, 0x6001));
    usb.rescan();
    UsbHandle* h = usb.open(usb.busses().at(0).devices.at(0));
    unsigned char status = 0xEE;
    QCOMPARE(usb.controlTransfer(h, 0xA0, 3, 0, 0, &status, 1, 1000), -9);
    QCOMPARE(int(status), 0xEE);
    QCOMPARE(usb.transfers().at(0).busNumber, 1);
    QVERIFY(usb.transfers().at(0).data.empty());
    usb.close(h);
}

namespace {
struct Adapter {
    std::shared_ptr<SimCy22150> chip = std::make_shared<SimCy22150>();
    SimUsbBackend usb;
    UsbHandle* h = nullptr;

    explicit Adapter(const SimFirmwareProfile& firmware = SimFirmware::original()) {
        usb.init();
        usb.plug(SimDevice::adapter(1, 2, chip, firmware));
        usb.rescan();
        h = usb.open(usb.busses().at(0).devices.at(0));
    }
    ~Adapter() { usb.close(h); }
    int out(quint8 request, std::vector<unsigned char> data, quint8 type = 0x20) {
        return usb.controlTransfer(h, type, request, 0, 0x69, data.data(), quint16(data.size()),
                                   1000);
    }
};
}  // namespace

void TestSimUsbBackend::firmwareProfiles_data() {
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<int>("type");  // device to host
    QTest::addColumn<bool>("answered");
    QTest::newRow("original, class") << "original" << 0xA0 << true;
    QTest::newRow("original, vendor") << "original" << 0xC0 << true;
    QTest::newRow("vendor-only, class") << "vendor-only" << 0xA0 << false;
    QTest::newRow("vendor-only, vendor") << "vendor-only" << 0xC0 << true;
}

// Every firmware reports the same functionality word; which request types it answers is its own.
void TestSimUsbBackend::firmwareProfiles() {
    QFETCH(QString, firmware);
    QFETCH(int, type);
    QFETCH(bool, answered);
    Adapter a{*SimFirmware::find(firmware.toStdString())};
    unsigned char word[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    QCOMPARE(a.usb.controlTransfer(a.h, quint8(type), 1, 0, 0, word, 4, 1000), answered ? 4 : -9);
    const std::vector<quint8> expected =
        answered ? std::vector<quint8>{0x01, 0x00, 0xFF, 0x8E} : std::vector<quint8>(4, 0xEE);
    QCOMPARE(std::vector<quint8>(word, word + 4), expected);
    unsigned char echo[2] = {0, 0};
    QCOMPARE(a.usb.controlTransfer(a.h, quint8(type), 0, 0x1234, 0, echo, 2, 1000),
             answered ? 2 : -9);
    QCOMPARE(a.out(7, {0x40, 0xAB}, quint8(type & 0x7F)), answered ? 2 : -9);
    QCOMPARE(int(a.chip->registerValue(0x40)), answered ? 0xAB : 0x00);
}

// A read's set-up begins a transaction; when nothing ends it, the next begin makes no START and
// the address byte and the data reach the chip as data of the open transaction.
void TestSimUsbBackend::beginOnABusLeftOpenMakesNoStart() {
    for (bool ended : {false, true}) {
        Adapter a;
        QCOMPARE(a.out(5, {0x00}), 1);
        if (ended)
            QCOMPARE(a.out(6, {}), 0);  // repeated START, address, STOP
        QCOMPARE(a.out(7, {0x0C, 0x82}), 2);
        QCOMPARE(int(statusOf(a.usb, a.h)), 1);
        std::array<quint8, 256> expected{};
        if (ended) {
            expected[0x0C] = 0x82;
        } else {
            expected[0x00] = 0xD2;
            expected[0x01] = 0x0C;
            expected[0x02] = 0x82;
        }
        QCOMPARE(a.chip->registers(), expected);
    }
}

void TestSimUsbBackend::statusReportsTheAddressAcknowledgeOnly() {
    Adapter a;
    a.chip->setRefusesData(true);
    QCOMPARE(a.out(7, {0x0C, 0x82}), 2);
    QCOMPARE(int(statusOf(a.usb, a.h)), 1);
    QCOMPARE(int(a.chip->registerValue(0x0C)), 0x00);
}

QTEST_APPLESS_MAIN(TestSimUsbBackend)
#include "tst_simusbbackend.moc"
