// SPDX-License-Identifier: MIT
#include "simusbbackend.h"
#include "usb/i2ctinyusb.h"

#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <climits>
#include <memory>
#include <thread>
#include <vector>

Q_DECLARE_METATYPE(SimFault)

namespace {
class RecordingObserver : public TransportObserver {
public:
    void readProgress(int done, int count) override { progress.append({done, count}); }

    QList<QPair<int, int>> progress;
};

// Register r of the simulated chip holds a value that differs from its neighbours'.
quint8 chipPattern(int reg) {
    return quint8(reg * 7 + 3);
}

// An i2c-tiny-usb adapter on bus 1 as device 4 with a CY22150 behind it, opened into the
// transport's connection; the transfer log starts after the open.
struct Bench {
    explicit Bench(quint8 chipAddress = 0x69,
                   const SimFirmwareProfile& firmware = SimFirmware::original(),
                   const QString& lockDirectory = QString())
        : chip(std::make_shared<SimCy22150>(chipAddress)) {
        for (int r = 0; r < SimCy22150::RegisterCount; ++r) {
            chip->setRegisterValue(r, chipPattern(r));
        }
        usb.setLockDirectory(lockDirectory.toStdString());
        usb.plug(SimDevice::adapter(1, 4, chip, firmware));
        i2c_init(c, &usb, &form);
        usb.rescan();
        opened = i2c_open(c, adapter());
        usb.resetTransfers();
    }
    UsbDeviceInfo adapter() const { return usb.busses().at(0).devices.at(0); }
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    SimUsbBackend usb;
    std::shared_ptr<SimCy22150> chip;
    RecordingObserver form;
    AdapterConnection c;
    int opened = 1;
};

struct Expected {
    int requestType;
    int request;
    int value;
    int index;
    int length;
    QByteArray data;  // bytes moved; the transfer returns their number
};

Expected statusTransfer(quint8 status = 1) {
    return {0xA0, 3, 0, 0, 1, QByteArray(1, char(status))};
}

// One line per transfer with every field, so that a list comparison names the first transfer
// that differs. Every transfer here is made on the bench's handle: the first open, bus 1,
// device 4.
QString describe(int handle, int bus, int device, const Expected& t, int result) {
    return QString::asprintf(
        "handle %d bus %d dev %d type 0x%02X req %d value %d index 0x%02X "
        "length %d data [%s] result %d",
        handle, bus, device, t.requestType, t.request, t.value, t.index, t.length,
        t.data.toHex(' ').constData(), result);
}

QStringList describe(const std::vector<SimTransfer>& transfers) {
    QStringList lines;
    for (const SimTransfer& t : transfers) {
        const QByteArray data(reinterpret_cast<const char*>(t.data.data()), int(t.data.size()));
        lines << describe(t.handle, t.busNumber, t.deviceNumber,
                          {t.requestType, t.request, t.value, t.index, t.length, data}, t.result);
    }
    return lines;
}

QStringList describe(const QList<Expected>& transfers) {
    QStringList lines;
    for (const Expected& t : transfers) {
        lines << describe(1, 1, 4, t, int(t.data.size()));
    }
    return lines;
}

// The transfers of a successful read of `count` registers from `first`, as the adapter's
// protocol defines them.
QList<Expected> readSequence(quint8 address, quint8 first, int count) {
    QList<Expected> sequence;
    sequence << Expected{0x20, 5, 0, address, 1, QByteArray(1, char(first))} << statusTransfer();
    for (int i = 0; i < count; ++i) {
        const int request = i < count - 1 ? 4 : 6;
        const QByteArray byte(1, char(chipPattern((first + i) & 0xFF)));
        sequence << Expected{0xA0, request, 1, address, 1, byte} << statusTransfer();
    }
    sequence << statusTransfer();
    return sequence;
}

constexpr quint8 Unread = 0xEE;  // buffer contents that no read has touched

// Request type, request, value, index, data and result of each transfer, whatever the handle.
QStringList requests(const std::vector<SimTransfer>& transfers) {
    QStringList lines;
    for (const SimTransfer& t : transfers) {
        const QByteArray data(reinterpret_cast<const char*>(t.data.data()), int(t.data.size()));
        lines << QString::asprintf("%02X %d %d 0x%02X [%s] %d", t.requestType, t.request, t.value,
                                   t.index, data.toHex(' ').constData(), t.result);
    }
    return lines;
}

std::array<quint8, 256> patternRegisters() {
    std::array<quint8, 256> r{};
    for (int i = 0; i < 256; ++i) {
        r[std::size_t(i)] = chipPattern(i);
    }
    return r;
}

const SimFirmwareProfile& firmwareNamed(const QString& name) {
    return *SimFirmware::find(name.toStdString());
}

const QString InUse =
    "Error: the adapter BUS_001-DEV_004-VID_0403-PID_C631 is in use by another program";
}  // namespace

class TestTransport : public QObject {
    Q_OBJECT

private slots:
    void writeTransfers_data();
    void writeTransfers();
    void readTransfers_data();
    void readTransfers();
    void readProgress();
    void progressBarValue_data();
    void progressBarValue();
    void readFailures_data();
    void readFailures();
    void writeFailures_data();
    void writeFailures();
    void chipAtOtherAddress();
    void statusQuery_data();
    void statusQuery();
    void noAdapterOpen_data();
    void noAdapterOpen();
    void countAbove256_data();
    void countAbove256();
    void errorText_data();
    void errorText();
    void failureText_data();
    void failureText();
    void laterLibraryFailureShowsItsOwnText();
    void initStartsTheLibrary();
    void closeReleasesTheHandle();

    void openEndsATransactionLeftOpen_data();
    void openEndsATransactionLeftOpen();
    void requestTypePerAdapter_data();
    void requestTypePerAdapter();
    void stalledRequestsAreReported();
    void failureAnywhereInAReadThenAWrite_data();
    void failureAnywhereInAReadThenAWrite();
    void readAtAnEmptyAddressLeavesNothingOpen();
    void everyTransferHoldsTheAdapterLock();
    void busyAdapter_data();
    void busyAdapter();
    void waitsWhileTheOtherProgramFinishes();
    void holdSpansSeveralOperations();
};

void TestTransport::writeTransfers_data() {
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("reg");
    QTest::addColumn<int>("value");
    QTest::newRow("CLK6 enable at 0x69") << 0x69 << 0x09 << 0x20;
    QTest::newRow("DIV2 at 0x10") << 0x10 << 0x47 << 0xFF;
    QTest::newRow("register 0 at 0x7F") << 0x7F << 0x00 << 0x00;
}

void TestTransport::writeTransfers() {
    QFETCH(int, address);
    QFETCH(int, reg);
    QFETCH(int, value);
    Bench b{quint8(address)};
    QCOMPARE(i2c_write_register(b.c, quint8(address), quint8(reg), quint8(value)), 0);
    QCOMPARE(
        describe(b.usb.transfers()),
        describe(QList<Expected>{{0x20, 7, 0, address, 2, QByteArray() + char(reg) + char(value)},
                                 statusTransfer()}));
    QCOMPARE(int(b.chip->registerValue(reg)), value);
}

void TestTransport::readTransfers_data() {
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("transferCount");
    QTest::newRow("one register: set-up, then only the last-byte request") << 0x13 << 1 << 5;
    QTest::newRow("three registers") << 0x40 << 3 << 9;
    QTest::newRow("all 256 registers") << 0x00 << 256 << 515;
    QTest::newRow("256 registers from 0xF0 wrap") << 0xF0 << 256 << 515;
}

void TestTransport::readTransfers() {
    QFETCH(int, first);
    QFETCH(int, count);
    QFETCH(int, transferCount);
    Bench b;
    std::vector<quint8> buffer(256, Unread);
    QCOMPARE(i2c_read_registers(b.c, 0x69, quint8(first), count, buffer.data()), 0);
    QCOMPARE(int(b.usb.transfers().size()), transferCount);
    QCOMPARE(describe(b.usb.transfers()), describe(readSequence(0x69, quint8(first), count)));
    for (int i = 0; i < 256; ++i) {
        QCOMPARE(int(buffer[std::size_t(i)]),
                 int(i < count ? chipPattern((first + i) & 0xFF) : Unread));
    }
}

void TestTransport::readProgress() {
    Bench b;
    std::vector<quint8> buffer(256, Unread);
    QCOMPARE(i2c_read_registers(b.c, 0x69, 0, 256, buffer.data()), 0);

    QList<QPair<int, int>> expected;
    for (int i = 0; i <= 256; ++i) {
        expected.append({i, 256});
    }
    QCOMPARE(b.form.progress, expected);

    // A bar with maximum 2000 shows these positions before the bytes, then its maximum.
    QList<int> bar;
    for (const auto& [done, count] : b.form.progress) {
        bar << ::progressBarValue(done, count, 2000);
    }
    QCOMPARE(bar.mid(0, 4), (QList<int>{0, 7, 15, 23}));
    QCOMPARE(bar.at(255), 1992);
    QCOMPARE(bar.last(), 2000);
    for (int i = 0; i <= 256; ++i) {
        QCOMPARE(bar.at(i), i * 2000 / 256);
    }
}

void TestTransport::progressBarValue_data() {
    QTest::addColumn<int>("done");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("expected");
    QTest::newRow("first byte") << 0 << 256 << 2000 << 0;
    QTest::newRow("second byte truncates 7.8") << 1 << 256 << 2000 << 7;
    QTest::newRow("third byte truncates 15.6") << 2 << 256 << 2000 << 15;
    QTest::newRow("last byte") << 255 << 256 << 2000 << 1992;
    QTest::newRow("end") << 256 << 256 << 2000 << 2000;
    QTest::newRow("two thirds truncate") << 2 << 3 << 100 << 66;
    QTest::newRow("large maximum does not overflow") << 255 << 256 << INT_MAX << 2139095039;
    QTest::newRow("no count") << 0 << 0 << 100 << 0;
}

void TestTransport::progressBarValue() {
    QFETCH(int, done);
    QFETCH(int, count);
    QFETCH(int, maximum);
    QFETCH(int, expected);
    QCOMPARE(::progressBarValue(done, count, maximum), expected);
}

void TestTransport::readFailures_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("faultAt");  // transfer number, -1: none
    QTest::addColumn<SimFault>("fault");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("bytesKept");
    QTest::addColumn<int>("transfersSent");  // up to the failing one
    QTest::addColumn<int>("lastRequest");    // of the failing transfer
    QTest::addColumn<int>("progressCalls");
    QTest::addColumn<bool>("ended");  // the transaction was left open and is ended after it

    const SimFault io = SimFault::failure(-1, "Input/Output Error");
    // A read of 4 registers: 0 set-up, 1 status, 2/4/6 bytes (request 4) with their status at
    // 3/5/7, 8 the last byte (request 6), 9 its status, 10 the closing status. Until the last
    // byte went through, the transaction that the set-up began is open.
    QTest::newRow("-4 set-up moves no data")
        << 4 << 0 << SimFault::noData() << -4 << 0 << 1 << 5 << 0 << true;
    QTest::newRow("-4 set-up fails") << 4 << 0 << io << -4 << 0 << 1 << 5 << 0 << true;
    QTest::newRow("-2 set-up not acknowledged")
        << 4 << 1 << SimFault::answer(2) << -2 << 0 << 2 << 3 << 0 << true;
    QTest::newRow("-2 status idle after set-up")
        << 4 << 1 << SimFault::answer(0) << -2 << 0 << 2 << 3 << 0 << true;
    QTest::newRow("-2 status transfer fails") << 4 << 1 << io << -2 << 0 << 2 << 3 << 0 << true;
    QTest::newRow("-2 status without its byte")
        << 4 << 1 << SimFault::noData() << -2 << 0 << 2 << 3 << 0 << true;
    QTest::newRow("-6 first byte moves no data")
        << 4 << 2 << SimFault::noData() << -6 << 0 << 3 << 4 << 1 << true;
    QTest::newRow("-6 second byte fails") << 4 << 4 << io << -6 << 1 << 5 << 4 << 2 << true;
    QTest::newRow("-6 third byte times out")
        << 4 << 6 << SimFault::timeout() << -6 << 2 << 7 << 4 << 3 << true;
    QTest::newRow("-3 status after first byte fails")
        << 4 << 3 << io << -3 << 1 << 4 << 3 << 1 << true;
    QTest::newRow("-3 third byte not acknowledged")
        << 4 << 7 << SimFault::answer(2) << -3 << 3 << 8 << 3 << 3 << true;
    QTest::newRow("-5 last byte moves no data")
        << 4 << 8 << SimFault::noData() << -5 << 3 << 9 << 6 << 4 << true;
    QTest::newRow("-5 last byte fails") << 4 << 8 << io << -5 << 3 << 9 << 6 << 4 << true;
    QTest::newRow("-3 last byte not acknowledged")
        << 4 << 9 << SimFault::answer(0xFF) << -3 << 4 << 10 << 3 << 4 << false;
    QTest::newRow("-3 closing status not 1")
        << 4 << 10 << SimFault::answer(0) << -3 << 4 << 11 << 3 << 4 << false;
    QTest::newRow("-3 closing status without its byte")
        << 4 << 10 << SimFault::noData() << -3 << 4 << 11 << 3 << 4 << false;
    QTest::newRow("-5 single register")
        << 1 << 2 << SimFault::noData() << -5 << 0 << 3 << 6 << 1 << true;
    QTest::newRow("-3 byte 100 of 256 not acknowledged")
        << 256 << 203 << SimFault::answer(2) << -3 << 101 << 204 << 3 << 101 << true;
    QTest::newRow("-1 count 0") << 0 << -1 << SimFault() << -1 << 0 << 0 << 0 << 0 << false;
    QTest::newRow("-1 negative count") << -3 << -1 << SimFault() << -1 << 0 << 0 << 0 << 0 << false;
}

// The transfer that ends a transaction without data: repeated START, address, STOP.
const Expected EndTransaction{0x20, 6, 0, 0x69, 0, QByteArray()};

void TestTransport::readFailures() {
    QFETCH(int, count);
    QFETCH(int, faultAt);
    QFETCH(SimFault, fault);
    QFETCH(int, result);
    QFETCH(int, bytesKept);
    QFETCH(int, transfersSent);
    QFETCH(int, lastRequest);
    QFETCH(int, progressCalls);
    QFETCH(bool, ended);
    Bench b;
    if (faultAt >= 0) {
        b.usb.injectFault(faultAt, fault);
    }
    constexpr quint8 first = 0x10;
    std::vector<quint8> buffer(256, Unread);
    QCOMPARE(i2c_read_registers(b.c, 0x69, first, count, buffer.data()), result);

    // Nothing is sent after the failing transfer but, when the transaction was open, its end.
    QCOMPARE(int(b.usb.transfers().size()), transfersSent + (ended ? 1 : 0));
    if (transfersSent > 0) {
        QCOMPARE(int(b.usb.transfers().at(std::size_t(transfersSent - 1)).request), lastRequest);
    }
    if (ended) {
        QCOMPARE(describe({b.usb.transfers().back()}), describe({EndTransaction}));
    }
    // The bytes that arrived stay; the rest of the buffer is untouched.
    for (int i = 0; i < 256; ++i) {
        QCOMPARE(int(buffer[std::size_t(i)]),
                 int(i < bytesKept ? chipPattern((first + i) & 0xFF) : Unread));
    }
    // The bar stays where the failure found it: no call for the end.
    QCOMPARE(b.form.progress.size(), progressCalls);
    for (int i = 0; i < progressCalls; ++i) {
        QCOMPARE(b.form.progress.at(i), qMakePair(i, count));
    }
}

void TestTransport::writeFailures_data() {
    QTest::addColumn<int>("faultAt");
    QTest::addColumn<SimFault>("fault");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("transfersSent");
    QTest::addColumn<bool>("chipWritten");
    QTest::addColumn<bool>("ended");  // whether the adapter finished the write is unknown
    const SimFault io = SimFault::failure(-1, "Input/Output Error");
    QTest::newRow("-4 write moves no data") << 0 << SimFault::noData() << -4 << 1 << false << true;
    QTest::newRow("-4 write fails") << 0 << io << -4 << 1 << false << true;
    QTest::newRow("-4 write times out") << 0 << SimFault::timeout() << -4 << 1 << false << true;
    QTest::newRow("-4 write carried out, its answer lost")
        << 0 << SimFault::timeout().afterAdapter() << -4 << 1 << true << true;
    QTest::newRow("-2 not acknowledged") << 1 << SimFault::answer(2) << -2 << 2 << true << false;
    QTest::newRow("-2 status idle") << 1 << SimFault::answer(0) << -2 << 2 << true << false;
    QTest::newRow("-2 status 0xFF") << 1 << SimFault::answer(0xFF) << -2 << 2 << true << false;
    QTest::newRow("-2 status transfer fails") << 1 << io << -2 << 2 << true << false;
    QTest::newRow("-2 status without its byte")
        << 1 << SimFault::noData() << -2 << 2 << true << false;
}

void TestTransport::writeFailures() {
    QFETCH(int, faultAt);
    QFETCH(SimFault, fault);
    QFETCH(int, result);
    QFETCH(int, transfersSent);
    QFETCH(bool, chipWritten);
    QFETCH(bool, ended);
    Bench b;
    b.usb.injectFault(faultAt, fault);
    QCOMPARE(i2c_write_register(b.c, 0x69, 0x09, 0x20), result);
    QCOMPARE(int(b.usb.transfers().size()), transfersSent + (ended ? 1 : 0));
    if (ended) {
        QCOMPARE(describe({b.usb.transfers().back()}), describe({EndTransaction}));
    }
    QCOMPARE(int(b.chip->registerValue(0x09)), chipWritten ? 0x20 : int(chipPattern(0x09)));
}

void TestTransport::chipAtOtherAddress() {
    Bench b{0x50};
    QCOMPARE(i2c_write_register(b.c, 0x69, 0x09, 0x20), -2);
    QCOMPARE(describe(b.usb.transfers()),
             describe(QList<Expected>{{0x20, 7, 0, 0x69, 2, QByteArray("\x09\x20", 2)},
                                      statusTransfer(2)}));
    QCOMPARE(int(b.chip->registerValue(0x09)), int(chipPattern(0x09)));

    b.usb.resetTransfers();
    std::vector<quint8> buffer(256, Unread);
    QCOMPARE(i2c_read_registers(b.c, 0x69, 0, 256, buffer.data()), -2);
    QCOMPARE(describe(b.usb.transfers()),
             describe(QList<Expected>{
                 {0x20, 5, 0, 0x69, 1, QByteArray(1, '\0')}, statusTransfer(2), EndTransaction}));
    QCOMPARE(buffer, std::vector<quint8>(256, Unread));
    QVERIFY(b.form.progress.isEmpty());
}

void TestTransport::statusQuery_data() {
    QTest::addColumn<SimFault>("fault");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("delivered");
    QTest::newRow("1: acknowledged") << SimFault::answer(1) << 1 << QByteArray(1, 1);
    QTest::newRow("0: idle") << SimFault::answer(0) << 0 << QByteArray(1, 0);
    QTest::newRow("2: not acknowledged") << SimFault::answer(2) << 2 << QByteArray(1, 2);
    QTest::newRow("0x7F") << SimFault::answer(0x7F) << 127 << QByteArray(1, 0x7F);
    QTest::newRow("0x80 sign-extended")
        << SimFault::answer(0x80) << -128 << QByteArray(1, char(0x80));
    QTest::newRow("0xFF sign-extended")
        << SimFault::answer(0xFF) << -1 << QByteArray(1, char(0xFF));
    QTest::newRow("transfer fails")
        << SimFault::failure(-1, "Input/Output Error") << -1 << QByteArray();
    QTest::newRow("transfer times out") << SimFault::timeout() << -7 << QByteArray();
    QTest::newRow("no byte delivered") << SimFault::noData() << -256 << QByteArray();
}

void TestTransport::statusQuery() {
    QFETCH(SimFault, fault);
    QFETCH(int, status);
    QFETCH(QByteArray, delivered);
    Bench b;
    b.usb.injectFault(0, fault);
    QCOMPARE(i2c_get_status(b.c), status);
    QCOMPARE(int(b.usb.transfers().size()), 1);
    const SimTransfer& t = b.usb.transfers().front();
    QCOMPARE(int(t.requestType), 0xA0);
    QCOMPARE(int(t.request), 3);
    QCOMPARE(int(t.value), 0);
    QCOMPARE(int(t.index), 0);
    QCOMPARE(int(t.length), 1);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(t.data.data()), int(t.data.size())),
             delivered);
    if (status == -256) {
        QCOMPARE(status, I2cStatusNoByte);  // documented for the callers, who accept only 1
    }
}

void TestTransport::noAdapterOpen_data() {
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("count");
    QTest::newRow("write") << "write" << 0;
    QTest::newRow("status") << "status" << 0;
    QTest::newRow("read 256") << "read" << 256;
    QTest::newRow("read count 0: the handle is tested first") << "read" << 0;
    QTest::newRow("read negative count") << "read" << -1;
}

void TestTransport::noAdapterOpen() {
    QFETCH(QString, operation);
    QFETCH(int, count);
    Bench b;
    i2c_close(b.c);
    b.usb.resetTransfers();
    std::vector<quint8> buffer(256, Unread);
    int result = 1;
    if (operation == "write") {
        result = i2c_write_register(b.c, 0x69, 0x09, 0x20);
    } else if (operation == "status") {
        result = i2c_get_status(b.c);
    } else {
        result = i2c_read_registers(b.c, 0x69, 0, count, buffer.data());
    }
    QCOMPARE(result, 0);
    QVERIFY(b.usb.transfers().empty());
    QCOMPARE(buffer, std::vector<quint8>(256, Unread));
    QVERIFY(b.form.progress.isEmpty());
    QCOMPARE(int(b.chip->registerValue(0x09)), int(chipPattern(0x09)));
}

void TestTransport::countAbove256_data() {
    QTest::addColumn<int>("count");
    QTest::newRow("257") << 257;
    QTest::newRow("300") << 300;
    QTest::newRow("100000") << 100000;
}

void TestTransport::countAbove256() {
    QFETCH(int, count);
    Bench b;
    std::vector<quint8> buffer(std::size_t(count), Unread);
    QCOMPARE(i2c_read_registers(b.c, 0x69, 0, count, buffer.data()), 0);
    QCOMPARE(describe(b.usb.transfers()), describe(readSequence(0x69, 0, 256)));
    for (std::size_t i = 256; i < buffer.size(); ++i) {
        QCOMPARE(int(buffer[i]), int(Unread));
    }
    QCOMPARE(b.form.progress.last(), qMakePair(256, 256));
}

void TestTransport::errorText_data() {
    QTest::addColumn<QString>("library");
    QTest::addColumn<QString>("message");
    const QString a248(248, QLatin1Char('a'));
    QTest::newRow("short") << "Pipe error"
                           << "Error: Pipe error";
    QTest::newRow("248 characters fit") << a248 << "Error: " + a248;
    QTest::newRow("249 characters cut") << a248 + "b"
                                        << "Error: " + a248;
    QTest::newRow("400 characters cut")
        << a248 + QString(152, QLatin1Char('c')) << "Error: " + a248;
    // A character outside the BMP that would straddle the limit is left out whole.
    const QString wide = QString(247, QLatin1Char('a')) + QString::fromUtf8("\xF0\x9F\x98\x80");
    QTest::newRow("no half character") << wide << "Error: " + QString(247, QLatin1Char('a'));
}

void TestTransport::errorText() {
    QFETCH(QString, library);
    QFETCH(QString, message);
    Bench b;
    b.usb.injectFault(0, SimFault::failure(-1, library.toStdString()));
    QCOMPARE(i2c_write_register(b.c, 0x69, 0x09, 0x20), -4);
    QCOMPARE(i2c_error_text(b.c), message);
    QVERIFY(i2c_error_text(b.c).size() <= 255);
}

void TestTransport::failureText_data() {
    QTest::addColumn<int>("address");
    QTest::addColumn<SimFault>("earlier");  // fault on the status of a write made before
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("faultAt");
    QTest::addColumn<SimFault>("fault");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("message");

    // The earlier write leaves the library's last text at a time-out that has nothing to do
    // with the failure at hand, or leaves a failure where the library saw none.
    const SimFault stale = SimFault::timeout();
    const SimFault noAck = SimFault::answer(2);
    const SimFault io = SimFault::failure(-1, "Input/Output Error");
    const SimFault pipe = SimFault::failure(-9, "Pipe error");
    const QString notAcknowledged = "Error: the chip at I2C address 0x69 did not acknowledge";
    const QString noStatus =
        "Error: the adapter returned no status for the chip at I2C address 0x69";
    const QString notAccepted =
        "Error: the adapter accepted no data for the chip at I2C address 0x69";
    const QString noData = "Error: the adapter returned no data from the chip at I2C address 0x69";
    // A write: 0 the data, 1 its status. A read of 4 registers: 0 set-up, 1 status, 2/4/6 bytes,
    // 8 the last byte, each followed by its status, 10 the closing status.
    QTest::newRow("write not acknowledged")
        << 0x69 << stale << "write" << 1 << noAck << -2 << notAcknowledged;
    QTest::newRow("write status idle")
        << 0x69 << stale << "write" << 1 << SimFault::answer(0) << -2 << notAcknowledged;
    QTest::newRow("write moves no data")
        << 0x69 << stale << "write" << 0 << SimFault::noData() << -4 << notAccepted;
    QTest::newRow("write status without its byte")
        << 0x69 << stale << "write" << 1 << SimFault::noData() << -2 << noStatus;
    QTest::newRow("chip at 0x0A not acknowledged")
        << 0x0A << stale << "write" << 1 << noAck << -2
        << "Error: the chip at I2C address 0x0A did not acknowledge";
    QTest::newRow("read set-up not acknowledged")
        << 0x69 << stale << "read" << 1 << noAck << -2 << notAcknowledged;
    QTest::newRow("read set-up moves no data")
        << 0x69 << stale << "read" << 0 << SimFault::noData() << -4 << notAccepted;
    QTest::newRow("read set-up status without its byte")
        << 0x69 << stale << "read" << 1 << SimFault::noData() << -2 << noStatus;
    QTest::newRow("byte moves no data")
        << 0x69 << stale << "read" << 4 << SimFault::noData() << -6 << noData;
    QTest::newRow("byte not acknowledged")
        << 0x69 << stale << "read" << 5 << noAck << -3 << notAcknowledged;
    QTest::newRow("last byte moves no data")
        << 0x69 << stale << "read" << 8 << SimFault::noData() << -5 << noData;
    QTest::newRow("closing status without its byte")
        << 0x69 << stale << "read" << 10 << SimFault::noData() << -3 << noStatus;
    QTest::newRow("write fails after a failure without library error")
        << 0x69 << noAck << "write" << 0 << io << -4 << "Error: Input/Output Error";
    QTest::newRow("write status fails after an older library error")
        << 0x69 << stale << "write" << 1 << io << -2 << "Error: Input/Output Error";
    QTest::newRow("a stalled vendor request after an older library error")
        << 0x69 << stale << "vendor write" << 0 << pipe << -4 << "Error: Pipe error";
    QTest::newRow("byte fails after a failure without library error")
        << 0x69 << noAck << "read" << 6 << io << -6 << "Error: Input/Output Error";
    QTest::newRow("byte times out after a failure without library error")
        << 0x69 << noAck << "read" << 8 << SimFault::timeout() << -5
        << "Error: Operation timed out";
}

void TestTransport::failureText() {
    QFETCH(int, address);
    QFETCH(SimFault, earlier);
    QFETCH(QString, operation);
    QFETCH(int, faultAt);
    QFETCH(SimFault, fault);
    QFETCH(int, result);
    QFETCH(QString, message);
    const bool vendor = operation.startsWith("vendor ");
    Bench b{quint8(address), vendor ? SimFirmware::vendorOnly() : SimFirmware::original()};
    b.usb.injectFault(1, earlier);
    QVERIFY(i2c_write_register(b.c, quint8(address), 0x09, 0x20) < 0);
    b.usb.resetTransfers();

    b.usb.injectFault(faultAt, fault);
    // The end of the transaction that the failure left open fails too, with a text of its own.
    b.usb.injectFault(faultAt + 1, SimFault::failure(-99, "Other error"));
    std::vector<quint8> buffer(256, Unread);
    QCOMPARE(operation.endsWith("write")
                 ? i2c_write_register(b.c, quint8(address), 0x09, 0x20)
                 : i2c_read_registers(b.c, quint8(address), 0x10, 4, buffer.data()),
             result);
    // Nothing is sent after the failure but the end of a transaction left open: after a write's
    // own transfer, or anything in a read up to its last byte.
    const bool open = operation.endsWith("write") ? faultAt == 0 : faultAt <= 8;
    QCOMPARE(int(b.usb.transfers().size()), faultAt + 1 + (open ? 1 : 0));
    QCOMPARE(i2c_error_text(b.c), message);
}

// A failure the transport remembers gives way to a library call that fails after it.
void TestTransport::laterLibraryFailureShowsItsOwnText() {
    Bench b;
    b.usb.injectFault(1, SimFault::answer(2));
    QCOMPARE(i2c_write_register(b.c, 0x69, 0x09, 0x20), -2);
    QCOMPARE(i2c_error_text(b.c),
             QStringLiteral("Error: the chip at I2C address 0x69 did not acknowledge"));
    UsbDeviceInfo gone;
    gone.key = 7;
    QVERIFY(b.usb.open(gone) == nullptr);
    QCOMPARE(i2c_error_text(b.c),
             QStringLiteral("Error: No such device (it may have been disconnected)"));
}

void TestTransport::initStartsTheLibrary() {
    SimUsbBackend usb;
    usb.failInit("no USB subsystem here");
    RecordingObserver form;
    AdapterConnection c;
    i2c_init(c, &usb, &form);
    QCOMPARE(c.usb, &usb);
    QCOMPARE(c.progress, &form);
    QCOMPARE(usb.lastError(), std::string("no USB subsystem here"));
    QVERIFY(c.handle == nullptr);
    QCOMPARE(int(c.i2cAddress), 0x69);
}

void TestTransport::closeReleasesTheHandle() {
    Bench b;
    QVERIFY(b.c.handle != nullptr);
    QCOMPARE(b.usb.openHandleCount(), 1);
    QCOMPARE(i2c_close(b.c), 0);
    QVERIFY(b.c.handle == nullptr);
    QCOMPARE(b.usb.openHandleCount(), 0);
    QCOMPARE(i2c_close(b.c), 0);  // closing again is harmless
    QCOMPARE(b.usb.openHandleCount(), 0);
    QVERIFY(b.usb.transfers().empty());
}

void TestTransport::openEndsATransactionLeftOpen_data() {
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<QStringList>("opening");  // the transfers of the open
    QTest::newRow("original") << "original" << QStringList{"20 6 0 0x69 [] 0"};
    QTest::newRow("vendor-only") << "vendor-only"
                                 << QStringList{"20 6 0 0x69 [] -9", "40 6 0 0x69 [] 0"};
}

// An earlier program, killed in the middle of a read, left its transaction open: its set-up
// went out and nothing ended it. Without an end at the open, the next write would go out with
// no START, and the chip would store the address byte and both data bytes from register 0 on.
void TestTransport::openEndsATransactionLeftOpen() {
    QFETCH(QString, firmware);
    QFETCH(QStringList, opening);
    const SimFirmwareProfile& profile = firmwareNamed(firmware);
    auto chip = std::make_shared<SimCy22150>();
    for (int r = 0; r < SimCy22150::RegisterCount; ++r) {
        chip->setRegisterValue(r, chipPattern(r));
    }
    SimUsbBackend usb;
    AdapterConnection c;
    i2c_init(c, &usb, nullptr);
    usb.plug(SimDevice::adapter(1, 4, chip, profile));
    usb.rescan();
    const UsbDeviceInfo adapter = usb.busses().at(0).devices.at(0);
    UsbHandle* earlier = usb.open(adapter);
    unsigned char pointer = 0x00;
    const quint8 type = profile.answersClassRequests ? 0x20 : 0x40;
    QCOMPARE(usb.controlTransfer(earlier, type, 5, 0, 0x69, &pointer, 1, 1000), 1);
    usb.close(earlier);
    usb.resetTransfers();

    QCOMPARE(i2c_open(c, adapter), 0);
    QCOMPARE(requests(usb.transfers()), opening);
    QCOMPARE(i2c_write_register(c, 0x69, 0x0C, 0x82), 0);
    std::array<quint8, 256> expected = patternRegisters();
    expected[0x0C] = 0x82;
    QCOMPARE(chip->registers(), expected);
    i2c_close(c);
}

void TestTransport::requestTypePerAdapter_data() {
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<int>("out");  // the request types used after the open
    QTest::addColumn<int>("in");
    QTest::addColumn<QStringList>("opening");
    QTest::newRow("original: class requests, byte for byte")
        << "original" << 0x20 << 0xA0 << QStringList{"20 6 0 0x69 [] 0"};
    QTest::newRow("vendor-only: the stalled class request goes again as vendor")
        << "vendor-only" << 0x40 << 0xC0 << QStringList{"20 6 0 0x69 [] -9", "40 6 0 0x69 [] 0"};
}

void TestTransport::requestTypePerAdapter() {
    QFETCH(QString, firmware);
    QFETCH(int, out);
    QFETCH(int, in);
    QFETCH(QStringList, opening);
    Bench b{0x69, firmwareNamed(firmware)};
    QCOMPARE(b.opened, 0);
    std::vector<quint8> buffer(256, Unread);
    QCOMPARE(i2c_read_registers(b.c, 0x69, 0, 256, buffer.data()), 0);
    QCOMPARE(i2c_write_register(b.c, 0x69, 0x09, 0x20), 0);
    QVERIFY(std::equal(buffer.begin(), buffer.end(), patternRegisters().begin()));
    QCOMPARE(int(b.chip->registerValue(0x09)), 0x20);

    // The same transfers as over class requests, in the adapter's type.
    QList<Expected> expected = readSequence(0x69, 0, 256);
    expected << Expected{0x20, 7, 0, 0x69, 2, QByteArray("\x09\x20", 2)} << statusTransfer();
    for (Expected& e : expected) {
        e.requestType = (e.requestType & 0x80) != 0 ? in : out;
    }
    QCOMPARE(describe(b.usb.transfers()), describe(expected));

    // A new open starts from class requests again.
    b.usb.resetTransfers();
    QCOMPARE(i2c_open(b.c, b.adapter()), 0);
    QCOMPARE(requests(b.usb.transfers()), opening);
}

// A stalled vendor request is not tried as a class request; a class request that is stalled in
// both types is reported as stalled, and the adapter keeps the class type.
void TestTransport::stalledRequestsAreReported() {
    const SimFault stall = SimFault::failure(-9, "Pipe error");
    Bench vendor{0x69, SimFirmware::vendorOnly()};
    vendor.usb.injectFault(0, stall);
    QCOMPARE(i2c_write_register(vendor.c, 0x69, 0x09, 0x20), -4);
    QCOMPARE(i2c_error_text(vendor.c), QString("Error: Pipe error"));
    QCOMPARE(requests(vendor.usb.transfers()),
             (QStringList{"40 7 0 0x69 [] -9", "40 6 0 0x69 [] 0"}));

    Bench original;
    original.usb.injectFault(0, stall);
    original.usb.injectFault(1, stall);
    QCOMPARE(i2c_write_register(original.c, 0x69, 0x09, 0x20), -4);
    QCOMPARE(i2c_error_text(original.c), QString("Error: Pipe error"));
    QCOMPARE(requests(original.usb.transfers()),
             (QStringList{"20 7 0 0x69 [] -9", "40 7 0 0x69 [] -9", "20 6 0 0x69 [] 0"}));
    QCOMPARE(int(original.chip->registerValue(0x09)), int(chipPattern(0x09)));
}

void TestTransport::failureAnywhereInAReadThenAWrite_data() {
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<SimFault>("fault");
    for (const SimFirmwareProfile& p : SimFirmware::Profiles) {
        QTest::addRow("%s, transfer lost on its way", p.name) << p.name << SimFault::timeout();
        QTest::addRow("%s, answer lost on its way back", p.name)
            << p.name << SimFault::timeout().afterAdapter();
        QTest::addRow("%s, no data", p.name) << p.name << SimFault::noData().afterAdapter();
    }
}

// Whichever transfer of a full read fails, the next write on the same adapter changes its own
// register and no other.
void TestTransport::failureAnywhereInAReadThenAWrite() {
    QFETCH(QString, firmware);
    QFETCH(SimFault, fault);
    for (int position = 0; position < 515; ++position) {
        Bench b{0x69, firmwareNamed(firmware)};
        b.usb.injectFault(position, fault);
        std::vector<quint8> buffer(256, Unread);
        QVERIFY2(i2c_read_registers(b.c, 0x69, 0, 256, buffer.data()) < 0,
                 qPrintable(QString::number(position)));
        QVERIFY2(i2c_write_register(b.c, 0x69, 0x0C, 0x82) == 0,
                 qPrintable(
                     QString("after a failure at %1: %2").arg(position).arg(i2c_error_text(b.c))));
        std::array<quint8, 256> expected = patternRegisters();
        expected[0x0C] = 0x82;
        for (int r = 0; r < 256; ++r) {
            QVERIFY2(b.chip->registerValue(r) == expected[std::size_t(r)],
                     qPrintable(QString::asprintf("failure at transfer %d: register 0x%02X holds "
                                                  "0x%02X",
                                                  position, r, b.chip->registerValue(r))));
        }
    }
}

// A read where no chip answers leaves no transaction open for the reads that follow.
void TestTransport::readAtAnEmptyAddressLeavesNothingOpen() {
    Bench b;
    std::vector<quint8> buffer(256, Unread);
    QCOMPARE(i2c_read_registers(b.c, 0x6A, 0, 256, buffer.data()), -2);
    QCOMPARE(i2c_read_registers(b.c, 0x69, 0, 256, buffer.data()), 0);
    QVERIFY(std::equal(buffer.begin(), buffer.end(), patternRegisters().begin()));
}

void TestTransport::everyTransferHoldsTheAdapterLock() {
    QTemporaryDir dir;
    Bench b{0x69, SimFirmware::original(), dir.path()};
    AdapterLock otherProgram;
    otherProgram.attach(b.usb.lockPath(b.adapter()));
    QVERIFY(otherProgram.acquire(0));  // idle after the open
    otherProgram.release();

    int unlocked = 0;
    b.usb.setTransferObserver([&](const SimTransfer&) {
        if (otherProgram.acquire(0)) {
            ++unlocked;
            otherProgram.release();
        }
    });
    QCOMPARE(i2c_open(b.c, b.adapter()), 0);
    std::vector<quint8> buffer(256, Unread);
    QCOMPARE(i2c_read_registers(b.c, 0x69, 0, 256, buffer.data()), 0);
    QCOMPARE(i2c_write_register(b.c, 0x69, 0x09, 0x20), 0);
    b.usb.injectFault(int(b.usb.transfers().size()) + 1, SimFault::timeout());
    QCOMPARE(i2c_read_registers(b.c, 0x69, 0, 256, buffer.data()), -2);  // and its end
    QCOMPARE(int(b.usb.transfers().size()), 1 + 515 + 2 + 3);
    QCOMPARE(unlocked, 0);

    // Between operations the adapter is free.
    b.usb.setTransferObserver({});
    QVERIFY(otherProgram.acquire(0));
    otherProgram.release();
}

void TestTransport::busyAdapter_data() {
    QTest::addColumn<QString>("operation");
    QTest::newRow("write") << "write";
    QTest::newRow("read") << "read";
    QTest::newRow("open") << "open";
}

void TestTransport::busyAdapter() {
    QFETCH(QString, operation);
    QTemporaryDir dir;
    Bench b{0x69, SimFirmware::original(), dir.path()};
    b.c.busyWaitMs = 20;
    AdapterLock otherProgram;
    otherProgram.attach(b.usb.lockPath(b.adapter()));
    QVERIFY(otherProgram.acquire(0));

    std::vector<quint8> buffer(256, Unread);
    const int result = operation == "write"  ? i2c_write_register(b.c, 0x69, 0x09, 0x20)
                       : operation == "read" ? i2c_read_registers(b.c, 0x69, 0, 256, buffer.data())
                                             : i2c_open(b.c, b.adapter());
    QCOMPARE(result, I2cResult::Busy);
    QCOMPARE(i2c_error_text(b.c), InUse);
    QVERIFY(b.usb.transfers().empty());
    QCOMPARE(b.c.handle == nullptr, operation == "open");  // a busy open leaves it closed
    QCOMPARE(int(b.chip->registerValue(0x09)), int(chipPattern(0x09)));
}

void TestTransport::waitsWhileTheOtherProgramFinishes() {
    QTemporaryDir dir;
    Bench b{0x69, SimFirmware::original(), dir.path()};
    AdapterLock otherProgram;
    otherProgram.attach(b.usb.lockPath(b.adapter()));
    QVERIFY(otherProgram.acquire(0));
    std::thread finishing([&otherProgram] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        otherProgram.release();
    });
    const int result = i2c_write_register(b.c, 0x69, 0x09, 0x20);
    finishing.join();
    QCOMPARE(result, 0);
    QCOMPARE(int(b.chip->registerValue(0x09)), 0x20);
}

void TestTransport::holdSpansSeveralOperations() {
    QTemporaryDir dir;
    Bench b{0x69, SimFirmware::original(), dir.path()};
    AdapterLock otherProgram;
    otherProgram.attach(b.usb.lockPath(b.adapter()));
    {
        const AdapterHold hold(b.c);
        QVERIFY(hold.ok());
        QCOMPARE(i2c_write_register(b.c, 0x69, 0x09, 0x20), 0);
        QVERIFY(!otherProgram.acquire(0));  // still held between the operations
        std::vector<quint8> buffer(256, Unread);
        QCOMPARE(i2c_read_registers(b.c, 0x69, 0, 256, buffer.data()), 0);
        QVERIFY(!otherProgram.acquire(0));
    }
    QVERIFY(otherProgram.acquire(0));
}

QTEST_APPLESS_MAIN(TestTransport)
#include "tst_transport.moc"
