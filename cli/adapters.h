// SPDX-License-Identifier: MIT
#pragma once

#include "cli/arguments.h"
#include "cli/context.h"
#include "usb/devicelist.h"
#include "usb/i2ctinyusb.h"

#include <QJsonObject>

#include <QCommandLineOption>
#include <QCommandLineParser>

#include <functional>
#include <optional>
#include <vector>

// Which adapters a command works on, and running it on each.

struct AdapterOptions {
    std::optional<BusDevice> device;  // --device; none: the first adapter that opens
    std::optional<int> bus;           // --bus: N of the I2C bus i2c-N, instead of an adapter
    quint8 i2cAddress = 0x69;         // --address
    bool all = false;                 // --all
    TransportChoice transport = TransportChoice::Auto;  // --transport, for an adapter
};

// Adds --device, --bus, --transport and --address, and --all when `withAll`.
void addAdapterOptions(QCommandLineParser& parser, bool withAll);
// Reads them after parsing; an unreadable value is a usage error (its exit code is returned).
std::optional<int> readAdapterOptions(const QCommandLineParser& parser, const CliContext& cli,
                                      AdapterOptions& options);
// Adds and reads --address alone.
void addAddressOption(QCommandLineParser& parser);
std::optional<int> readAddressOption(const QCommandLineParser& parser, const CliContext& cli,
                                     quint8& address);

// One job on an open adapter: returns true when it succeeded, with an optional summary for the
// --all line in `text`, or false with the "Error: " line in `text`.
using AdapterJob =
    std::function<bool(AdapterConnection& c, const ListedDevice& adapter, QString& text)>;

// Opens the adapter(s) the options name and runs the job on each; with --all, prints one line
// per adapter ("IDENTIFICATION: OK [summary]" or "IDENTIFICATION: Error: ...") and goes on after a
// failure. Returns the exit code.
int runOnAdapters(const CliContext& cli, const AdapterOptions& options, TransportObserver* observer,
                  const AdapterJob& job);

// What a job works on, for people: the adapter's identification and the path when it is not
// plain USB ("... via /dev/i2c-7"); for a bus that is no USB device, "i2c-1".
QString targetName(const AdapterConnection& c, const ListedDevice& adapter);
// The path of an open connection for --json: {"path": "usb"|"usb-detached"|"i2c-dev",
// "node": "/dev/i2c-7" or null, "bus": "i2c-7" or null}.
QJsonObject transportJson(const AdapterConnection& c);
