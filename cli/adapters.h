// SPDX-License-Identifier: MIT
#pragma once

#include "cli/arguments.h"
#include "cli/context.h"
#include "usb/devicelist.h"
#include "usb/i2ctinyusb.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

#include <functional>
#include <optional>
#include <vector>

// Which adapters a command works on, and running it on each.

struct AdapterOptions {
    std::optional<BusDevice> device;  // --device; none: the first adapter that opens
    quint8 i2cAddress = 0x69;         // --address
    bool all = false;                 // --all
};

// Adds --device and --address, and --all when `withAll`.
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
