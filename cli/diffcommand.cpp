// SPDX-License-Identifier: MIT
#include "cli/adapters.h"
#include "cli/commands.h"
#include "cli/configurationtext.h"
#include "cli/jsonoutput.h"
#include "cli/progressbar.h"
#include "cli/registerfiles.h"
#include "common/printabletext.h"
#include "usb/chipreading.h"

namespace {
// One side of the comparison: a register file, or the chip.
struct DiffSide {
    RegisterImage image;
    std::optional<double> referenceHz;  // a file's; the chip holds none
    QString name;                       // the file's name as given, or "chip"
    QJsonObject json;                   // {"file"} or {"device", "i2cAddress"}
};

std::optional<int> loadSide(const QString& path, const CliContext& cli, DiffSide& side) {
    RegisterFileContents contents;
    if (std::optional<int> failed = loadInputFile(path, cli, contents))
        return failed;
    side.image.bytes = contents.registers;
    side.referenceHz = contents.fRef;
    side.name = path;
    side.json.insert("file", path);
    return std::nullopt;
}

// Reads the chip as read does; a failure is trouble, exit 2.
std::optional<int> readSide(const CliContext& cli, const AdapterOptions& adapters, DiffSide& side) {
    ProgressBar bar(cli.err, cli.env.stderrIsTerminal);
    const int code = runOnAdapters(
        cli, adapters, &bar, [&](AdapterConnection& c, const ListedDevice& adapter, QString& text) {
            const bool read = readWholeChip(c, side.image, "reading the chip", text);
            bar.finish();
            side.json.insert("device", deviceJson(adapter));
            side.json.insert("i2cAddress", c.i2cAddress);
            return read;
        });
    side.name = QStringLiteral("the chip");
    return code == ExitCode::Done ? std::nullopt : std::optional<int>(ExitCode::Trouble);
}

// Prints the differing registers (and references), one line each, or the document. Returns
// whether the two agree.
bool report(const DiffSide& first, const DiffSide& second, bool json, const CliContext& cli) {
    QJsonArray differences;
    QStringList lines;
    for (quint8 address : ShownRegisters) {
        const quint8 a = first.image[address];
        const quint8 b = second.image[address];
        if (a == b)
            continue;
        lines << QString::asprintf("0x%02X (%s): 0x%02X in %s, 0x%02X in %s", address,
                                   configurationFieldNames(address), a, qPrintable(first.name), b,
                                   qPrintable(second.name));
        differences.append(QJsonObject{{"address", address},
                                       {"contents", configurationFieldNames(address)},
                                       {"first", a},
                                       {"second", b}});
    }
    const bool referencesDiffer =
        first.referenceHz && second.referenceHz && *first.referenceHz != *second.referenceHz;
    if (referencesDiffer)
        lines << QStringLiteral("reference: %1 in %2, %3 in %4")
                     .arg(hertzText(*first.referenceHz), first.name, hertzText(*second.referenceHz),
                          second.name);
    const bool alike = lines.isEmpty();
    if (json) {
        QJsonObject document{{"first", first.json},
                             {"second", second.json},
                             {"differences", differences},
                             {"alike", alike}};
        if (first.referenceHz && second.referenceHz)
            document.insert("reference", QJsonObject{{"first", *first.referenceHz},
                                                     {"second", *second.referenceHz}});
        printJson(cli, document);
    } else {
        for (const QString& line : lines)
            cli.out << printableText(line) << '\n';
        cli.out.flush();
    }
    return alike;
}
}  // namespace

// Exit codes as diff(1) has them: 0 alike, 1 different, 2 trouble (bad usage or input, a device or
// transfer failure).
int runDiffCommand(const QStringList& arguments, const CliContext& cli) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Compares the eleven configuration registers that write writes: of a register file and "
        "the chip, or of two register files without a device (and then their references too). "
        "One line per register that differs, with its address, its fields and both values. "
        "Exits 0 when they agree, 1 when they differ, 2 for trouble (bad input, a device or "
        "transfer failure).");
    parser.addPositionalArgument("FILE", "A register file (.cy22150.bin).");
    parser.addPositionalArgument("FILE2", "A second register file; without it, the chip.",
                                 "[FILE2]");
    addAdapterOptions(parser, false);
    addJsonOption(parser);
    if (std::optional<int> done =
            parseCommand(parser, "diff [options] FILE [FILE2]", arguments, cli))
        return *done;
    AdapterOptions adapters;
    if (std::optional<int> failed = readAdapterOptions(parser, cli, adapters))
        return *failed;
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty() || files.size() > 2)
        return cli.fail(ExitCode::Usage, QStringLiteral("diff takes one or two register files"));
    DiffSide first;
    DiffSide second;
    if (std::optional<int> failed = loadSide(files[0], cli, first))
        return *failed;
    const std::optional<int> failed =
        files.size() == 2 ? loadSide(files[1], cli, second) : readSide(cli, adapters, second);
    if (failed)
        return *failed;
    return report(first, second, jsonRequested(parser), cli) ? ExitCode::Done : ExitCode::Findings;
}
