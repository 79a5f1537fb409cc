// SPDX-License-Identifier: MIT
#include "cli/adapters.h"
#include "cli/boardoptions.h"
#include "cli/commands.h"
#include "cli/progressbar.h"
#include "cli/referenceoption.h"
#include "cli/registerfiles.h"
#include "usb/chipaccess.h"

// Exit 0 without findings, 1 with findings (warnings too) or when the chip cannot be read, 2 for
// bad usage or input.
int runCheckCommand(const QStringList& arguments, const CliContext& cli) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Checks a register file, or without one what the chip holds (read as read reads it), "
        "against the CY22150's own rules: one line per finding, starting with the rule's id. A "
        "register file holds its reference; for the chip it is --ref.");
    parser.addPositionalArgument("FILE", "A register file (.cy22150.bin).", "[FILE]");
    addReferenceOptions(parser);
    addBoardOptions(parser);
    addAdapterOptions(parser, false);
    if (std::optional<int> done = parseCommand(parser, "check [options] [FILE]", arguments, cli))
        return *done;
    BoardFacts board;
    if (std::optional<int> failed = readBoardOptions(parser, cli, board))
        return *failed;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1)
        return cli.fail(ExitCode::Usage, QStringLiteral("check takes at most one register file"));

    RegisterImage image;
    double referenceHz = 0;
    if (positional.size() == 1) {
        if (parser.isSet("ref"))
            return cli.fail(ExitCode::Usage,
                            QStringLiteral("--ref is for the chip; a register file holds its "
                                           "own reference"));
        RegisterFileContents contents;
        if (std::optional<int> failed = loadInputFile(positional.first(), cli, contents))
            return *failed;
        image.bytes = contents.registers;
        referenceHz = contents.fRef;
    } else {
        ReferenceSettings reference;
        if (std::optional<int> failed = readReferenceOptions(parser, cli, reference))
            return *failed;
        referenceHz = reference.hz;
        AdapterOptions adapterOptions;
        if (std::optional<int> failed = readAdapterOptions(parser, cli, adapterOptions))
            return *failed;
        ProgressBar bar(cli.err, cli.env.stderrIsTerminal);
        const int code =
            runOnAdapters(cli, adapterOptions, &bar,
                          [&](AdapterConnection& c, const ListedDevice&, QString& text) {
                              const ChipRead read = readChip(c, image);
                              bar.finish();
                              if (!read.ok())
                                  text = read.error;
                              return read.ok();
                          });
        if (code != ExitCode::Done)
            return code;
    }

    const Findings findings = checkChipRules(image, referenceHz, board);
    for (const Finding& f : findings)
        cli.out << findingLine(f) << '\n';
    cli.out.flush();
    return findings.isEmpty() ? ExitCode::Done : ExitCode::Failure;
}
