// SPDX-License-Identifier: MIT
#include "cli/adapters.h"
#include "cli/boardoptions.h"
#include "cli/commands.h"
#include "cli/jsonoutput.h"
#include "cli/progressbar.h"
#include "cli/referenceoption.h"
#include "cli/registerfiles.h"
#include "usb/chipreading.h"

namespace {
// What is checked: a register file with its own reference, or the chip with --ref.
struct CheckSubject {
    RegisterImage image;
    double referenceHz = 0;
    QJsonObject json;  // "file", or "device" and "i2cAddress"
};

std::optional<int> loadCheckedFile(const QCommandLineParser& parser, const CliContext& cli,
                                   CheckSubject& subject) {
    if (parser.isSet("ref"))
        return cli.fail(ExitCode::Usage,
                        QStringLiteral("--ref is for the chip; a register file holds its "
                                       "own reference"));
    const QString path = parser.positionalArguments().first();
    RegisterFileContents contents;
    if (std::optional<int> failed = loadInputFile(path, cli, contents))
        return failed;
    subject.image.bytes = contents.registers;
    subject.referenceHz = contents.fRef;
    subject.json.insert("file", path);
    return std::nullopt;
}

// Reads the chip as read does; a read that fails names its transfer. Trouble is exit 2.
std::optional<int> readCheckedChip(const QCommandLineParser& parser, const CliContext& cli,
                                   const AdapterOptions& adapters, CheckSubject& subject) {
    ReferenceSettings reference;
    if (std::optional<int> failed = readReferenceOptions(parser, cli, reference))
        return failed;
    subject.referenceHz = reference.hz;
    ProgressBar bar(cli.err, cli.env.stderrIsTerminal);
    const int code = runOnAdapters(
        cli, adapters, &bar, [&](AdapterConnection& c, const ListedDevice& adapter, QString& text) {
            const bool read = readWholeChip(c, subject.image, "reading the chip", text);
            bar.finish();
            subject.json.insert("device", deviceJson(adapter));
            subject.json.insert("i2cAddress", c.i2cAddress);
            return read;
        });
    return code == ExitCode::Done ? std::nullopt : std::optional<int>(ExitCode::Trouble);
}
}  // namespace

// Exit codes as diff(1) has them: 0 without findings, 1 with findings (warnings too), 2 for
// trouble: bad usage or input, a device or transfer failure.
int runCheckCommand(const QStringList& arguments, const CliContext& cli) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Checks a register file, or without one what the chip holds (read as read reads it), "
        "against the CY22150's own rules: one line per finding, starting with the rule's id. A "
        "register file holds its reference; for the chip it is --ref. Exits 0 without findings, "
        "1 with findings, 2 for trouble (bad input, a device or transfer failure).");
    parser.addPositionalArgument("FILE", "A register file (.cy22150.bin).", "[FILE]");
    addReferenceOptions(parser);
    addBoardOptions(parser);
    addAdapterOptions(parser, false);
    addJsonOption(parser);
    if (std::optional<int> done = parseCommand(parser, "check [options] [FILE]", arguments, cli))
        return *done;
    BoardFacts board;
    if (std::optional<int> failed = readBoardOptions(parser, cli, board))
        return *failed;
    // Bad usage is refused whatever else the command needs, a file included.
    AdapterOptions adapters;
    if (std::optional<int> failed = readAdapterOptions(parser, cli, adapters))
        return *failed;
    if (parser.positionalArguments().size() > 1)
        return cli.fail(ExitCode::Usage, QStringLiteral("check takes at most one register file"));

    CheckSubject subject;
    const std::optional<int> failed = parser.positionalArguments().isEmpty()
                                          ? readCheckedChip(parser, cli, adapters, subject)
                                          : loadCheckedFile(parser, cli, subject);
    if (failed)
        return *failed;
    const Findings findings = checkChipRules(subject.image, subject.referenceHz, board);
    if (jsonRequested(parser)) {
        subject.json.insert("findings", findingsJson(findings));
        printJson(cli, subject.json);
    } else {
        for (const Finding& f : findings)
            cli.out << findingLine(f) << '\n';
        cli.out.flush();
    }
    return findings.isEmpty() ? ExitCode::Done : ExitCode::Findings;
}
