// SPDX-License-Identifier: MIT
#include "emulatedusb.h"
#include "usb/libusbbackend.h"

#include <QtTest>

#include <dlfcn.h>

#include <cstdint>
#include <tuple>
#include <vector>

// The libusb-1.0 backend over the real libusb-1.0 on a machine whose USB is emulated: libusb
// reads the devices from sysfs and moves every transfer through usbfs ioctls, so what it makes
// of them reaches our interface as it would from real devices.
class TestLibUsbEmulated : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void listsEveryDeviceInLibusbOrder();
    void readsStrings_data();
    void readsStrings();
    void controlTransfers_data();
    void controlTransfers();
    void unansweredTransferTimesOutAndLeavesNothingBehind();
    void silentDeviceIsListedAndItsStringsFailSoon();
    void deviceWithoutNodeCannotBeOpened();
};

struct libusb_device_handle;

namespace {
// The control transfers that the backend hands to libusb-1.0, one line each.
QStringList libusbRequests;

QString describeRequest(int requestType, int request, int value, int index, int length,
                        unsigned timeoutMs) {
    return QString::asprintf(
        "type 0x%02X req %d value 0x%04X index 0x%04X length %d "
        "timeout %u ms",
        requestType, request, value, index, length, timeoutMs);
}
}  // namespace

// The backend's control transfers pass through here on their way to libusb-1.0, so that the
// tests see the time-out that each request is given; libusb and the emulation do the rest.
extern "C" int libusb_control_transfer(libusb_device_handle* handle, std::uint8_t requestType,
                                       std::uint8_t request, std::uint16_t value,
                                       std::uint16_t index, unsigned char* data,
                                       std::uint16_t length, unsigned int timeout) {
    using Transfer = int (*)(libusb_device_handle*, std::uint8_t, std::uint8_t, std::uint16_t,
                             std::uint16_t, unsigned char*, std::uint16_t, unsigned int);
    static const auto libusb =
        reinterpret_cast<Transfer>(dlsym(RTLD_NEXT, "libusb_control_transfer"));
    libusbRequests << describeRequest(requestType, request, value, index, length, timeout);
    return libusb(handle, requestType, request, value, index, data, length, timeout);
}

namespace {
constexpr int ChipAddress = 0x69;
constexpr unsigned ShortTimeoutMs = 100;

// Bus 1: the adapter (1-1) and a card reader with non-ASCII strings and a line break (1-2); bus 2:
// a serial converter of the adapter's vendor (2-1) and an adapter without device node (2-2); bus
// 3: a mouse without strings (3-1), a device whose string requests stall (3-2) and one that does
// not answer them at all (3-3).
struct World {
    EmulatedUsb usb;
    std::shared_ptr<EmulatedDevice> adapter;
    std::shared_ptr<EmulatedDevice> serial;
    std::shared_ptr<EmulatedDevice> silent;

    World() {
        std::array<quint8, SimCy22150::RegisterCount> registers{};
        registers[0x00] = 0xC4;
        registers[0x41] = 0x33;
        adapter = usb.addAdapter(1, 4, quint8(ChipAddress), registers);
        usb.addDevice(EmulatedDeviceProfile::ordinary(
            1, 5, 0x05E3, 0x0749, "Generic\n\u00c9tude \U0001F600", "K\u00e4se Reader"));
        serial = usb.addDevice(
            EmulatedDeviceProfile::ordinary(2, 3, 0x0403, 0x6001, "FTDI", "FT232R USB UART"));
        EmulatedDeviceProfile gone = EmulatedUsb::adapterProfile(2, 9, quint8(ChipAddress));
        gone.hasDeviceNode = false;
        usb.addDevice(gone);
        usb.addDevice(EmulatedDeviceProfile::ordinary(3, 2, 0x046D, 0xC077, "", ""));
        EmulatedDeviceProfile mute =
            EmulatedDeviceProfile::ordinary(3, 7, 0x1234, 0x5678, "Mute", "Strings stall");
        mute.answersStringRequests = false;
        usb.addDevice(mute);
        EmulatedDeviceProfile silentProfile =
            EmulatedDeviceProfile::ordinary(3, 9, 0x1234, 0x9ABC, "Silent", "No answer");
        silentProfile.silentOnStringRequests = true;
        silent = usb.addDevice(silentProfile);
    }
};

// One machine for all tests: its devices are power-cycled before each.
std::unique_ptr<World> world;

UsbDeviceInfo findDevice(const LibUsbBackend& usb, int bus, int address) {
    for (const UsbBus& b : usb.busses())
        for (const UsbDeviceInfo& d : b.devices)
            if (d.busNumber == bus && d.deviceNumber == address)
                return d;
    return UsbDeviceInfo{};
}

struct OpenedDevice {
    LibUsbBackend usb;
    UsbHandle* handle = nullptr;

    OpenedDevice(int bus, int address) {
        usb.init();
        usb.rescan();
        handle = usb.open(findDevice(usb, bus, address));
    }
};

// readString's request for string `index` in `language`; index 0: the list of languages.
// The list of languages (index 0) is read for its first entry alone.
QString stringRequest(int index, int language) {
    return describeRequest(0x80, 6, 0x0300 | index, language, index == 0 ? 4 : 255, 100);
}

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray array;
    for (int v : values)
        array.append(char(v));
    return array;
}

QByteArray bytes(const std::vector<quint8>& values) {
    return QByteArray(reinterpret_cast<const char*>(values.data()), int(values.size()));
}
}  // namespace

void TestLibUsbEmulated::initTestCase() {
    QVERIFY2(EmulatedUsb::preloaded(), "run under umockdev-wrapper");
    world = std::make_unique<World>();
}

void TestLibUsbEmulated::init() {
    world->adapter->powerCycle();
    world->serial->powerCycle();
    world->silent->powerCycle();
    libusbRequests.clear();
}

void TestLibUsbEmulated::cleanupTestCase() {
    world.reset();
}

void TestLibUsbEmulated::listsEveryDeviceInLibusbOrder() {
    LibUsbBackend usb;
    usb.init();
    usb.rescan();
    // libusb-1.0 lists the devices in the reverse order of their sysfs names; the backend groups
    // them by bus in the order it meets the busses.
    using Row = std::tuple<int, int, int, int, int, int>;  // bus, device, VID, PID, strings
    const std::vector<Row> expected{{3, 9, 0x1234, 0x9ABC, 1, 2}, {3, 7, 0x1234, 0x5678, 1, 2},
                                    {3, 2, 0x046D, 0xC077, 0, 0}, {2, 9, 0x0403, 0xC631, 1, 2},
                                    {2, 3, 0x0403, 0x6001, 1, 2}, {1, 5, 0x05E3, 0x0749, 1, 2},
                                    {1, 4, 0x0403, 0xC631, 1, 2}};
    std::vector<Row> listed;
    std::vector<int> busOrder;
    for (const UsbBus& bus : usb.busses()) {
        busOrder.push_back(bus.number);
        for (const UsbDeviceInfo& d : bus.devices) {
            QCOMPARE(d.busNumber, bus.number);
            listed.emplace_back(d.busNumber, d.deviceNumber, d.vendorId, d.productId,
                                d.manufacturerIndex, d.productIndex);
        }
    }
    QCOMPARE(busOrder, (std::vector<int>{3, 2, 1}));
    QCOMPARE(listed, expected);
}

void TestLibUsbEmulated::readsStrings_data() {
    QTest::addColumn<int>("bus");
    QTest::addColumn<int>("device");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("text");  // the string, or the error text of a failed read
    QTest::addColumn<int>("requests");  // 1: the language list alone, 2: and the string

    QTest::newRow("adapter manufacturer") << 1 << 4 << 1 << 17 << "Vantrel emulation" << 2;
    QTest::newRow("adapter product") << 1 << 4 << 2 << 12 << "i2c-tiny-usb" << 2;
    // The device's UTF-16 as UTF-8 bytes, as it is: the device list makes it printable.
    QTest::newRow("non-ASCII product") << 1 << 5 << 2 << 12 << "K\u00e4se Reader" << 2;
    QTest::newRow("line break, accent and a character beyond the BMP")
        << 1 << 5 << 1 << 19 << "Generic\n\u00c9tude \U0001F600" << 2;
    QTest::newRow("index without string") << 1 << 4 << 3 << -9 << "Pipe error" << 2;
    QTest::newRow("string requests stall") << 3 << 7 << 1 << -9 << "Pipe error" << 1;
}

void TestLibUsbEmulated::readsStrings() {
    QFETCH(int, bus);
    QFETCH(int, device);
    QFETCH(int, index);
    QFETCH(int, result);
    QFETCH(QString, text);
    QFETCH(int, requests);
    OpenedDevice opened(bus, device);
    QVERIFY(opened.handle != nullptr);
    std::string read = "unchanged";
    QCOMPARE(opened.usb.readString(opened.handle, index, read), result);
    if (result > 0) {
        QCOMPARE(QString::fromStdString(read), text);
        QCOMPARE(int(read.size()), result);
    } else {
        QCOMPARE(QString::fromStdString(opened.usb.lastError()), text);
        QCOMPARE(read, std::string("unchanged"));
    }
    // The language list first, then the string in the first language, each with the short
    // time-out.
    QStringList expected{stringRequest(0, 0)};
    if (requests == 2)
        expected << stringRequest(index, 0x0409);
    QCOMPARE(libusbRequests, expected);
}

void TestLibUsbEmulated::controlTransfers_data() {
    QTest::addColumn<bool>("toAdapter");  // else to the serial converter
    QTest::addColumn<int>("requestType");
    QTest::addColumn<int>("request");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("out");  // the data stage of an OUT transfer
    QTest::addColumn<int>("inLength");    // the length of an IN transfer
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("in");  // what an IN transfer delivered
    QTest::addColumn<int>("status");     // the adapter's status afterwards
    QTest::addColumn<int>("register41");

    QTest::newRow("status before any I2C transfer")
        << true << 0xA0 << 3 << 0 << 0 << QByteArray() << 1 << 1 << bytes({0}) << 0 << 0x33;
    QTest::newRow("register write") << true << 0x20 << 7 << 0 << ChipAddress << bytes({0x41, 0x5A})
                                    << 0 << 2 << QByteArray() << 1 << 0x5A;
    QTest::newRow("register write to an absent chip")
        << true << 0x20 << 7 << 0 << 0x50 << bytes({0x41, 0x5A}) << 0 << 2 << QByteArray() << 2
        << 0x33;
    QTest::newRow("read pointer") << true << 0x20 << 5 << 0 << ChipAddress << bytes({0x41}) << 0
                                  << 1 << QByteArray() << 1 << 0x33;
    QTest::newRow("last byte of a read") << true << 0xA0 << 6 << 1 << ChipAddress << QByteArray()
                                         << 1 << 1 << bytes({0xC4}) << 1 << 0x33;
    QTest::newRow("request the adapter does not know")
        << true << 0xA0 << 9 << 0 << 0 << QByteArray() << 1 << -9 << QByteArray() << 0 << 0x33;
    QTest::newRow("adapter request to another device")
        << false << 0xA0 << 3 << 0 << 0 << QByteArray() << 1 << -9 << QByteArray() << 0 << 0x33;
}

void TestLibUsbEmulated::controlTransfers() {
    QFETCH(bool, toAdapter);
    QFETCH(int, requestType);
    QFETCH(int, request);
    QFETCH(int, value);
    QFETCH(int, index);
    QFETCH(QByteArray, out);
    QFETCH(int, inLength);
    QFETCH(int, result);
    QFETCH(QByteArray, in);
    QFETCH(int, status);
    QFETCH(int, register41);
    const std::shared_ptr<EmulatedDevice> device = toAdapter ? world->adapter : world->serial;
    OpenedDevice opened(device->profile().bus, device->profile().address);
    QVERIFY(opened.handle != nullptr);

    const bool isIn = requestType & 0x80;
    QByteArray buffer = isIn ? QByteArray(inLength, char(0xEE)) : out;
    const int moved = opened.usb.controlTransfer(
        opened.handle, quint8(requestType), quint8(request), quint16(value), quint16(index),
        reinterpret_cast<unsigned char*>(buffer.data()), quint16(buffer.size()), 1000);
    QCOMPARE(moved, result);
    if (result < 0)
        QCOMPARE(opened.usb.lastError(), std::string("Pipe error"));
    else if (isIn)
        QCOMPARE(buffer.left(result), in);

    const std::vector<ControlTransferRecord> seen = device->transfers();
    QCOMPARE(int(seen.size()), 1);
    QCOMPARE(int(seen[0].setup.requestType), requestType);
    QCOMPARE(int(seen[0].setup.request), request);
    QCOMPARE(int(seen[0].setup.value), value);
    QCOMPARE(int(seen[0].setup.index), index);
    QCOMPARE(int(seen[0].setup.length), int(buffer.size()));
    QCOMPARE(bytes(seen[0].data), isIn ? in : out);
    QCOMPARE(seen[0].outcome, result < 0 ? ControlTransferRecord::Outcome::Stalled
                                         : ControlTransferRecord::Outcome::Answered);

    if (toAdapter) {
        unsigned char statusByte = 0xEE;
        QCOMPARE(opened.usb.controlTransfer(opened.handle, 0xA0, 3, 0, 0, &statusByte, 1, 1000), 1);
        QCOMPARE(int(statusByte), status);
    }
    QCOMPARE(int(world->adapter->chipRegister(0x41)), register41);
}

void TestLibUsbEmulated::unansweredTransferTimesOutAndLeavesNothingBehind() {
    OpenedDevice opened(1, 4);
    QVERIFY(opened.handle != nullptr);
    world->adapter->stopAnsweringAfter(1);
    unsigned char status = 0xEE;
    QCOMPARE(opened.usb.controlTransfer(opened.handle, 0xA0, 3, 0, 0, &status, 1, ShortTimeoutMs),
             1);
    unsigned char write[2] = {0x41, 0x77};
    QCOMPARE(opened.usb.controlTransfer(opened.handle, 0x20, 7, 0, ChipAddress, write, 2,
                                        ShortTimeoutMs),
             -7);
    QCOMPARE(opened.usb.lastError(), std::string("Operation timed out"));
    QCOMPARE(int(world->adapter->chipRegister(0x41)), 0x33);

    // The discarded transfer is gone: the next ones get their own answers.
    world->adapter->resumeAnswering();
    QCOMPARE(opened.usb.controlTransfer(opened.handle, 0x20, 7, 0, ChipAddress, write, 2, 1000), 2);
    status = 0xEE;
    QCOMPARE(opened.usb.controlTransfer(opened.handle, 0xA0, 3, 0, 0, &status, 1, 1000), 1);
    QCOMPARE(int(status), 1);
    QCOMPARE(int(world->adapter->chipRegister(0x41)), 0x77);

    using Outcome = ControlTransferRecord::Outcome;
    std::vector<Outcome> outcomes;
    for (const ControlTransferRecord& t : world->adapter->transfers())
        outcomes.push_back(t.outcome);
    QCOMPARE(outcomes, (std::vector<Outcome>{Outcome::Answered, Outcome::Unanswered,
                                             Outcome::Answered, Outcome::Answered}));
}

// A device that never answers a string request is listed like any other, and reading its string
// ends with libusb's time-out after the first request, which is given the short time-out.
void TestLibUsbEmulated::silentDeviceIsListedAndItsStringsFailSoon() {
    OpenedDevice opened(3, 9);
    const UsbDeviceInfo listed = findDevice(opened.usb, 3, 9);
    QCOMPARE(int(listed.vendorId), 0x1234);
    QCOMPARE(int(listed.productId), 0x9ABC);
    QCOMPARE(int(listed.manufacturerIndex), 1);
    QVERIFY(opened.handle != nullptr);

    std::string read = "unchanged";
    QCOMPARE(opened.usb.readString(opened.handle, 1, read), -7);
    QCOMPARE(opened.usb.lastError(), std::string("Operation timed out"));
    QCOMPARE(read, std::string("unchanged"));
    QCOMPARE(libusbRequests, QStringList{stringRequest(0, 0)});

    const std::vector<ControlTransferRecord> seen = world->silent->transfers();
    QCOMPARE(int(seen.size()), 1);
    QCOMPARE(int(seen[0].setup.value), 0x0300);
    QCOMPARE(seen[0].outcome, ControlTransferRecord::Outcome::Unanswered);
}

void TestLibUsbEmulated::deviceWithoutNodeCannotBeOpened() {
    LibUsbBackend usb;
    usb.init();
    usb.rescan();
    const UsbDeviceInfo listed = findDevice(usb, 2, 9);
    QCOMPARE(int(listed.productId), 0xC631);  // listed from sysfs all the same
    QVERIFY(usb.open(listed) == nullptr);
    QCOMPARE(usb.lastError(), std::string("No such device (it may have been disconnected)"));
}

QTEST_APPLESS_MAIN(TestLibUsbEmulated)
#include "tst_libusbemulated.moc"
