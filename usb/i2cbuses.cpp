// SPDX-License-Identifier: MIT
#include "usb/i2cbuses.h"

#include "common/printabletext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace {
constexpr const char* SysfsDefaultRoot = "/sys";
constexpr const char* SysfsRootVariable = "VANTREL_SYSFS_ROOT";

QString readAttribute(const QString& directory, const char* name) {
    QFile file(directory + QLatin1Char('/') + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // An attribute is one short line; a larger read would be something else.
    return QString::fromUtf8(file.read(4096)).trimmed();
}

// The target of a symbolic link as an absolute path, resolved lexically: sysfs links are
// relative and lead through no further link, and the root may be a copy elsewhere.
QString linkTarget(const QString& link) {
    const QString target = QFile::symLinkTarget(link);
    if (!target.isEmpty())
        return QDir::cleanPath(target);
    return {};
}

std::optional<int> numberAttribute(const QString& directory, const char* name, int base) {
    bool ok = false;
    const int value = readAttribute(directory, name).toInt(&ok, base);
    return ok ? std::optional<int>(value) : std::nullopt;
}

// The first directory from `start` up to the root that has a USB device's attributes.
std::optional<I2cBusUsbDevice> usbAncestor(QString directory, const QString& root) {
    while (directory.startsWith(root + QLatin1Char('/')) && directory.length() > root.length()) {
        const std::optional<int> bus = numberAttribute(directory, "busnum", 10);
        const std::optional<int> device = numberAttribute(directory, "devnum", 10);
        const std::optional<int> vendor = numberAttribute(directory, "idVendor", 16);
        const std::optional<int> product = numberAttribute(directory, "idProduct", 16);
        if (bus && device && vendor && product)
            return I2cBusUsbDevice{*bus, *device, quint16(*vendor), quint16(*product)};
        directory = QFileInfo(directory).path();
    }
    return std::nullopt;
}

std::optional<I2cBusInfo> readBus(const QString& classEntry, int number, const QString& root) {
    I2cBusInfo bus;
    bus.number = number;
    // The class entry leads to <adapter parent>/i2c-N/i2c-dev/i2c-N.
    const QString device = linkTarget(classEntry);
    const QString adapter = device.isEmpty() ? QString() : QDir::cleanPath(device + "/../..");
    bus.name = readAttribute(classEntry, "name");
    if (adapter.isEmpty())
        return bus;
    if (bus.name.isEmpty())
        bus.name = readAttribute(adapter, "name");
    const QString parent = QFileInfo(adapter).path();
    const QString driver = linkTarget(parent + QStringLiteral("/driver"));
    if (!driver.isEmpty())
        bus.driver = QFileInfo(driver).fileName();
    bus.usb = usbAncestor(parent, root);
    return bus;
}

const QRegularExpression& busEntryPattern() {
    static const QRegularExpression pattern(QStringLiteral("^i2c-(\\d{1,6})$"));
    return pattern;
}
}  // namespace

QString sysfsRoot() {
    const QByteArray overridden = qgetenv(SysfsRootVariable);
    return overridden.isEmpty() ? QString::fromLatin1(SysfsDefaultRoot)
                                : QDir::cleanPath(QString::fromLocal8Bit(overridden));
}

std::vector<I2cBusInfo> listI2cBuses() {
    const QString root = sysfsRoot();
    const QDir classDir(root + QStringLiteral("/class/i2c-dev"));
    std::vector<I2cBusInfo> buses;
    for (const QString& entry : classDir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
        const QRegularExpressionMatch match = busEntryPattern().match(entry);
        if (!match.hasMatch())
            continue;
        if (std::optional<I2cBusInfo> bus =
                readBus(classDir.filePath(entry), match.captured(1).toInt(), root))
            buses.push_back(*bus);
    }
    std::sort(buses.begin(), buses.end(),
              [](const I2cBusInfo& a, const I2cBusInfo& b) { return a.number < b.number; });
    return buses;
}

bool i2cDevMissing() {
    const QString root = sysfsRoot();
    const QDir adapters(root + QStringLiteral("/bus/i2c/devices"));
    const QStringList entries = adapters.entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    const bool anyAdapter = std::any_of(entries.begin(), entries.end(), [](const QString& e) {
        return busEntryPattern().match(e).hasMatch();
    });
    return anyAdapter && listI2cBuses().empty();
}

std::optional<I2cBusInfo> findBusOfUsbDevice(const std::vector<I2cBusInfo>& buses, int busNumber,
                                             int deviceNumber) {
    for (const I2cBusInfo& bus : buses) {
        if (bus.usb && bus.usb->busNumber == busNumber && bus.usb->deviceNumber == deviceNumber)
            return bus;
    }
    return std::nullopt;
}

std::optional<int> parseI2cBusName(const QString& text) {
    static const QRegularExpression pattern(QStringLiteral("^(?:/dev/i2c-|i2c-)?(\\d{1,6})$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1).toInt();
}

QString i2cDevMissingText() {
    return QStringLiteral(
        "Error: the kernel knows I2C adapters but offers no /dev/i2c-N: the i2c-dev module is "
        "not loaded (sudo modprobe i2c-dev)");
}

QString busListEntry(const I2cBusInfo& bus) {
    const QString entry = QStringLiteral("I2C_%1").arg(bus.number);
    return bus.name.isEmpty() ? entry : entry + QStringLiteral(" - ") + printableText(bus.name);
}

std::optional<int> parseBusListEntry(const QString& entry) {
    static const QRegularExpression pattern(QStringLiteral("^I2C_(\\d{1,6})(?: - |$)"));
    const QRegularExpressionMatch match = pattern.match(entry);
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1).toInt();
}
