// SPDX-License-Identifier: MIT
#pragma once

#include "cli/context.h"
#include "frequency/chiprules.h"
#include "frequency/frequencymodel.h"
#include "registers/registerimage.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonObject>

struct ListedDevice;

// --json: a command's result as one JSON document on stdout, for scripts. A command adds the
// option with addJsonOption before parsing, asks jsonRequested after it, prints nothing else on
// stdout while it is set, and prints its document with printJson once it has succeeded. Errors
// stay one "Error: " line on stderr (CliContext::fail), and stdout then stays empty.

void addJsonOption(QCommandLineParser& parser);
bool jsonRequested(const QCommandLineParser& parser);

// The document, indented, with a final line feed.
void printJson(const CliContext& cli, const QJsonObject& document);
void printJson(const CliContext& cli, const QJsonArray& document);

// A listed USB device: {"bus", "device", "vendorId", "productId" (four hexadecimal digits),
// "identification", "entry", "adapter"}.
QJsonObject deviceJson(const ListedDevice& device);

// A configuration as describeConfiguration prints it: {"registers": {"0x09": 63, ...},
// "fields": {..., "capLoad", "crystalLoadPf" (on `board`)}, "frequencies": {"reference", "pll",
// "outputs": [{"name", "enabled", "source", "hz"}, ...]}, "pllRange": "normal"|"extended",
// "warnings": [...]}.
QJsonObject configurationJson(const RegisterImage& image, double referenceHz, bool extended,
                              const BoardFacts& board);

// The chip-rule findings: [{"id", "severity" ("error"|"warning"), "concerns": [...], "text"}].
QJsonArray findingsJson(const Findings& findings);
