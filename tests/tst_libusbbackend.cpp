// SPDX-License-Identifier: MIT
#include "usb/libusbbackend.h"

#include <QtTest>

#include <set>
#include <string>

// The libusb-1.0 backend on whatever machine runs the tests, usually one without USB devices:
// it must list what there is, or nothing, and fail cleanly where there is nothing to use.
class TestLibUsbBackend : public QObject {
    Q_OBJECT

private slots:
    void enumerationIsConsistent();
    void nothingToOpen();
    void transfersWithoutHandleFail();
    void withoutInitEverythingFails();
    void lockFileIsTheUsbfsNode();
};

void TestLibUsbBackend::enumerationIsConsistent() {
    LibUsbBackend usb;
    usb.init();
    usb.rescan();
    std::set<int> busNumbers;
    std::set<int> keys;
    for (const UsbBus& bus : usb.busses()) {
        QVERIFY(bus.number >= 0 && bus.number <= 255);
        QVERIFY(busNumbers.insert(bus.number).second);  // each bus once
        QVERIFY(!bus.devices.empty());
        for (const UsbDeviceInfo& device : bus.devices) {
            QCOMPARE(device.busNumber, bus.number);
            QVERIFY(device.deviceNumber >= 0 && device.deviceNumber <= 255);
            QVERIFY(device.key >= 0);
            QVERIFY(keys.insert(device.key).second);
        }
    }
    usb.rescan();  // a second enumeration releases the first
    QCOMPARE(int(usb.busses().size()), int(busNumbers.size()));
    // An empty enumeration names the situation rather than libusb's "Success".
    if (usb.busses().empty())
        QCOMPARE(usb.lastError(), std::string(LibUsbBackend::NoDevicesText));
}

void TestLibUsbBackend::nothingToOpen() {
    LibUsbBackend usb;
    usb.init();
    usb.rescan();
    UsbDeviceInfo none;  // key -1: no device of any enumeration
    QVERIFY(usb.open(none) == nullptr);
    QCOMPARE(usb.lastError(), std::string("No such device (it may have been disconnected)"));
    UsbDeviceInfo beyond;
    beyond.key = 100000;
    QVERIFY(usb.open(beyond) == nullptr);
}

void TestLibUsbBackend::transfersWithoutHandleFail() {
    LibUsbBackend usb;
    usb.init();
    unsigned char status = 0xEE;
    QVERIFY(usb.controlTransfer(nullptr, 0xA0, 3, 0, 0, &status, 1, 1000) < 0);
    QCOMPARE(usb.lastError(), std::string("Invalid parameter"));
    QCOMPARE(int(status), 0xEE);
    std::string text = "unchanged";
    QVERIFY(usb.readString(nullptr, 1, text) < 0);
    QCOMPARE(text, std::string("unchanged"));
    usb.close(nullptr);  // closing nothing is harmless
    QCOMPARE(usb.lastError(), std::string("Invalid parameter"));
}

void TestLibUsbBackend::withoutInitEverythingFails() {
    LibUsbBackend usb;
    usb.rescan();
    QVERIFY(usb.busses().empty());
    UsbDeviceInfo first;
    first.key = 0;
    QVERIFY(usb.open(first) == nullptr);
    QVERIFY(!usb.lastError().empty());
}

// The file that programs lock an adapter by is the device's node, which every program that may
// use the device can open.
void TestLibUsbBackend::lockFileIsTheUsbfsNode() {
    LibUsbBackend usb;
    UsbDeviceInfo device;
    device.busNumber = 1;
    device.deviceNumber = 4;
    QCOMPARE(usb.lockPath(device), std::string("/dev/bus/usb/001/004"));
    device.busNumber = 12;
    device.deviceNumber = 127;
    QCOMPARE(usb.lockPath(device), std::string("/dev/bus/usb/012/127"));
}

QTEST_APPLESS_MAIN(TestLibUsbBackend)
#include "tst_libusbbackend.moc"
