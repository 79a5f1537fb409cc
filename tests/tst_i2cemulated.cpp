// SPDX-License-Identifier: MIT
#include "emulatedusb.h"
#include "filemodeoverride.h"

#include <QtTest>

#include <fcntl.h>
#include <libusb.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

// The emulated I2C buses as a program meets them: sysfs entries read as files, /dev/i2c-N opened
// and driven with real ioctl() calls through umockdev's preload library, an adapter's kernel
// driver detached and given back through the real libusb-1.0.
class TestI2cEmulated : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void sysfsShowsEachBusAsLinux_data();
    void sysfsShowsEachBusAsLinux();
    void addressAndFunctionality_data();
    void addressAndFunctionality();
    void transfersFollowI2cDevAndTheDriver_data();
    void transfersFollowI2cDevAndTheDriver();
    void tinyUsbDriverSendsItsControlTransfers_data();
    void tinyUsbDriverSendsItsControlTransfers();
    void nodeWithoutPermissionRefusesAnOrdinaryUser();
    void kernelDriverIsDetachedAndGivenBack_data();
    void kernelDriverIsDetachedAndGivenBack();
    void kernelTrafficModelInterleavesAnotherProgram_data();
    void kernelTrafficModelInterleavesAnotherProgram();
};

namespace {
constexpr quint8 Chip = 0x69;
constexpr quint8 Nobody = 0x6A;

std::array<quint8, SimCy22150::RegisterCount> pattern() {
    std::array<quint8, SimCy22150::RegisterCount> r{};
    for (int i = 0; i < SimCy22150::RegisterCount; ++i)
        r[std::size_t(i)] = quint8(i ^ 0x5A);
    return r;
}

I2cBusSetup busSetup(int number, const I2cDriverProfile& driver) {
    I2cBusSetup setup;
    setup.number = number;
    setup.driver = &driver;
    setup.chipRegisters = pattern();
    return setup;
}

// i2c-7: an i2c-tiny-usb adapter (USB 1-4) with its kernel driver bound; i2c-1 the Raspberry
// Pi's; i2c-10..14 the USB bridges and a controller no table knows; i2c-15 an adapter without
// i2c-dev; i2c-16 a bus whose node nobody may open, with no chip.
struct Machine {
    EmulatedUsb usb;
    std::map<int, std::shared_ptr<EmulatedI2cBus>> buses;

    Machine() {
        buses[7] = usb.addAdapterWithKernelDriver(1, 4, busSetup(7, I2cDrivers::tinyUsb()));
        buses[1] = usb.addI2cBus(busSetup(1, I2cDrivers::bcm2835()));
        int number = 10;
        for (const char* name : {"mcp2221", "ft260", "cp2112", "dln2-i2c", "acme-i2c"}) {
            buses[number] = usb.addI2cBus(busSetup(number, *I2cDrivers::find(name)), 2);
            ++number;
        }
        I2cBusSetup unloaded = busSetup(15, I2cDrivers::unknown());
        unloaded.i2cDevLoaded = false;
        buses[15] = usb.addI2cBus(unloaded);
        I2cBusSetup denied = busSetup(16, I2cDrivers::unknown());
        denied.nodeAccessible = false;
        denied.chipAddress.reset();
        buses[16] = usb.addI2cBus(denied);
    }
};

std::unique_ptr<Machine> machine;

QString readText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("<missing>");
    return QString::fromUtf8(file.readAll());
}

// The sysfs directory a link resolves to, as a path below /sys.
QString resolved(const QString& link) {
    return QFileInfo(link).canonicalFilePath();
}

// The first directory up the parent chain that describes a USB device, or empty.
QString usbAncestor(QString dir) {
    for (; dir.startsWith("/sys/devices/"); dir = QFileInfo(dir).path())
        if (QFile::exists(dir + "/busnum"))
            return dir;
    return {};
}

struct Message {
    quint16 address;
    bool read;
    std::vector<quint8> bytes;  // to write, or as many as to read
};

Message writeOf(quint16 address, std::vector<quint8> bytes) {
    return Message{address, false, std::move(bytes)};
}

Message readOf(quint16 address, int length) {
    return Message{address, true, std::vector<quint8>(std::size_t(length), 0)};
}

// One I2C_RDWR: the number of messages, or the negative errno.
int readWrite(int fd, std::vector<Message>& messages) {
    std::vector<i2c_msg> msgs;
    for (Message& m : messages)
        msgs.push_back(i2c_msg{m.address, quint16(m.read ? I2C_M_RD : 0), quint16(m.bytes.size()),
                               m.bytes.data()});
    i2c_rdwr_ioctl_data data{msgs.data(), quint32(msgs.size())};
    const int result = ioctl(fd, I2C_RDWR, &data);
    return result < 0 ? -errno : result;
}

struct Node {
    int fd;
    explicit Node(int bus)
        : fd(open(QByteArray("/dev/i2c-" + QByteArray::number(bus)).constData(), O_RDWR)) {}
    ~Node() {
        if (fd >= 0)
            close(fd);
    }
};

std::vector<quint8> registers(int first, int count) {
    std::vector<quint8> r;
    for (int i = first; i < first + count; ++i)
        r.push_back(pattern()[std::size_t(i & 0xFF)]);
    return r;
}

QString describe(const std::vector<ControlTransferRecord>& transfers) {
    QStringList lines;
    for (const ControlTransferRecord& t : transfers)
        lines << QString::asprintf("%02X %d value 0x%04X index 0x%02X length %d",
                                   t.setup.requestType, t.setup.request, t.setup.value,
                                   t.setup.index, t.setup.length);
    return lines.join('\n');
}
}  // namespace

Q_DECLARE_METATYPE(std::vector<Message>)
Q_DECLARE_METATYPE(std::vector<quint8>)

void TestI2cEmulated::initTestCase() {
    QVERIFY2(EmulatedUsb::preloaded(), "run under umockdev-wrapper");
    machine = std::make_unique<Machine>();
}

void TestI2cEmulated::init() {
    for (auto& [number, bus] : machine->buses) {
        if (bus->adapter())
            bus->adapter()->powerCycle();
        bus->powerCycle();
    }
}

void TestI2cEmulated::cleanupTestCase() {
    machine.reset();
}

void TestI2cEmulated::sysfsShowsEachBusAsLinux_data() {
    QTest::addColumn<int>("bus");
    QTest::addColumn<QString>("adapter");  // the adapter directory i2c-N
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("driver");  // where the adapter device's driver link leads
    QTest::addColumn<QString>("usb");     // the USB ancestor's busnum, devnum, ids, or empty
    QTest::addColumn<bool>("i2cDev");

    QTest::newRow("i2c-tiny-usb") << 7 << "/sys/devices/1-1/1-1:1.0/i2c-7"
                                  << "i2c-tiny-usb at bus 001 device 004"
                                  << "/sys/bus/usb/drivers/i2c-tiny-usb"
                                  << "1 4 0403 c631" << true;
    QTest::newRow("Raspberry Pi") << 1 << "/sys/devices/platform/soc/fe804000.i2c/i2c-1"
                                  << "bcm2835 (i2c@7e804000)"
                                  << "/sys/bus/platform/drivers/i2c-bcm2835"
                                  << "" << true;
    QTest::newRow("MCP2221") << 10 << "/sys/devices/2-1/2-1:1.0/0003:04D8:00DD.0001/i2c-10"
                             << "MCP2221 usb-i2c bridge"
                             << "/sys/bus/hid/drivers/mcp2221"
                             << "2 30 04d8 00dd" << true;
    QTest::newRow("FT260") << 11 << "/sys/devices/2-2/2-2:1.0/0003:0403:6030.0003/i2c-11"
                           << "FT260 usb-i2c bridge"
                           << "/sys/bus/hid/drivers/ft260"
                           << "2 31 0403 6030" << true;
    QTest::newRow("CP2112") << 12 << "/sys/devices/2-3/2-3:1.0/0003:10C4:EA90.0002/i2c-12"
                            << "CP2112 SMBus Bridge on hidraw0"
                            << "/sys/bus/hid/drivers/cp2112"
                            << "2 32 10c4 ea90" << true;
    QTest::newRow("DLN-2") << 13 << "/sys/devices/2-4/2-4:1.0/dln2-i2c.1.auto/i2c-13"
                           << "dln2-i2c-2-4:1.0-0"
                           << "/sys/bus/platform/drivers/dln2-i2c"
                           << "2 33 a257 2013" << true;
    QTest::newRow("unknown driver") << 14 << "/sys/devices/platform/acme-i2c.0/i2c-14"
                                    << "ACME I2C controller"
                                    << "/sys/bus/platform/drivers/acme-i2c"
                                    << "" << true;
    QTest::newRow("i2c-dev not loaded") << 15 << "/sys/devices/platform/acme-i2c.0/i2c-15"
                                        << "ACME I2C controller"
                                        << "/sys/bus/platform/drivers/acme-i2c"
                                        << "" << false;
}

void TestI2cEmulated::sysfsShowsEachBusAsLinux() {
    QFETCH(int, bus);
    QFETCH(QString, adapter);
    QFETCH(QString, name);
    QFETCH(QString, driver);
    QFETCH(QString, usb);
    QFETCH(bool, i2cDev);
    const QString busName = QStringLiteral("i2c-%1").arg(bus);
    QCOMPARE(resolved("/sys/bus/i2c/devices/" + busName), adapter);
    QCOMPARE(readText(adapter + "/name"), name + "\n");
    const QString device = QFileInfo(adapter).path();
    QCOMPARE(resolved(device + "/driver"), driver);
    QCOMPARE(QFileInfo(resolved(device + "/driver")).isDir(), true);

    const QString classEntry = "/sys/class/i2c-dev/" + busName;
    const QString node = "/dev/" + busName;
    if (i2cDev) {
        QCOMPARE(resolved(classEntry), adapter + "/i2c-dev/" + busName);
        QCOMPARE(readText(classEntry + "/name"), name + "\n");
        QCOMPARE(readText(classEntry + "/dev"), QStringLiteral("89:%1\n").arg(bus));
        QCOMPARE(resolved(classEntry + "/device"), adapter);
    } else {
        QVERIFY(!QFileInfo::exists(classEntry));
    }
    Node opened(bus);
    QCOMPARE(opened.fd >= 0, i2cDev);
    if (!i2cDev)
        QCOMPARE(errno, ENOENT);

    const QString ancestor = usbAncestor(adapter);
    QString ids;
    if (!ancestor.isEmpty())
        ids = QStringList{readText(ancestor + "/busnum"), readText(ancestor + "/devnum"),
                          readText(ancestor + "/idVendor"), readText(ancestor + "/idProduct")}
                  .join(' ')
                  .remove('\n');
    QCOMPARE(ids, usb);
}

void TestI2cEmulated::addressAndFunctionality_data() {
    QTest::addColumn<int>("bus");
    QTest::addColumn<bool>("tenBit");  // I2C_TENBIT 1 first
    QTest::addColumn<int>("request");
    QTest::addColumn<qulonglong>("argument");  // the address, or for I2C_FUNCS the mask expected
    QTest::addColumn<int>("error");            // 0: the call succeeds

    QTest::newRow("I2C_SLAVE 0x69") << 1 << false << int(I2C_SLAVE) << 0x69ULL << 0;
    QTest::newRow("I2C_SLAVE 0x7F") << 1 << false << int(I2C_SLAVE) << 0x7FULL << 0;
    QTest::newRow("I2C_SLAVE 0x80") << 1 << false << int(I2C_SLAVE) << 0x80ULL << EINVAL;
    QTest::newRow("I2C_SLAVE_FORCE 0x80")
        << 1 << false << int(I2C_SLAVE_FORCE) << 0x80ULL << EINVAL;
    QTest::newRow("ten-bit I2C_SLAVE 0x3FF") << 1 << true << int(I2C_SLAVE) << 0x3FFULL << 0;
    QTest::newRow("ten-bit I2C_SLAVE 0x400") << 1 << true << int(I2C_SLAVE) << 0x400ULL << EINVAL;
    QTest::newRow("I2C_FUNCS bcm2835") << 1 << false << int(I2C_FUNCS) << 0x0EFF000DULL << 0;
    QTest::newRow("I2C_FUNCS cp2112") << 12 << false << int(I2C_FUNCS) << 0x0EFF0009ULL << 0;
    QTest::newRow("I2C_FUNCS i2c-tiny-usb, from the adapter")
        << 7 << false << int(I2C_FUNCS) << 0x8EFF0001ULL << 0;
    QTest::newRow("I2C_SMBUS, not emulated") << 1 << false << int(I2C_SMBUS) << 0ULL << ENOTTY;
}

void TestI2cEmulated::addressAndFunctionality() {
    QFETCH(int, bus);
    QFETCH(bool, tenBit);
    QFETCH(int, request);
    QFETCH(qulonglong, argument);
    QFETCH(int, error);
    Node node(bus);
    QVERIFY(node.fd >= 0);
    if (tenBit)
        QCOMPARE(ioctl(node.fd, I2C_TENBIT, 1UL), 0);
    unsigned long funcs = 0;
    const int result = request == int(I2C_FUNCS) ? ioctl(node.fd, I2C_FUNCS, &funcs)
                                                 : ioctl(node.fd, unsigned(request), argument);
    QCOMPARE(result < 0 ? errno : 0, error);
    if (request == int(I2C_FUNCS))
        QCOMPARE(qulonglong(funcs), argument);
}

void TestI2cEmulated::transfersFollowI2cDevAndTheDriver_data() {
    QTest::addColumn<int>("bus");
    QTest::addColumn<std::vector<Message>>("messages");
    QTest::addColumn<int>("result");                // messages done, or the negative errno
    QTest::addColumn<std::vector<quint8>>("read");  // the last message's bytes after a read
    QTest::addColumn<int>("register40");            // the chip's register 0x40 afterwards

    const quint8 r40 = pattern()[0x40];
    const std::vector<Message> pointerAndRead{writeOf(Chip, {0x40}), readOf(Chip, 3)};
    const std::vector<Message> registerWrite{writeOf(Chip, {0x40, 0x11})};
    const std::vector<Message> nobodyRead{writeOf(Nobody, {0x40}), readOf(Nobody, 3)};
    const std::vector<Message> nobodyWrite{writeOf(Nobody, {0x40, 0x11})};
    // Each driver's code for an address nobody acknowledges: in a read, in a write.
    const std::map<int, std::pair<int, int>> noAck{
        {7, {ENXIO, ENXIO}}, {1, {EREMOTEIO, EREMOTEIO}},  {10, {ENXIO, ENXIO}},
        {11, {EIO, EIO}},    {12, {ETIMEDOUT, ETIMEDOUT}}, {13, {EREMOTEIO, EPROTO}},
        {14, {ENXIO, ENXIO}}};
    for (const auto& [bus, codes] : noAck) {
        const QByteArray b = QByteArray::number(bus);
        // DLN-2 takes a register read as two transactions.
        const std::vector<Message> read =
            bus == 13 ? std::vector<Message>{readOf(Chip, 3)} : pointerAndRead;
        QTest::newRow("i2c-" + b + " register read")
            << bus << read << int(read.size()) << registers(bus == 13 ? 0 : 0x40, 3) << int(r40);
        QTest::newRow("i2c-" + b + " register write")
            << bus << registerWrite << 1 << std::vector<quint8>{} << 0x11;
        const std::vector<Message> unanswered =
            bus == 13 ? std::vector<Message>{readOf(Nobody, 3)} : nobodyRead;
        // A register read fails at its pointer write, but on DLN-2 where it is a read alone.
        const int readCode = bus == 13 ? codes.first : codes.second;
        QTest::newRow("i2c-" + b + " read, no acknowledge")
            << bus << unanswered << -readCode << std::vector<quint8>{0, 0, 0} << int(r40);
        QTest::newRow("i2c-" + b + " write, no acknowledge")
            << bus << nobodyWrite << -codes.second << std::vector<quint8>{} << int(r40);
    }

    // i2c-dev's own limits.
    QTest::newRow("43 messages") << 14 << std::vector<Message>(43, writeOf(Chip, {0x40})) << -EINVAL
                                 << std::vector<quint8>{} << int(r40);
    QTest::newRow("42 messages") << 14 << std::vector<Message>(42, writeOf(Chip, {0x40, 0x22}))
                                 << 42 << std::vector<quint8>{} << 0x22;
    QTest::newRow("8193 bytes") << 14
                                << std::vector<Message>{writeOf(Chip, {0x40}), readOf(Chip, 8193)}
                                << -EINVAL << std::vector<quint8>(8193, 0) << int(r40);
    QTest::newRow("no message") << 14 << std::vector<Message>{} << -EINVAL << std::vector<quint8>{}
                                << int(r40);

    // Each driver's limits.
    QTest::newRow("i2c-tiny-usb 128-byte read")
        << 7 << std::vector<Message>{writeOf(Chip, {0x40}), readOf(Chip, 128)} << 2
        << registers(0x40, 128) << int(r40);
    QTest::newRow("i2c-tiny-usb 129-byte read")
        << 7 << std::vector<Message>{writeOf(Chip, {0x40}), readOf(Chip, 129)} << -EIO
        << std::vector<quint8>(129, 0) << int(r40);
    QTest::newRow("bcm2835 read before a write")
        << 1 << std::vector<Message>{readOf(Chip, 1), writeOf(Chip, {0x40, 0x11})} << -EOPNOTSUPP
        << std::vector<quint8>{} << int(r40);
    QTest::newRow("bcm2835 two writes and a read")
        << 1
        << std::vector<Message>{writeOf(Chip, {0x40, 0x33}), writeOf(Chip, {0x40}), readOf(Chip, 2)}
        << 3 << std::vector<quint8>{0x33, pattern()[0x41]} << 0x33;
    QTest::newRow("mcp2221 three messages")
        << 10
        << std::vector<Message>{writeOf(Chip, {0x40, 0x33}), writeOf(Chip, {0x40}), readOf(Chip, 2)}
        << -EOPNOTSUPP << std::vector<quint8>{0, 0} << int(r40);
    QTest::newRow("mcp2221 read from another address")
        << 10 << std::vector<Message>{writeOf(Chip, {0x40}), readOf(Nobody, 2)} << -EOPNOTSUPP
        << std::vector<quint8>{0, 0} << int(r40);
    QTest::newRow("ft260 three bytes before the read")
        << 11 << std::vector<Message>{writeOf(Chip, {0x40, 0x41, 0x42}), readOf(Chip, 2)}
        << -EOPNOTSUPP << std::vector<quint8>{0, 0} << int(r40);
    QTest::newRow("cp2112 512-byte read")
        << 12 << std::vector<Message>{writeOf(Chip, {0x40}), readOf(Chip, 512)} << 2
        << registers(0x40, 512) << int(r40);
    QTest::newRow("cp2112 513-byte read")
        << 12 << std::vector<Message>{writeOf(Chip, {0x40}), readOf(Chip, 513)} << -EINVAL
        << std::vector<quint8>(513, 0) << int(r40);
    QTest::newRow("cp2112 17 bytes before the read")
        << 12 << std::vector<Message>{writeOf(Chip, std::vector<quint8>(17, 0x40)), readOf(Chip, 1)}
        << -EINVAL << std::vector<quint8>{0} << int(r40);
    QTest::newRow("dln2 write then read")
        << 13 << pointerAndRead << -EOPNOTSUPP << std::vector<quint8>{0, 0, 0} << int(r40);
    QTest::newRow("dln2 257-byte read") << 13 << std::vector<Message>{readOf(Chip, 257)}
                                        << -EOPNOTSUPP << std::vector<quint8>(257, 0) << int(r40);
    QTest::newRow("unknown driver 8192-byte read")
        << 14 << std::vector<Message>{writeOf(Chip, {0x40}), readOf(Chip, 8192)} << 2
        << registers(0x40, 8192) << int(r40);
    QTest::newRow("no chip on the bus")
        << 16 << pointerAndRead << -ENXIO << std::vector<quint8>{0, 0, 0} << 0;
}

void TestI2cEmulated::transfersFollowI2cDevAndTheDriver() {
    QFETCH(int, bus);
    QFETCH(std::vector<Message>, messages);
    QFETCH(int, result);
    QFETCH(std::vector<quint8>, read);
    QFETCH(int, register40);
    Node node(bus);
    QVERIFY(node.fd >= 0);
    QCOMPARE(readWrite(node.fd, messages), result);
    if (!messages.empty() && messages.back().read)
        QCOMPARE(messages.back().bytes, read);
    QCOMPARE(int(machine->buses[bus]->chipRegister(0x40)), register40);
}

void TestI2cEmulated::tinyUsbDriverSendsItsControlTransfers_data() {
    QTest::addColumn<bool>("functions");  // I2C_FUNCS, else a transfer
    QTest::addColumn<std::vector<Message>>("messages");
    QTest::addColumn<QString>("transfers");

    QTest::newRow("I2C_FUNCS") << true << std::vector<Message>{}
                               << "C1 1 value 0x0000 index 0x00 length 4";
    QTest::newRow("register read")
        << false << std::vector<Message>{writeOf(Chip, {0x00}), readOf(Chip, 128)}
        << "C1 1 value 0x0000 index 0x00 length 4\n"
           "41 5 value 0x0200 index 0x69 length 1\n"
           "C1 3 value 0x0000 index 0x00 length 1\n"
           "C1 6 value 0x0201 index 0x69 length 128\n"
           "C1 3 value 0x0000 index 0x00 length 1";
    QTest::newRow("register write") << false << std::vector<Message>{writeOf(Chip, {0x09, 0x3F})}
                                    << "C1 1 value 0x0000 index 0x00 length 4\n"
                                       "41 7 value 0x0200 index 0x69 length 2\n"
                                       "C1 3 value 0x0000 index 0x00 length 1";
    // The driver stops at the status that reports the missing acknowledge.
    QTest::newRow("no acknowledge")
        << false << std::vector<Message>{writeOf(Nobody, {0x00}), readOf(Nobody, 8)}
        << "C1 1 value 0x0000 index 0x00 length 4\n"
           "41 5 value 0x0200 index 0x6A length 1\n"
           "C1 3 value 0x0000 index 0x00 length 1";
}

void TestI2cEmulated::tinyUsbDriverSendsItsControlTransfers() {
    QFETCH(bool, functions);
    QFETCH(std::vector<Message>, messages);
    QFETCH(QString, transfers);
    const auto& bus = machine->buses[7];
    Node node(7);
    QVERIFY(node.fd >= 0);
    if (functions) {
        unsigned long funcs = 0;
        QCOMPARE(ioctl(node.fd, I2C_FUNCS, &funcs), 0);
        QCOMPARE(funcs, 0x8EFF0001UL);
    } else {
        QVERIFY(readWrite(node.fd, messages) != 0);
    }
    QCOMPARE(describe(bus->adapter()->kernelTransfers()), transfers);
    QCOMPARE(bus->kernelUsbTransfers(), int(transfers.count('\n')) + 1);
    QVERIFY(bus->adapter()->usbfsTransfers().empty());
    // Only the unacknowledged transfer leaves the adapter's transaction open, as the driver does.
    const bool unacknowledged = !messages.empty() && messages.front().address == Nobody;
    QCOMPARE(bus->adapter()->transactionOpen(), unacknowledged);
}

void TestI2cEmulated::nodeWithoutPermissionRefusesAnOrdinaryUser() {
    // In a child without root's override of file modes: the inaccessible node is refused, an
    // accessible one opens.
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        if (!dropFileModeOverride())
            _exit(90);
        const int denied = open("/dev/i2c-16", O_RDWR);
        const int deniedErrno = errno;
        const int allowed = open("/dev/i2c-14", O_RDWR);
        _exit(denied < 0 && deniedErrno == EACCES && allowed >= 0 ? 0 : 91);
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
    QCOMPARE(QFileInfo("/dev/i2c-16").permissions() &
                 (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOwner),
             QFileDevice::Permissions());
}

void TestI2cEmulated::kernelDriverIsDetachedAndGivenBack_data() {
    QTest::addColumn<bool>("release");  // libusb_release_interface, else the handle closed alone
    QTest::addColumn<bool>("boundAfter");
    QTest::newRow("released: the driver is attached again") << true << true;
    // usbfs drops a closed file's claims but binds no driver again.
    QTest::newRow("closed without release: the driver stays away") << false << false;
}

void TestI2cEmulated::kernelDriverIsDetachedAndGivenBack() {
    QFETCH(bool, release);
    QFETCH(bool, boundAfter);
    const auto adapter = machine->buses[7]->adapter();
    libusb_context* context = nullptr;
    QCOMPARE(libusb_init(&context), 0);
    libusb_device_handle* handle = libusb_open_device_with_vid_pid(context, 0x0403, 0xC631);
    QVERIFY(handle != nullptr);
    QCOMPARE(libusb_kernel_driver_active(handle, 0), 1);
    QCOMPARE(libusb_claim_interface(handle, 0), int(LIBUSB_ERROR_BUSY));
    QCOMPARE(libusb_set_auto_detach_kernel_driver(handle, 1), 0);
    QCOMPARE(libusb_claim_interface(handle, 0), 0);
    // Claimed: the driver is gone with its bus, and usbfs is the interface's driver.
    QVERIFY(!adapter->kernelDriverBound());
    QCOMPARE(libusb_kernel_driver_active(handle, 0), 0);
    QVERIFY(!QFileInfo::exists("/sys/class/i2c-dev/i2c-7"));
    QVERIFY(!QFileInfo::exists("/sys/devices/1-1/1-1:1.0/driver"));
    QCOMPARE(Node(7).fd, -1);
    if (release)
        QCOMPARE(libusb_release_interface(handle, 0), 0);
    libusb_close(handle);
    libusb_exit(context);

    QCOMPARE(adapter->kernelDriverBound(), boundAfter);
    QCOMPARE(adapter->kernelDriverDetaches(), 1);
    QCOMPARE(QFileInfo::exists("/sys/class/i2c-dev/i2c-7"), boundAfter);
    QCOMPARE(resolved("/sys/devices/1-1/1-1:1.0/driver"),
             boundAfter ? QString("/sys/bus/usb/drivers/i2c-tiny-usb") : QString());
    Node node(7);
    QCOMPARE(node.fd >= 0, boundAfter);
    if (boundAfter) {
        std::vector<Message> read{writeOf(Chip, {0x40}), readOf(Chip, 2)};
        QCOMPARE(readWrite(node.fd, read), 2);
        QCOMPARE(read.back().bytes, registers(0x40, 2));
    }
}

void TestI2cEmulated::kernelTrafficModelInterleavesAnotherProgram_data() {
    QTest::addColumn<int>("bus");
    QTest::addColumn<bool>("split");  // the pointer write and the read in two ioctls
    QTest::addColumn<int>("wrong");   // reads of 50 that got other registers

    // The other program reads register 0 of the same chip, which moves the chip's pointer.
    for (int bus : {7, 1, 12}) {
        const QByteArray b = "i2c-" + QByteArray::number(bus);
        QTest::newRow(b + " one ioctl per read") << bus << false << 0;
        QTest::newRow(b + " pointer and read apart") << bus << true << 50;
    }
}

void TestI2cEmulated::kernelTrafficModelInterleavesAnotherProgram() {
    QFETCH(int, bus);
    QFETCH(bool, split);
    QFETCH(int, wrong);
    const auto& emulated = machine->buses[bus];
    emulated->injectBetweenTransfers(std::vector<EmulatedI2cMessage>{
        EmulatedI2cMessage{Chip, 0, {0x00}},
        EmulatedI2cMessage{Chip, EmulatedI2cMessage::ReadFlag, {0}}});
    Node node(bus);
    QVERIFY(node.fd >= 0);
    int wrongReads = 0;
    for (int i = 0; i < 50; ++i) {
        const quint8 first = quint8(0x40 + i);
        std::vector<Message> pointer{writeOf(Chip, {first})};
        std::vector<Message> read{readOf(Chip, 4)};
        std::vector<Message> both{writeOf(Chip, {first}), readOf(Chip, 4)};
        if (split) {
            QCOMPARE(readWrite(node.fd, pointer), 1);
            QCOMPARE(readWrite(node.fd, read), 1);
        } else {
            QCOMPARE(readWrite(node.fd, both), 2);
        }
        wrongReads += (split ? read : both).back().bytes == registers(first, 4) ? 0 : 1;
    }
    QCOMPARE(wrongReads, wrong);
    // Another program's transaction before each of ours but the first.
    const std::vector<I2cTransferRecord> traffic = emulated->traffic();
    const int ours = split ? 100 : 50;
    QCOMPARE(int(traffic.size()), 2 * ours - 1);
    for (std::size_t i = 0; i < traffic.size(); ++i) {
        QCOMPARE(traffic[i].injected, i % 2 == 1);
        QCOMPARE(traffic[i].result, int(traffic[i].messages.size()));
    }
}

QTEST_GUILESS_MAIN(TestI2cEmulated)
#include "tst_i2cemulated.moc"
