// SPDX-License-Identifier: MIT
#include "cli/adapters.h"

#include "common/printabletext.h"
#include "usb/chipaccess.h"
#include "usb/deviceid.h"
#include "usb/i2cbuses.h"
#include "usb/i2cbustransport.h"

#include <csignal>
#include <iterator>

#include <signal.h>

namespace {
const QCommandLineOption DeviceOption("device",
                                      "The adapter at BUS:DEV (see list); default: the first.",
                                      "BUS:DEV");
const QCommandLineOption AddressOption("address", "The chip's I2C address, 0x00..0x7F (0x69).",
                                       "0xNN", "0x69");
const QCommandLineOption AllOption("all", "Every attached adapter in turn.");
const QCommandLineOption BusOption(
    "bus", "The I2C bus i2c-N instead of an adapter (see list); also N or /dev/i2c-N.", "i2c-N");
const QCommandLineOption TransportOption(
    "transport",
    "The path to an adapter: auto (the kernel's /dev/i2c-N when its driver is bound, else USB), "
    "usb or i2c-dev.",
    "auto|usb|i2c-dev", "auto");

// SIGINT and SIGTERM wait while the kernel driver of an adapter is detached, so that the
// command gives it back before it ends; a signal that came meanwhile ends the command after.
// Blocking the signals holds them off this thread only: a thread started before (libusb's event
// thread) would still take one and end the process with the driver detached. So a handler also
// notes a signal that reaches any thread, and it is raised again once the connection is closed.
volatile std::sig_atomic_t deferredSignal = 0;

extern "C" void noteDeferredSignal(int signal) {
    deferredSignal = signal;
}

class DeferredSignals {
public:
    DeferredSignals() {
        deferredSignal = 0;
        struct sigaction noting {};
        noting.sa_handler = noteDeferredSignal;
        sigemptyset(&noting.sa_mask);
        noting.sa_flags = SA_RESTART;
        for (std::size_t i = 0; i < std::size(Signals); ++i) {
            sigaction(Signals[i], nullptr, &previousActions_[i]);
            // A signal the program was started to ignore stays ignored.
            if (previousActions_[i].sa_handler != SIG_IGN)
                sigaction(Signals[i], &noting, nullptr);
        }
        sigset_t deferred;
        sigemptyset(&deferred);
        for (int signal : Signals)
            sigaddset(&deferred, signal);
        sigprocmask(SIG_BLOCK, &deferred, &previous_);
    }
    ~DeferredSignals() {
        for (std::size_t i = 0; i < std::size(Signals); ++i)
            sigaction(Signals[i], &previousActions_[i], nullptr);
        sigprocmask(SIG_SETMASK, &previous_, nullptr);
        if (deferredSignal != 0)
            std::raise(deferredSignal);
    }
    DeferredSignals(const DeferredSignals&) = delete;
    DeferredSignals& operator=(const DeferredSignals&) = delete;

private:
    static constexpr int Signals[] = {SIGINT, SIGTERM};
    sigset_t previous_;
    struct sigaction previousActions_[2];
};

// An adapter or bus opened for a job, closed when the job is done, whatever happened. The job
// is one operation: no other program's transfers come between its own.
struct OpenConnection {
    std::optional<DeferredSignals> deferred;  // ends after the connection is closed
    AdapterConnection c;
    std::optional<AdapterHold> hold;
    QString error;  // empty: open

    OpenConnection(const CliContext& cli, const AdapterOptions& options,
                   TransportObserver* observer) {
        c.usb = &cli.usb;
        c.buses = cli.env.buses;
        c.progress = observer;
        c.i2cAddress = options.i2cAddress;
        c.choice = options.transport;
    }
    void open(const ListedDevice& adapter) {
        deferred.emplace();
        error = openAdapter(c, adapter.info);
        if (c.path != ChipPath::UsbDetached)
            deferred.reset();
        holdOpen();
    }
    void open(const I2cBusInfo& bus) {
        error = i2c_open_bus(c, bus) == I2cResult::Ok ? QString() : i2c_error_text(c);
        holdOpen();
    }
    ~OpenConnection() {
        hold.reset();
        i2c_close(c);
    }
    OpenConnection(const OpenConnection&) = delete;
    OpenConnection& operator=(const OpenConnection&) = delete;

private:
    void holdOpen() {
        if (!error.isEmpty())
            return;
        hold.emplace(c);
        if (!hold->ok())
            error = i2c_error_text(c);
    }
};

bool runOne(const CliContext& cli, const AdapterOptions& options, TransportObserver* observer,
            const ListedDevice& adapter, const AdapterJob& job, QString& error) {
    OpenConnection open(cli, options, observer);
    open.open(adapter);
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

// What a job on a bus gets for its adapter: the bus's USB device, if it has one.
ListedDevice busTarget(const I2cBusInfo& bus) {
    ListedDevice target;
    if (bus.usb) {
        target.info.busNumber = bus.usb->busNumber;
        target.info.deviceNumber = bus.usb->deviceNumber;
        target.info.vendorId = bus.usb->vendorId;
        target.info.productId = bus.usb->productId;
        target.adapter = isAdapter(bus.usb->vendorId, bus.usb->productId);
    }
    target.entry = busListEntry(bus);
    return target;
}

int runOnBus(const CliContext& cli, const AdapterOptions& options, TransportObserver* observer,
             const AdapterJob& job) {
    for (const I2cBusInfo& bus : listI2cBuses()) {
        if (bus.number != *options.bus)
            continue;
        OpenConnection open(cli, options, observer);
        open.open(bus);
        QString error = open.error;
        if (!error.isEmpty())
            return cli.fail(ExitCode::Failure, error);
        return job(open.c, busTarget(bus), error) ? ExitCode::Done
                                                  : cli.fail(ExitCode::Failure, error);
    }
    if (i2cDevMissing())
        return cli.fail(ExitCode::Failure, i2cDevMissingText());
    return cli.fail(ExitCode::Failure,
                    QStringLiteral("no I2C bus i2c-%1 (see vantrel-cli list)").arg(*options.bus));
}
}  // namespace

void addAdapterOptions(QCommandLineParser& parser, bool withAll) {
    parser.addOption(DeviceOption);
    parser.addOption(BusOption);
    parser.addOption(TransportOption);
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
    if (parser.isSet(BusOption)) {
        options.bus = parseI2cBusName(parser.value(BusOption));
        if (!options.bus)
            return cli.fail(ExitCode::Usage,
                            QStringLiteral("--bus takes i2c-N, N or /dev/i2c-N, not \"%1\"")
                                .arg(parser.value(BusOption)));
        if (options.device)
            return cli.fail(ExitCode::Usage,
                            QStringLiteral("--bus and --device exclude each other"));
        if (options.all)
            return cli.fail(ExitCode::Usage, QStringLiteral("--bus and --all exclude each other"));
    }
    const QString transport = parser.value(TransportOption);
    if (transport == QLatin1String("usb"))
        options.transport = TransportChoice::Usb;
    else if (transport == QLatin1String("i2c-dev"))
        options.transport = TransportChoice::I2cDev;
    else if (transport != QLatin1String("auto"))
        return cli.fail(
            ExitCode::Usage,
            QStringLiteral("--transport takes auto, usb or i2c-dev, not \"%1\"").arg(transport));
    return std::nullopt;
}

int runOnAdapters(const CliContext& cli, const AdapterOptions& options, TransportObserver* observer,
                  const AdapterJob& job) {
    if (options.bus)
        return runOnBus(cli, options, observer, job);
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
        OpenConnection open(cli, options, observer);
        open.open(d);
        openError = open.error;
        if (!openError.isEmpty())
            continue;
        QString error;
        return job(open.c, d, error) ? ExitCode::Done : cli.fail(ExitCode::Failure, error);
    }
    return cli.fail(ExitCode::Failure, openError);
}

QString targetName(const AdapterConnection& c, const ListedDevice& adapter) {
    if (c.path == ChipPath::I2cDev && !c.usbBacked)
        return QStringLiteral("i2c-%1").arg(c.bus.number);
    QString name = deviceIdentification(adapter.info);
    if (c.path != ChipPath::Usb)
        name += QStringLiteral(" via ") + chipPathText(c);
    return name;
}

QJsonObject transportJson(const AdapterConnection& c) {
    const bool bus = c.path == ChipPath::I2cDev;
    return QJsonObject{
        {"path", chipPathName(c)},
        {"node", bus ? QJsonValue(chipPathText(c)) : QJsonValue()},
        {"bus", bus ? QJsonValue(QStringLiteral("i2c-%1").arg(c.bus.number)) : QJsonValue()},
    };
}
