// SPDX-License-Identifier: MIT
#include "common/printabletext.h"
#include "usb/deviceid.h"

#include <QtTest>

#include <optional>
#include <string>

Q_DECLARE_METATYPE(std::optional<std::string>)

class TestDeviceId : public QObject {
    Q_OBJECT

private slots:
    void identification_data();
    void identification();
    void listEntry_data();
    void listEntry();
    void printableText_data();
    void printableText();
    void parseIds_data();
    void parseIds();
    void entryMatchesDevice_data();
    void entryMatchesDevice();
    void addressText_data();
    void addressText();
    void parseAddress_data();
    void parseAddress();
    void addressRoundTrip();
};

namespace {
UsbDeviceInfo device(int bus, int number, quint16 vendorId, quint16 productId) {
    UsbDeviceInfo d;
    d.busNumber = bus;
    d.deviceNumber = number;
    d.vendorId = vendorId;
    d.productId = productId;
    return d;
}

const QString AdapterId = QStringLiteral("BUS_001-DEV_004-VID_0403-PID_C631");
}  // namespace

void TestDeviceId::identification_data() {
    QTest::addColumn<int>("bus");
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("vendorId");
    QTest::addColumn<int>("productId");
    QTest::addColumn<QString>("expected");
    QTest::newRow("adapter on bus 1") << 1 << 4 << 0x0403 << 0xC631 << AdapterId;
    QTest::newRow("all zero-filled") << 0 << 0 << 0 << 0 << "BUS_000-DEV_000-VID_0000-PID_0000";
    QTest::newRow("upper-case hex")
        << 12 << 99 << 0xabcd << 0x00ef << "BUS_012-DEV_099-VID_ABCD-PID_00EF";
    QTest::newRow("largest numbers")
        << 255 << 127 << 0xFFFF << 0xFFFF << "BUS_255-DEV_127-VID_FFFF-PID_FFFF";
    QTest::newRow("bus 1000 widens")
        << 1000 << 5 << 0x0403 << 0xC631 << "BUS_1000-DEV_005-VID_0403-PID_C631";
}

void TestDeviceId::identification() {
    QFETCH(int, bus);
    QFETCH(int, number);
    QFETCH(int, vendorId);
    QFETCH(int, productId);
    QFETCH(QString, expected);
    QCOMPARE(deviceIdentification(device(bus, number, quint16(vendorId), quint16(productId))),
             expected);
}

void TestDeviceId::listEntry_data() {
    using Text = std::optional<std::string>;
    QTest::addColumn<Text>("manufacturer");
    QTest::addColumn<Text>("product");
    QTest::addColumn<QString>("expected");

    const std::string m219(219, 'M');  // fills the entry to exactly 255 characters
    QTest::newRow("both strings") << Text("Acme") << Text("Widget")
                                  << AdapterId + " - Acme - Widget";
    QTest::newRow("manufacturer only") << Text("Acme") << Text() << AdapterId + " - Acme";
    QTest::newRow("product only") << Text() << Text("Widget") << AdapterId + " - Widget";
    QTest::newRow("no strings") << Text() << Text() << AdapterId;
    QTest::newRow("empty reads add nothing") << Text("") << Text("") << AdapterId;
    QTest::newRow("string ends at NUL")
        << Text(std::string("Ac\0me", 5)) << Text() << AdapterId + " - Ac";
    QTest::newRow("manufacturer fills the entry")
        << Text(m219) << Text("Widget") << AdapterId + " - " + QString::fromStdString(m219);
    QTest::newRow("long manufacturer cut") << Text(std::string(300, 'M')) << Text("Widget")
                                           << AdapterId + " - " + QString::fromStdString(m219);
    QTest::newRow("long product cut")
        << Text("Acme") << Text(std::string(300, 'P'))
        << AdapterId + " - Acme - " + QString(255 - 33 - 10, QLatin1Char('P'));
    QTest::newRow("product separator cut")
        << Text(std::string(218, 'M')) << Text("Widget")
        << AdapterId + " - " + QString(218, QLatin1Char('M')) + " ";
    // A character that would straddle the limit is left out whole.
    QTest::newRow("no half character at the cut")
        << Text(std::string(218, 'M') + "\xF0\x9F\x98\x80") << Text()
        << AdapterId + " - " + QString(218, QLatin1Char('M'));
    QTest::newRow("character fills the entry")
        << Text(std::string(217, 'M') + "\xF0\x9F\x98\x80") << Text()
        << AdapterId + " - " + QString(217, QLatin1Char('M')) +
               QString::fromUtf8("\xF0\x9F\x98\x80");

    // Device strings are UTF-8; what would break the line or is no UTF-8 is shown replaced.
    QTest::newRow("UTF-8") << Text("K\xC3\xA4se \xE2\x82\xAC") << Text("\xF0\x9F\x98\x80")
                           << AdapterId + QString::fromUtf8(" - K\u00e4se \u20ac - \U0001F600");
    QTest::newRow("line feed and carriage return")
        << Text("Acme\nCorp\r") << Text("Wid\tget")
        << AdapterId + QString::fromUtf8(" - Acme\u240aCorp\u240d - Wid\u2409get");
    QTest::newRow("escape and DEL")
        << Text("\x1B[2J\x7F") << Text() << AdapterId + QString::fromUtf8(" - \u241b[2J\u2421");
    QTest::newRow("C1 control and line separators")
        << Text(
               "a\xC2\x85"
               "b\xE2\x80\xA8"
               "c\xE2\x80\xA9")
        << Text() << AdapterId + QString::fromUtf8(" - a\ufffdb\ufffdc\ufffd");
    QTest::newRow("Latin-1 byte") << Text("K\xE4se") << Text()
                                  << AdapterId + QString::fromUtf8(" - K\ufffdse");
    QTest::newRow("overlong slash")
        << Text("\xC0\xAF") << Text() << AdapterId + QString::fromUtf8(" - \ufffd\ufffd");
    QTest::newRow("encoded surrogate")
        << Text("\xED\xA0\x80") << Text() << AdapterId + QString::fromUtf8(" - \ufffd\ufffd\ufffd");
    QTest::newRow("beyond U+10FFFF")
        << Text("\xF4\x90\x80\x80") << Text()
        << AdapterId + QString::fromUtf8(" - \ufffd\ufffd\ufffd\ufffd");
    QTest::newRow("sequence cut by the end")
        << Text("ab\xE2\x82") << Text("\xC3")
        << AdapterId + QString::fromUtf8(" - ab\ufffd\ufffd - \ufffd");
    QTest::newRow("lead byte before ASCII")
        << Text(
               "\xC3"
               "A")
        << Text() << AdapterId + QString::fromUtf8(" - \ufffdA");
}

void TestDeviceId::listEntry() {
    using Text = std::optional<std::string>;
    QFETCH(Text, manufacturer);
    QFETCH(Text, product);
    QFETCH(QString, expected);
    const QString entry = deviceListEntry(device(1, 4, 0x0403, 0xC631), manufacturer, product);
    QCOMPARE(entry, expected);
    QVERIFY(entry.size() <= 255);
}

// Text for one line: file names in the status line and device strings in the device list.
void TestDeviceId::printableText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::newRow("ordinary") << "/home/user/clock.cy22150.bin"
                              << "/home/user/clock.cy22150.bin";
    QTest::newRow("non-ASCII kept")
        << QString::fromUtf8("K\u00e4se \U0001F600") << QString::fromUtf8("K\u00e4se \U0001F600");
    QTest::newRow("NUL, line feed, unit separator")
        << QString::fromUtf8("a\0b\nc\x1F", 6) << QString::fromUtf8("a\u2400b\u240ac\u241f");
    QTest::newRow("DEL") << "a\x7F" << QString::fromUtf8("a\u2421");
    QTest::newRow("C1 first and last") << QString(QChar(0x80)) + QChar(0x9F) + QChar(0xA0)
                                       << QString(QChar(0xFFFD)) + QChar(0xFFFD) + QChar(0xA0);
    QTest::newRow("line and paragraph separators")
        << QString(QChar(0x2028)) + QChar(0x2029) << QString(QChar(0xFFFD)) + QChar(0xFFFD);
    QTest::newRow("unpaired surrogates") << QString(QChar(0xD800)) + "x" + QChar(0xDC00)
                                         << QString(QChar(0xFFFD)) + "x" + QChar(0xFFFD);
}

void TestDeviceId::printableText() {
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QCOMPARE(::printableText(text), shown);
}

void TestDeviceId::parseIds_data() {
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("parses");
    QTest::addColumn<int>("vendorId");
    QTest::addColumn<int>("productId");
    QTest::addColumn<bool>("adapter");
    QTest::newRow("adapter with strings")
        << AdapterId + " - Acme - i2c-tiny-usb" << true << 0x0403 << 0xC631 << true;
    QTest::newRow("adapter alone") << AdapterId << true << 0x0403 << 0xC631 << true;
    QTest::newRow("lower-case hex")
        << "BUS_001-DEV_004-VID_0403-PID_c631" << true << 0x0403 << 0xC631 << true;
    QTest::newRow("foreign device")
        << "BUS_002-DEV_003-VID_046D-PID_C52B - Logitech" << true << 0x046D << 0xC52B << false;
    QTest::newRow("adapter vendor, other product")
        << "BUS_001-DEV_002-VID_0403-PID_6001" << true << 0x0403 << 0x6001 << false;
    QTest::newRow("other vendor, adapter product")
        << "BUS_001-DEV_002-VID_0404-PID_C631" << true << 0x0404 << 0xC631 << false;
    QTest::newRow("no USB subsystem")
        << "No USB subsystem found on this machine!" << false << 0 << 0 << false;
    QTest::newRow("start-up entry") << "no devices: use USB -> Scan" << false << 0 << 0 << false;
    QTest::newRow("empty") << "" << false << 0 << 0 << false;
    QTest::newRow("no product ID") << "BUS_001-DEV_004-VID_0403" << false << 0 << 0 << false;
    QTest::newRow("product ID missing digits")
        << "BUS_001-DEV_004-VID_0403-PID_" << false << 0 << 0 << false;
    QTest::newRow("bus 1000 does not parse")
        << "BUS_1000-DEV_004-VID_0403-PID_C631" << false << 0 << 0 << false;
}

void TestDeviceId::parseIds() {
    QFETCH(QString, entry);
    QFETCH(bool, parses);
    QFETCH(int, vendorId);
    QFETCH(int, productId);
    QFETCH(bool, adapter);
    const std::optional<UsbIds> ids = parseEntryIds(entry);
    QCOMPARE(ids.has_value(), parses);
    if (parses) {
        QCOMPARE(int(ids->vendorId), vendorId);
        QCOMPARE(int(ids->productId), productId);
        QCOMPARE(isAdapter(ids->vendorId, ids->productId), adapter);
    }
    QCOMPARE(entryNamesAdapter(entry), adapter);
}

void TestDeviceId::entryMatchesDevice_data() {
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("bus");
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("productId");
    QTest::addColumn<bool>("matches");
    QTest::newRow("identification alone") << AdapterId << 1 << 4 << 0xC631 << true;
    QTest::newRow("strings differ")
        << AdapterId + " - Old Name - Old Product" << 1 << 4 << 0xC631 << true;
    QTest::newRow("other bus") << AdapterId << 2 << 4 << 0xC631 << false;
    QTest::newRow("other device") << AdapterId << 1 << 5 << 0xC631 << false;
    QTest::newRow("33rd character differs") << AdapterId << 1 << 4 << 0xC632 << false;
    QTest::newRow("start-up entry") << "no devices: use USB -> Scan" << 1 << 4 << 0xC631 << false;
    QTest::newRow("identification cut short") << AdapterId.left(32) << 1 << 4 << 0xC631 << false;
}

void TestDeviceId::entryMatchesDevice() {
    QFETCH(QString, entry);
    QFETCH(int, bus);
    QFETCH(int, number);
    QFETCH(int, productId);
    QFETCH(bool, matches);
    QCOMPARE(::entryMatchesDevice(entry, device(bus, number, 0x0403, quint16(productId))), matches);
}

void TestDeviceId::addressText_data() {
    QTest::addColumn<int>("address");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0x00 << "0x00";
    QTest::newRow("10 upper-case") << 0x0A << "0x0A";
    QTest::newRow("default") << 0x69 << "0x69";
    QTest::newRow("last") << 0x7F << "0x7F";
}

void TestDeviceId::addressText() {
    QFETCH(int, address);
    QFETCH(QString, text);
    QCOMPARE(i2cAddressText(quint8(address)), text);
}

void TestDeviceId::parseAddress_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("address");
    QTest::newRow("default entry") << "0x69" << 0x69;
    QTest::newRow("zero") << "0x00" << 0x00;
    QTest::newRow("last entry") << "0x7F" << 0x7F;
    QTest::newRow("lower-case digits") << "0x4a" << 0x4A;
    QTest::newRow("first of two bytes") << "0x1234" << 0x12;
    QTest::newRow("one digit") << "0x5" << 0x05;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("no x") << "69" << 0;
    QTest::newRow("nothing after x") << "0x" << 0;
    QTest::newRow("no hex digits") << "0xZZ" << 0;
}

void TestDeviceId::parseAddress() {
    QFETCH(QString, text);
    QFETCH(int, address);
    QCOMPARE(int(parseI2cAddress(text)), address);
}

void TestDeviceId::addressRoundTrip() {
    for (int a = 0; a <= 0x7F; ++a) {
        QCOMPARE(int(parseI2cAddress(i2cAddressText(quint8(a)))), a);
    }
}

QTEST_APPLESS_MAIN(TestDeviceId)
#include "tst_deviceid.moc"
