// SPDX-License-Identifier: MIT
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/jsonoutput.h"
#include "usb/deviceid.h"
#include "usb/devicelist.h"
#include "usb/i2cbuses.h"
#include "usb/i2cbustransport.h"
#include "usb/usbbackend.h"

namespace {
// The path an adapter takes by default, as list shows it: "" for plain USB, " via /dev/i2c-7",
// " via USB, kernel driver detached".
struct AdapterPath {
    QString name = QStringLiteral("usb");  // as --json says it
    QString text;
};

AdapterPath adapterPath(const CliContext& cli, const ListedDevice& d,
                        const std::vector<I2cBusInfo>& buses) {
    int busNumber = -1;
    switch (predictAdapterPath(cli.usb, cli.env.buses, d.info, buses, busNumber)) {
        case ChipPath::I2cDev:
            return {QStringLiteral("i2c-dev"), QStringLiteral(" via /dev/i2c-%1").arg(busNumber)};
        case ChipPath::UsbDetached:
            return {QStringLiteral("usb-detached"),
                    QStringLiteral(" via USB, kernel driver detached")};
        case ChipPath::Usb:
            break;
    }
    return {};
}

QString busLine(const I2cBusInfo& bus) {
    QString line = bus.busName() + QStringLiteral(" - ") + printableText(bus.name) +
                   QStringLiteral(" - ") +
                   (bus.driver.isEmpty() ? QStringLiteral("no driver") : bus.driver);
    if (bus.usb) {
        UsbDeviceInfo device;
        device.busNumber = bus.usb->busNumber;
        device.deviceNumber = bus.usb->deviceNumber;
        device.vendorId = bus.usb->vendorId;
        device.productId = bus.usb->productId;
        line += QStringLiteral(" - USB ") + deviceIdentification(device);
    }
    return line;
}

QJsonObject busJson(const I2cBusInfo& bus) {
    QJsonValue usb;
    if (bus.usb) {
        usb = QJsonObject{
            {"bus", bus.usb->busNumber},
            {"device", bus.usb->deviceNumber},
            {"vendor", QString::asprintf("%04X", bus.usb->vendorId)},
            {"product", QString::asprintf("%04X", bus.usb->productId)},
        };
    }
    return QJsonObject{
        {"bus", bus.busName()}, {"number", bus.number}, {"node", bus.node()},
        {"name", bus.name},     {"driver", bus.driver}, {"usb", usb},
    };
}
}  // namespace

int runListCommand(const QStringList& arguments, const CliContext& cli) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Lists every USB device as the window names it, i2c-tiny-usb adapters marked with the "
        "path they take, then every I2C bus (/dev/i2c-N) with its name, driver and USB device.");
    addJsonOption(parser);
    if (std::optional<int> done = parseCommand(parser, "list [--json]", arguments, cli))
        return *done;
    if (!parser.positionalArguments().isEmpty())
        return cli.fail(ExitCode::Usage, QStringLiteral("list takes no arguments"));

    cli.usb.init();
    const std::vector<ListedDevice> devices = listDevices(cli.usb);
    const std::vector<I2cBusInfo> buses = listI2cBuses();
    if (cli.usb.busses().empty() && buses.empty())
        return cli.fail(ExitCode::Failure,
                        i2cDevMissing()
                            ? i2cDevMissingText()
                            : QStringLiteral("No USB subsystem found on this machine!"));
    if (jsonRequested(parser)) {
        QJsonArray listed;
        for (const ListedDevice& d : devices) {
            QJsonObject device = deviceJson(d);
            if (d.adapter)
                device.insert("transport", adapterPath(cli, d, buses).name);
            listed.append(device);
        }
        QJsonArray listedBuses;
        for (const I2cBusInfo& bus : buses)
            listedBuses.append(busJson(bus));
        printJson(cli, QJsonObject{{"devices", listed}, {"buses", listedBuses}});
        return ExitCode::Done;
    }
    for (const ListedDevice& d : devices) {
        cli.out << d.entry;
        if (d.adapter)
            cli.out << "  [adapter]" << adapterPath(cli, d, buses).text;
        cli.out << '\n';
    }
    for (const I2cBusInfo& bus : buses)
        cli.out << busLine(bus) << '\n';
    if (buses.empty() && i2cDevMissing())
        cli.out << "No /dev/i2c-N: the i2c-dev module is not loaded (sudo modprobe i2c-dev)\n";
    cli.out.flush();
    return ExitCode::Done;
}
