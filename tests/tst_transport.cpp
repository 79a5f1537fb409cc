// SPDX-License-Identifier: MIT
#include "simusbbackend.h"
#include "usb/i2ctinyusb.h"

#include <QtTest>

#include <climits>
#include <memory>
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
    explicit Bench(quint8 chipAddress = 0x69) : chip(std::make_shared<SimCy22150>(chipAddress)) {
        for (int r = 0; r < SimCy22150::RegisterCount; ++r) {
            chip->setRegisterValue(r, chipPattern(r));
        }
        usb.plug(SimDevice::adapter(1, 4, chip));
        i2c_init(c, &usb, &form);
        usb.rescan();
        c.handle = usb.open(usb.busses().at(0).devices.at(0));
        usb.resetTransfers();
    }
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    SimUsbBackend usb;
    std::shared_ptr<SimCy22150> chip;
    RecordingObserver form;
    AdapterConnection c;
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
    QTest::addColumn<int>("transfersSent");
    QTest::addColumn<int>("lastRequest");
    QTest::addColumn<int>("progressCalls");

    const SimFault io = SimFault::failure(-1, "Input/Output Error");
    const SimFault pipe = SimFault::failure(-9, "Pipe error");
    // A read of 4 registers: 0 set-up, 1 status, 2/4/6 bytes (request 4) with their status at
    // 3/5/7, 8 the last byte (request 6), 9 its status, 10 the closing status.
    QTest::newRow("-4 set-up moves no data")
        << 4 << 0 << SimFault::noData() << -4 << 0 << 1 << 5 << 0;
    QTest::newRow("-4 set-up fails") << 4 << 0 << io << -4 << 0 << 1 << 5 << 0;
    QTest::newRow("-2 set-up not acknowledged")
        << 4 << 1 << SimFault::answer(2) << -2 << 0 << 2 << 3 << 0;
    QTest::newRow("-2 status idle after set-up")
        << 4 << 1 << SimFault::answer(0) << -2 << 0 << 2 << 3 << 0;
    QTest::newRow("-2 status transfer fails") << 4 << 1 << pipe << -2 << 0 << 2 << 3 << 0;
    QTest::newRow("-2 status without its byte")
        << 4 << 1 << SimFault::noData() << -2 << 0 << 2 << 3 << 0;
    QTest::newRow("-6 first byte moves no data")
        << 4 << 2 << SimFault::noData() << -6 << 0 << 3 << 4 << 1;
    QTest::newRow("-6 second byte fails") << 4 << 4 << io << -6 << 1 << 5 << 4 << 2;
    QTest::newRow("-6 third byte times out")
        << 4 << 6 << SimFault::timeout() << -6 << 2 << 7 << 4 << 3;
    QTest::newRow("-3 status after first byte fails") << 4 << 3 << pipe << -3 << 1 << 4 << 3 << 1;
    QTest::newRow("-3 third byte not acknowledged")
        << 4 << 7 << SimFault::answer(2) << -3 << 3 << 8 << 3 << 3;
    QTest::newRow("-5 last byte moves no data")
        << 4 << 8 << SimFault::noData() << -5 << 3 << 9 << 6 << 4;
    QTest::newRow("-5 last byte fails") << 4 << 8 << io << -5 << 3 << 9 << 6 << 4;
    QTest::newRow("-3 last byte not acknowledged")
        << 4 << 9 << SimFault::answer(0xFF) << -3 << 4 << 10 << 3 << 4;
    QTest::newRow("-3 closing status not 1")
        << 4 << 10 << SimFault::answer(0) << -3 << 4 << 11 << 3 << 4;
    QTest::newRow("-3 closing status without its byte")
        << 4 << 10 << SimFault::noData() << -3 << 4 << 11 << 3 << 4;
    QTest::newRow("-5 single register") << 1 << 2 << SimFault::noData() << -5 << 0 << 3 << 6 << 1;
    QTest::newRow("-3 byte 100 of 256 not acknowledged")
        << 256 << 203 << SimFault::answer(2) << -3 << 101 << 204 << 3 << 101;
    QTest::newRow("-1 count 0") << 0 << -1 << SimFault() << -1 << 0 << 0 << 0 << 0;
    QTest::newRow("-1 negative count") << -3 << -1 << SimFault() << -1 << 0 << 0 << 0 << 0;
}

void TestTransport::readFailures() {
    QFETCH(int, count);
    QFETCH(int, faultAt);
    QFETCH(SimFault, fault);
    QFETCH(int, result);
    QFETCH(int, bytesKept);
    QFETCH(int, transfersSent);
    QFETCH(int, lastRequest);
    QFETCH(int, progressCalls);
    Bench b;
    if (faultAt >= 0) {
        b.usb.injectFault(faultAt, fault);
    }
    constexpr quint8 first = 0x10;
    std::vector<quint8> buffer(256, Unread);
    QCOMPARE(i2c_read_registers(b.c, 0x69, first, count, buffer.data()), result);

    // Nothing is sent after the failing transfer.
    QCOMPARE(int(b.usb.transfers().size()), transfersSent);
    if (transfersSent > 0) {
        QCOMPARE(int(b.usb.transfers().back().request), lastRequest);
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
    const SimFault io = SimFault::failure(-1, "Input/Output Error");
    QTest::newRow("-4 write moves no data") << 0 << SimFault::noData() << -4 << 1 << false;
    QTest::newRow("-4 write fails") << 0 << io << -4 << 1 << false;
    QTest::newRow("-4 write times out") << 0 << SimFault::timeout() << -4 << 1 << false;
    QTest::newRow("-2 not acknowledged") << 1 << SimFault::answer(2) << -2 << 2 << true;
    QTest::newRow("-2 status idle") << 1 << SimFault::answer(0) << -2 << 2 << true;
    QTest::newRow("-2 status 0xFF") << 1 << SimFault::answer(0xFF) << -2 << 2 << true;
    QTest::newRow("-2 status transfer fails") << 1 << io << -2 << 2 << true;
    QTest::newRow("-2 status without its byte") << 1 << SimFault::noData() << -2 << 2 << true;
}

void TestTransport::writeFailures() {
    QFETCH(int, faultAt);
    QFETCH(SimFault, fault);
    QFETCH(int, result);
    QFETCH(int, transfersSent);
    QFETCH(bool, chipWritten);
    Bench b;
    b.usb.injectFault(faultAt, fault);
    QCOMPARE(i2c_write_register(b.c, 0x69, 0x09, 0x20), result);
    QCOMPARE(int(b.usb.transfers().size()), transfersSent);
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
    QCOMPARE(
        describe(b.usb.transfers()),
        describe(QList<Expected>{{0x20, 5, 0, 0x69, 1, QByteArray(1, '\0')}, statusTransfer(2)}));
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
    QTest::newRow("transfer fails") << SimFault::failure(-9, "Pipe error") << -9 << QByteArray();
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
        << 0x69 << stale << "write" << 1 << pipe << -2 << "Error: Pipe error";
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
    Bench b{quint8(address)};
    b.usb.injectFault(1, earlier);
    QVERIFY(i2c_write_register(b.c, quint8(address), 0x09, 0x20) < 0);
    b.usb.resetTransfers();

    b.usb.injectFault(faultAt, fault);
    std::vector<quint8> buffer(256, Unread);
    QCOMPARE(operation == "write"
                 ? i2c_write_register(b.c, quint8(address), 0x09, 0x20)
                 : i2c_read_registers(b.c, quint8(address), 0x10, 4, buffer.data()),
             result);
    QCOMPARE(int(b.usb.transfers().size()), faultAt + 1);  // nothing sent after the failure
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

QTEST_APPLESS_MAIN(TestTransport)
#include "tst_transport.moc"
