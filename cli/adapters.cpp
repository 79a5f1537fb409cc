// SPDX-License-Identifier: MIT
#include "cli/adapters.h"

#include "common/printabletext.h"
#include "usb/chipaccess.h"
#include "usb/deviceid.h"

namespace {
const QCommandLineOption DeviceOption("device",
                                      "The adapter at BUS:DEV (see list); default: the first.",
                                      "BUS:DEV");
const QCommandLineOption AddressOption("address", "The chip's I2C address, 0x00..0x7F (0x69).",
                                       "0xNN", "0x69");
const QCommandLineOption AllOption("all", "Every attached adapter in turn.");

// An adapter opened for a job, closed when the job is done, whatever happened. The job is one
// operation: no other program's transfers come between its own.
struct OpenConnection {
    AdapterConnection c;
    std::optional<AdapterHold> hold;
    QString error;  // empty: open

    OpenConnection(const CliContext& cli, const AdapterOptions& options,
                   TransportObserver* observer, const ListedDevice& adapter) {
        c.usb = &cli.usb;
        c.progress = observer;
        c.i2cAddress = options.i2cAddress;
        error = openAdapter(c, adapter.info);
        if (!error.isEmpty())
            return;
        hold.emplace(c);
        if (!hold->ok())
            error = i2c_error_text(c);
    }
    ~OpenConnection() {
        hold.reset();
        i2c_close(c);
    }
    OpenConnection(const OpenConnection&) = delete;
    OpenConnection& operator=(const OpenConnection&) = delete;
};

bool runOne(const CliContext& cli, const AdapterOptions& options, TransportObserver* observer,
            const ListedDevice& adapter, const AdapterJob& job, QString& error) {
    OpenConnection open(cli, options, observer, adapter);
    error = open.error;
    return error.isEmpty() && job(open.c, adapter, error);
}

// --all: one line per adapter ("IDENTIFICATION: OK [summary]" or "IDENTIFICATION: Error: ..."),
// going on after a failure.
int runOnEach(const CliContext& cli, const AdapterOptions& options, TransportObserver* observer,
              const std::vector<ListedDevice>& adapters, const AdapterJob& job) {
    int failed = 0;
    for (const ListedDevice& d : adapters) {
        QString text;
        const bool ok = runOne(cli, options, observer, d, job, text);
        failed += ok ? 0 : 1;
        if (ok)
            text = text.isEmpty() ? QStringLiteral("OK") : QStringLiteral("OK ") + text;
        cli.out << deviceIdentification(d.info) << ": " << printableText(text) << Qt::endl;
    }
    if (failed > 0)
        return cli.fail(
            ExitCode::Failure,
            QStringLiteral("%1 of %2 adapters failed").arg(failed).arg(adapters.size()));
    return ExitCode::Done;
}
}  // namespace

void addAdapterOptions(QCommandLineParser& parser, bool withAll) {
    parser.addOption(DeviceOption);
    parser.addOption(AddressOption);
    if (withAll)
        parser.addOption(AllOption);
}

void addAddressOption(QCommandLineParser& parser) {
    parser.addOption(AddressOption);
}

std::optional<int> readAddressOption(const QCommandLineParser& parser, const CliContext& cli,
                                     quint8& address) {
    const std::optional<quint8> parsed = parseI2cAddress7(parser.value(AddressOption));
    if (!parsed)
        return cli.fail(ExitCode::Usage, QStringLiteral("--address takes 0x00..0x7F, not \"%1\"")
                                             .arg(parser.value(AddressOption)));
    address = *parsed;
    return std::nullopt;
}

std::optional<int> readAdapterOptions(const QCommandLineParser& parser, const CliContext& cli,
                                      AdapterOptions& options) {
    if (std::optional<int> failed = readAddressOption(parser, cli, options.i2cAddress))
        return failed;
    options.all = parser.optionNames().contains(AllOption.names().first());
    if (parser.isSet(DeviceOption)) {
        options.device = parseBusDevice(parser.value(DeviceOption));
        if (!options.device)
            return cli.fail(ExitCode::Usage, QStringLiteral("--device takes BUS:DEV, not \"%1\"")
                                                 .arg(parser.value(DeviceOption)));
        if (options.all)
            return cli.fail(ExitCode::Usage,
                            QStringLiteral("--device and --all exclude each other"));
    }
    return std::nullopt;
}

int runOnAdapters(const CliContext& cli, const AdapterOptions& options, TransportObserver* observer,
                  const AdapterJob& job) {
    cli.usb.init();
    const std::vector<ListedDevice> devices = listDevices(cli.usb);
    if (cli.usb.busses().empty())
        return cli.fail(ExitCode::Failure,
                        QStringLiteral("No USB subsystem found on this machine!"));

    if (options.device) {
        for (const ListedDevice& d : devices) {
            if (d.info.busNumber != options.device->bus ||
                d.info.deviceNumber != options.device->device)
                continue;
            if (!d.adapter)
                return cli.fail(ExitCode::Failure,
                                QStringLiteral("%1 is not an i2c-tiny-usb adapter")
                                    .arg(deviceIdentification(d.info)));
            QString error;
            return runOne(cli, options, observer, d, job, error)
                       ? ExitCode::Done
                       : cli.fail(ExitCode::Failure, error);
        }
        return cli.fail(ExitCode::Failure,
                        QStringLiteral("no device at %1:%2 (see vantrel-cli list)")
                            .arg(options.device->bus)
                            .arg(options.device->device));
    }

    std::vector<ListedDevice> adapters;
    for (const ListedDevice& d : devices)
        if (d.adapter)
            adapters.push_back(d);
    if (adapters.empty())
        return cli.fail(ExitCode::Failure, QStringLiteral("no i2c-tiny-usb adapter found"));

    if (options.all)
        return runOnEach(cli, options, observer, adapters, job);

    // As the window's scan: an adapter that cannot be opened gives the next one its turn.
    QString openError;
    for (const ListedDevice& d : adapters) {
        OpenConnection open(cli, options, observer, d);
        openError = open.error;
        if (!openError.isEmpty())
            continue;
        QString error;
        return job(open.c, d, error) ? ExitCode::Done : cli.fail(ExitCode::Failure, error);
    }
    return cli.fail(ExitCode::Failure, openError);
}
