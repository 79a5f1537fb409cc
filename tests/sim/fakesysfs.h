// SPDX-License-Identifier: MIT
#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>

// A sysfs laid out as Linux does, in a temporary directory that VANTREL_SYSFS_ROOT names while
// the object lives; the root named before comes back after it.
class FakeSysfs {
public:
    FakeSysfs() : previous_(qgetenv("VANTREL_SYSFS_ROOT")) {
        qputenv("VANTREL_SYSFS_ROOT", dir_.path().toLocal8Bit());
    }
    ~FakeSysfs() {
        if (previous_.isEmpty())
            qunsetenv("VANTREL_SYSFS_ROOT");
        else
            qputenv("VANTREL_SYSFS_ROOT", previous_);
    }
    FakeSysfs(const FakeSysfs&) = delete;
    FakeSysfs& operator=(const FakeSysfs&) = delete;

    // A USB device at usb1/1-<port> whose interface 1-<port>:1.0 is driven by `driver`; with
    // `platformChild`, the adapter hangs from a platform device of that driver below the
    // interface (as dln2-i2c does), else from the interface itself.
    void addUsbBus(int number, const QString& name, const QString& driver, int busnum, int devnum,
                   const QString& vid, const QString& pid, int port,
                   const QString& platformChild = QString()) {
        const QString device =
            QStringLiteral("devices/pci0000:00/usb%1/%1-%2").arg(busnum).arg(port);
        write(device + "/busnum", QString::number(busnum));
        write(device + "/devnum", QString::number(devnum));
        write(device + "/idVendor", vid);
        write(device + "/idProduct", pid);
        QString parent = device + QStringLiteral("/%1-%2:1.0").arg(busnum).arg(port);
        if (platformChild.isEmpty()) {
            link(parent + "/driver", "bus/usb/drivers/" + driver);
        } else {
            link(parent + "/driver", "bus/usb/drivers/dln2");
            parent += "/" + platformChild;
            link(parent + "/driver", "bus/platform/drivers/" + driver);
        }
        addAdapter(parent, number, name);
    }
    void addPlatformBus(int number, const QString& name, const QString& driver) {
        const QString parent = QStringLiteral("devices/platform/soc/fe80%1000.i2c").arg(number);
        link(parent + "/driver", "bus/platform/drivers/" + driver);
        addAdapter(parent, number, name);
    }
    // An adapter the kernel knows without i2c-dev.
    void addAdapterWithoutNode(int number) {
        const QString adapter = QStringLiteral("devices/platform/i2c-gpio/i2c-%1").arg(number);
        write(adapter + "/name", "i2c-gpio");
        link(QStringLiteral("bus/i2c/devices/i2c-%1").arg(number), adapter);
    }

private:
    void addAdapter(const QString& parent, int number, const QString& name) {
        const QString adapter = parent + QStringLiteral("/i2c-%1").arg(number);
        write(adapter + "/name", name);
        write(adapter + QStringLiteral("/i2c-dev/i2c-%1/name").arg(number), name);
        write(adapter + QStringLiteral("/i2c-dev/i2c-%1/dev").arg(number),
              QStringLiteral("89:%1").arg(number));
        link(QStringLiteral("class/i2c-dev/i2c-%1").arg(number),
             adapter + QStringLiteral("/i2c-dev/i2c-%1").arg(number));
        link(QStringLiteral("bus/i2c/devices/i2c-%1").arg(number), adapter);
    }
    void write(const QString& relative, const QString& text) {
        const QString path = dir_.filePath(relative);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8() + "\n") < 0)
            qFatal("cannot lay out sysfs");
    }
    // A relative link, as sysfs makes them.
    void link(const QString& relative, const QString& target) {
        const QString path = dir_.filePath(relative);
        QDir().mkpath(QFileInfo(path).path());
        QDir().mkpath(dir_.filePath(target));
        const QString relativeTarget =
            QDir(QFileInfo(path).path()).relativeFilePath(dir_.filePath(target));
        if (!QFile::link(relativeTarget, path))
            qFatal("cannot link in sysfs");
    }
    QByteArray previous_;
    QTemporaryDir dir_;
};
