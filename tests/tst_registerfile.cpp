// SPDX-License-Identifier: MIT
#include "files/registerfile.h"
#include "registerfilebytes.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <future>
#include <limits>
#include <thread>

Q_DECLARE_METATYPE(RegisterFileContents)

namespace {
constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

using FileBytes::readBigEndian;
using FileBytes::readDouble;

QByteArray handEncoded(const RegisterFileContents& c, quint32 blockLength = 256,
                       const QByteArray& blockTail = {}) {
    return FileBytes::encode(c, blockLength, blockTail);
}

RegisterFileContents sample() {
    RegisterFileContents c;
    for (int i = 0; i < 256; ++i)
        c.registers[size_t(i)] = quint8(255 - i);
    c.fRef = 14318180;
    c.flags = 9;
    c.f1Number = 100000000;
    c.f2Number = 12000000;
    c.targetF1 = 25000000;
    c.targetF2 = -2;
    return c;
}

void compareContents(const RegisterFileContents& actual, const RegisterFileContents& expected) {
    QVERIFY(actual.registers == expected.registers);
    QCOMPARE(actual.fRef, expected.fRef);
    QCOMPARE(actual.flags, expected.flags);
    QCOMPARE(actual.f1Number, expected.f1Number);
    QCOMPARE(actual.f2Number, expected.f2Number);
    QCOMPARE(actual.targetF1, expected.targetF1);
    QCOMPARE(actual.targetF2, expected.targetF2);
}

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

// What a decoder must decide for any byte array, derived from the layout by hand: complete and
// with usable numbers, or refused.
bool acceptable(const QByteArray& bytes) {
    if (bytes.size() < 4)
        return false;
    quint64 length = readBigEndian(bytes, 0, 4);
    if (length == 0xFFFFFFFF)
        length = 0;
    if (length < 256 || quint64(bytes.size()) < 4 + length + 44)
        return false;
    const int fields = int(4 + length);
    const double fRef = readDouble(bytes, fields);
    if (!(fRef >= 1e6 && fRef <= 2e8))  // a fraction is dropped, not refused
        return false;
    for (int offset : {12, 20, 28, 36}) {
        if (!std::isfinite(readDouble(bytes, fields + offset)))
            return false;
    }
    return true;
}
}  // namespace

class TestRegisterFile : public QObject {
    Q_OBJECT

private slots:
    void layout_data();
    void layout();
    void defaultStreamReadsTheFile();
    void fieldOffsets_data();
    void fieldOffsets();
    void roundTrip_data();
    void roundTrip();
    void refusals_data();
    void refusals();
    void referenceRange_data();
    void referenceRange();
    void longerBlock_data();
    void longerBlock();
    void hostileLengthReadsNoFurther();
    void readsFromDevicePosition();
    void readAtPath_data();
    void readAtPath();
    void randomAndTruncatedInput();
    void targetFieldNumber_data();
    void targetFieldNumber();
};

void TestRegisterFile::layout_data() {
    QTest::addColumn<RegisterFileContents>("contents");
    QTest::newRow("all zero") << RegisterFileContents{};
    QTest::newRow("sample") << sample();
    RegisterFileContents extreme = sample();
    extreme.flags = -1;
    extreme.fRef = -0.0;
    extreme.f1Number = std::numeric_limits<double>::denorm_min();
    extreme.f2Number = std::numeric_limits<double>::max();
    QTest::newRow("extreme values") << extreme;
}

void TestRegisterFile::layout() {
    QFETCH(RegisterFileContents, contents);
    const QByteArray bytes = encodeRegisterFile(contents);
    QCOMPARE(bytes.size(), 304);
    QCOMPARE(bytes.left(4), hex("00000100"));
    QCOMPARE(bytes, handEncoded(contents));
}

// The file is the one a QDataStream with its default settings writes and reads, so files stay
// interchangeable with tools that use a plain stream.
void TestRegisterFile::defaultStreamReadsTheFile() {
    const RegisterFileContents c = sample();
    QByteArray bytes = encodeRegisterFile(c);
    QDataStream in(&bytes, QIODevice::ReadOnly);
    QByteArray block;
    double fRef = 0, f1 = 0, f2 = 0, t1 = 0, t2 = 0;
    qint32 flags = 0;
    in >> block >> fRef >> flags >> f1 >> f2 >> t1 >> t2;
    QCOMPARE(in.status(), QDataStream::Ok);
    QVERIFY(in.atEnd());
    QCOMPARE(block, QByteArray(reinterpret_cast<const char*>(c.registers.data()), 256));
    QCOMPARE(fRef, c.fRef);
    QCOMPARE(flags, c.flags);
    QCOMPARE(f1, c.f1Number);
    QCOMPARE(f2, c.f2Number);
    QCOMPARE(t1, c.targetF1);
    QCOMPARE(t2, c.targetF2);

    QByteArray written;
    QDataStream out(&written, QIODevice::WriteOnly);
    out << block << fRef << flags << f1 << f2 << t1 << t2;
    QCOMPARE(written, bytes);
}

// Each field at its offset, with byte patterns worked out from IEEE 754 by hand.
void TestRegisterFile::fieldOffsets_data() {
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("block length") << 0 << hex("00000100");
    QTest::newRow("register 0x00") << 4 << hex("ff");
    QTest::newRow("registers 0x09..0x0C") << 4 + 0x09 << hex("f6f5f4f3");
    QTest::newRow("register 0xFF") << 259 << hex("00");
    QTest::newRow("fRef 10 MHz") << 260 << hex("416312d000000000");
    QTest::newRow("flags 9") << 268 << hex("00000009");
    QTest::newRow("F1 100 MHz") << 272 << hex("4197d78400000000");
    QTest::newRow("F2 12 MHz") << 280 << hex("4166e36000000000");
    QTest::newRow("targetF1 25 MHz") << 288 << hex("4177d78400000000");
    QTest::newRow("targetF2 -2") << 296 << hex("c000000000000000");
}

void TestRegisterFile::fieldOffsets() {
    QFETCH(int, offset);
    QFETCH(QByteArray, expected);
    RegisterFileContents c = sample();
    c.fRef = 10000000;
    const QByteArray bytes = encodeRegisterFile(c);
    QCOMPARE(bytes.mid(offset, expected.size()), expected);
}

void TestRegisterFile::roundTrip_data() {
    QTest::addColumn<RegisterFileContents>("contents");
    RegisterFileContents zero;
    zero.fRef = 1e6;
    QTest::newRow("all zero but the lowest reference") << zero;
    QTest::newRow("sample") << sample();
    RegisterFileContents other = sample();
    other.flags = 0x7FFFFFF0;  // bits beyond the four options are carried, not judged
    other.fRef = 2e8;
    other.f1Number = 0.1;
    other.targetF1 = 1e300;
    QTest::newRow("odd values") << other;
}

void TestRegisterFile::roundTrip() {
    QFETCH(RegisterFileContents, contents);
    RegisterFileContents decoded;
    QString reason;
    QVERIFY(decodeRegisterFile(encodeRegisterFile(contents), decoded, reason));
    QVERIFY(reason.isEmpty());
    compareContents(decoded, contents);
}

void TestRegisterFile::refusals_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");
    const QByteArray good = handEncoded(sample());
    const QString early = "the file ends before its last field";

    QTest::newRow("empty file") << QByteArray() << early;
    QTest::newRow("length cut") << good.left(3) << early;
    QTest::newRow("block cut") << good.left(200) << early;
    QTest::newRow("fRef cut") << good.left(263) << early;
    QTest::newRow("flags missing") << good.left(268) << early;
    QTest::newRow("last byte missing") << good.left(303) << early;

    RegisterFileContents c = sample();
    QByteArray shortBlock = handEncoded(c);
    shortBlock.remove(4 + 255, 1);
    shortBlock.replace(0, 4, hex("000000ff"));
    QTest::newRow("block of 255") << shortBlock
                                  << "the register block holds only 255 bytes instead of 256";
    QByteArray emptyBlock = hex("00000000") + handEncoded(c).mid(260);
    QTest::newRow("block of 0") << emptyBlock
                                << "the register block holds only 0 bytes instead of 256";
    QByteArray nullBlock = hex("ffffffff") + handEncoded(c).mid(260);
    QTest::newRow("null block") << nullBlock
                                << "the register block holds only 0 bytes instead of 256";

    auto withValue = [](void (*set)(RegisterFileContents&)) {
        RegisterFileContents v = sample();
        set(v);
        return handEncoded(v);
    };
    QTest::newRow("fRef NaN") << withValue([](RegisterFileContents& v) { v.fRef = NaN; })
                              << "the reference frequency is not a finite number";
    QTest::newRow("fRef +inf") << withValue([](RegisterFileContents& v) { v.fRef = Inf; })
                               << "the reference frequency is not a finite number";
    QTest::newRow("fRef -inf") << withValue([](RegisterFileContents& v) { v.fRef = -Inf; })
                               << "the reference frequency is not a finite number";
    const QString range = " Hz is out of range";
    QTest::newRow("fRef too large") << withValue([](RegisterFileContents& v) { v.fRef = 3e9; })
                                    << "the reference frequency 3e+09" + range;
    QTest::newRow("fRef too small") << withValue([](RegisterFileContents& v) { v.fRef = -3e9; })
                                    << "the reference frequency -3e+09" + range;
    QTest::newRow("fRef 0") << withValue([](RegisterFileContents& v) { v.fRef = 0; })
                            << "the reference frequency 0" + range;
    QTest::newRow("fRef negative") << withValue([](RegisterFileContents& v) { v.fRef = -10e6; })
                                   << "the reference frequency -1e+07" + range;
    QTest::newRow("fRef 0.4") << withValue([](RegisterFileContents& v) { v.fRef = 0.4; })
                              << "the reference frequency 0.4" + range;
    QTest::newRow("fRef 5e8") << withValue([](RegisterFileContents& v) { v.fRef = 5e8; })
                              << "the reference frequency 5e+08" + range;
    QTest::newRow("F1 NaN") << withValue([](RegisterFileContents& v) { v.f1Number = NaN; })
                            << "the F1 frequency is not a finite number";
    QTest::newRow("F2 inf") << withValue([](RegisterFileContents& v) { v.f2Number = Inf; })
                            << "the F2 frequency is not a finite number";
    QTest::newRow("targetF1 -inf") << withValue([](RegisterFileContents& v) { v.targetF1 = -Inf; })
                                   << "the F1 target is not a finite number";
    QTest::newRow("targetF2 NaN") << withValue([](RegisterFileContents& v) { v.targetF2 = NaN; })
                                  << "the F2 target is not a finite number";
}

void TestRegisterFile::refusals() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    RegisterFileContents untouched = sample();
    untouched.flags = 0x55;
    RegisterFileContents c = untouched;
    QString actual;
    QVERIFY(!decodeRegisterFile(bytes, c, actual));
    QCOMPARE(actual, reason);
    compareContents(c, untouched);
}

// fRef is shown in sbFreference, which holds whole hertz from 1 MHz to 200 MHz: a value outside
// that range is refused, a fraction of a hertz is dropped as the box drops it.
void TestRegisterFile::referenceRange_data() {
    QTest::addColumn<double>("fRef");
    QTest::addColumn<double>("decoded");  // 0: refused
    QTest::newRow("lowest") << 1e6 << 1e6;
    QTest::newRow("highest") << 2e8 << 2e8;
    QTest::newRow("a crystal's") << 14318180.0 << 14318180.0;
    QTest::newRow("a crystal's with a fraction") << 14318180.9 << 14318180.0;
    QTest::newRow("half a hertz") << 10000000.5 << 10000000.0;
    QTest::newRow("just above the lowest") << 1000000.25 << 1e6;
    QTest::newRow("just below the highest") << 199999999.75 << 199999999.0;
    QTest::newRow("1 Hz below the lowest") << 999999.0 << 0.0;
    QTest::newRow("just below the lowest") << 999999.9999 << 0.0;
    QTest::newRow("1 Hz above the highest") << 200000001.0 << 0.0;
    QTest::newRow("just above the highest") << 200000000.0001 << 0.0;
    QTest::newRow("negative zero") << -0.0 << 0.0;
    QTest::newRow("400 kHz, below the spin box") << 400000.0 << 0.0;
    QTest::newRow("int max") << 2147483647.0 << 0.0;
    QTest::newRow("largest double") << std::numeric_limits<double>::max() << 0.0;
    QTest::newRow("smallest double") << std::numeric_limits<double>::denorm_min() << 0.0;
}

void TestRegisterFile::referenceRange() {
    QFETCH(double, fRef);
    QFETCH(double, decoded);
    RegisterFileContents c = sample();
    c.fRef = fRef;
    RegisterFileContents read;
    QString reason;
    const bool accepted = decoded > 0;
    QCOMPARE(decodeRegisterFile(handEncoded(c), read, reason), accepted);
    QCOMPARE(reason.isEmpty(), accepted);
    if (accepted) {
        QCOMPARE(read.fRef, decoded);
        QVERIFY(read.registers == c.registers);  // the rest of the file as it was
        QCOMPARE(read.targetF1, c.targetF1);
    } else {
        QCOMPARE(reason, "the reference frequency " +
                             QString::number(fRef, 'g', QLocale::FloatingPointShortest) +
                             " Hz is out of range");
    }
}

void TestRegisterFile::longerBlock_data() {
    QTest::addColumn<int>("extra");
    QTest::newRow("one more byte") << 1;
    QTest::newRow("44 more bytes") << 44;
    QTest::newRow("one MiB more") << (1 << 20);
}

void TestRegisterFile::longerBlock() {
    QFETCH(int, extra);
    const RegisterFileContents c = sample();
    // The tail looks like fields, so reading them from the wrong place would show.
    QByteArray tail(extra, char(0x7F));
    const QByteArray bytes = handEncoded(c, quint32(256 + extra), tail);
    RegisterFileContents decoded;
    QString reason;
    QVERIFY2(decodeRegisterFile(bytes, decoded, reason), qPrintable(reason));
    compareContents(decoded, c);
}

// A block length of nearly 4 GiB over a file of a few bytes is refused as incomplete.
void TestRegisterFile::hostileLengthReadsNoFurther() {
    QByteArray bytes = handEncoded(sample());
    for (const char* length : {"fffffffe", "7ffffff0", "80000000"}) {
        bytes.replace(0, 4, hex(length));
        RegisterFileContents decoded;
        QString reason;
        QVERIFY(!decodeRegisterFile(bytes, decoded, reason));
        QCOMPARE(reason, QString("the file ends before its last field"));
    }
}

void TestRegisterFile::readsFromDevicePosition() {
    QByteArray bytes = encodeRegisterFile(sample());
    bytes.append("trailing bytes are not read");
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    RegisterFileContents decoded;
    QString reason;
    QVERIFY(readRegisterFile(buffer, decoded, reason));
    compareContents(decoded, sample());
    QCOMPARE(buffer.pos(), qint64(304));
}

// Holds a FIFO open for writing, so that opening it for reading could not block, and closes it
// within seconds, so that a read from it would end: a wrong loader fails instead of hanging.
class FifoGuard {
public:
    explicit FifoGuard(const QString& path)
        : fd_(::open(QFile::encodeName(path).constData(), O_RDWR | O_NONBLOCK)),
          closer_([this, stop = stop_.get_future()] {
              stop.wait_for(std::chrono::seconds(5));
              ::close(fd_);
          }) {}
    ~FifoGuard() {
        stop_.set_value();
        closer_.join();
    }
    FifoGuard(const FifoGuard&) = delete;
    FifoGuard& operator=(const FifoGuard&) = delete;
    bool valid() const { return fd_ >= 0; }

private:
    int fd_;
    std::promise<void> stop_;
    std::thread closer_;
};

void TestRegisterFile::readAtPath_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");  // empty: the file loads
    const QString notRegular = "it is not a regular file";
    QTest::newRow("good file") << "good"
                               << "";
    QTest::newRow("symbolic link to a good file") << "link to good"
                                                  << "";
    QTest::newRow("longer block up to the limit") << "65536 bytes"
                                                  << "";
    QTest::newRow("one byte over the limit")
        << "65537 bytes"
        << "it is 65537 bytes long, longer than a register file can be (65536 bytes)";
    QTest::newRow("length prefix promises gigabytes") << "hostile length"
                                                      << "the file ends before its last field";
    QTest::newRow("directory") << "directory" << notRegular;
    QTest::newRow("FIFO") << "fifo" << notRegular;
    QTest::newRow("symbolic link to a FIFO") << "link to fifo" << notRegular;
    QTest::newRow("/dev/zero") << "/dev/zero" << notRegular;
    QTest::newRow("/dev/urandom") << "/dev/urandom" << notRegular;
    QTest::newRow("missing file") << "missing"
                                  << "No such file or directory";
    QTest::newRow("dangling symbolic link") << "link to missing"
                                            << "No such file or directory";
}

void TestRegisterFile::readAtPath() {
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString good = dir.filePath("good" + QString(RegisterFileExtension));
    const QString fifo = dir.filePath("fifo");
    auto write = [](const QString& name, const QByteArray& bytes) {
        QFile file(name);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    };
    QVERIFY(write(good, encodeRegisterFile(sample())));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    FifoGuard guard(fifo);
    QVERIFY(guard.valid());

    QString path = dir.filePath(kind);
    if (kind == "good") {
        path = good;
    } else if (kind.startsWith("link to ")) {
        const QString target = kind == "link to good" ? good : dir.filePath(kind.mid(8));
        QVERIFY(QFile::link(target, path));
    } else if (kind.endsWith(" bytes")) {
        const int size = kind.section(' ', 0, 0).toInt();
        const QByteArray bytes =
            handEncoded(sample(), quint32(size - 48), QByteArray(size - 304, char(0x7F)));
        QCOMPARE(bytes.size(), size);
        QVERIFY(write(path, bytes));
    } else if (kind == "hostile length") {
        QByteArray bytes = encodeRegisterFile(sample());
        bytes.replace(0, 4, hex("fffffffe"));
        QVERIFY(write(path, bytes));
    } else if (kind == "directory") {
        QVERIFY(QDir(dir.path()).mkdir(kind));
    } else if (kind.startsWith('/')) {
        path = kind;
    }

    RegisterFileContents untouched;
    untouched.flags = 0x55;
    RegisterFileContents c = untouched;
    QString actual;
    QCOMPARE(readRegisterFileAt(path, c, actual), reason.isEmpty());
    QCOMPARE(actual, reason);
    compareContents(c, reason.isEmpty() ? sample() : untouched);
}

void TestRegisterFile::randomAndTruncatedInput() {
    QRandomGenerator random(20240611);
    const QByteArray good = encodeRegisterFile(sample());
    int accepted = 0;
    int refused = 0;
    for (int round = 0; round < 4000; ++round) {
        QByteArray bytes;
        switch (round % 4) {
            case 0:  // noise of any length
                bytes.resize(int(random.bounded(400)));
                for (char& b : bytes)
                    b = char(random.bounded(256));
                break;
            case 1:  // a good file cut anywhere
                bytes = good.left(int(random.bounded(305)));
                break;
            case 2:  // a good file with a few bytes changed anywhere
                bytes = good;
                for (int n = int(random.bounded(1, 4)); n > 0; --n)
                    bytes[int(random.bounded(304))] = char(random.bounded(256));
                break;
            default:  // a plausible block length with the fields changed, cut or padded
                bytes = good;
                bytes.replace(0, 4, hex("00000100"));
                bytes[2] = char(random.bounded(2));
                bytes[3] = char(random.bounded(256));
                bytes[int(random.bounded(260, 304))] = char(0xFF);
                bytes.resize(int(random.bounded(250, 400)), char(0x41));
                break;
        }
        RegisterFileContents decoded;
        QString reason;
        const bool ok = decodeRegisterFile(bytes, decoded, reason);
        QVERIFY2(ok == acceptable(bytes), bytes.toHex().constData());
        QCOMPARE(reason.isEmpty(), ok);
        if (ok) {
            const int fields = int(4 + readBigEndian(bytes, 0, 4));
            QCOMPARE(QByteArray(reinterpret_cast<const char*>(decoded.registers.data()), 256),
                     bytes.mid(4, 256));
            QCOMPARE(decoded.flags, qint32(quint32(readBigEndian(bytes, fields + 8, 4))));
            QCOMPARE(decoded.fRef, std::trunc(readDouble(bytes, fields)));
            ++accepted;
        } else {
            ++refused;
        }
    }
    // The mix must exercise both outcomes, or the loop proves little.
    QVERIFY(accepted > 100);
    QVERIFY(refused > 100);
}

void TestRegisterFile::targetFieldNumber_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("number");
    QTest::newRow("formatted") << " 25000000.00000" << 25000000.0;
    QTest::newRow("surrounding blanks") << "  12.5 \t" << 12.5;
    QTest::newRow("negative") << "-3" << -3.0;
    QTest::newRow("zero as shown") << "     0.00000" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("not a number") << "abc" << 0.0;
    QTest::newRow("number with unit") << "10 Hz" << 0.0;
    QTest::newRow("infinity") << "inf" << 0.0;
    QTest::newRow("nan") << "nan" << 0.0;
    QTest::newRow("overflow") << "1e999" << 0.0;
}

void TestRegisterFile::targetFieldNumber() {
    QFETCH(QString, text);
    QFETCH(double, number);
    QCOMPARE(::targetFieldNumber(text), number);
}

QTEST_APPLESS_MAIN(TestRegisterFile)
#include "tst_registerfile.moc"
