// SPDX-License-Identifier: MIT
#include "cli/arguments.h"
#include "cli/boardoptions.h"
#include "cli/commands.h"
#include "cli/configurationtext.h"
#include "cli/jsonoutput.h"
#include "cli/registerfiles.h"

namespace {
QJsonObject targetsJson(const RegisterFileContents& contents) {
    return QJsonObject{
        {"f1", contents.targetF1},
        {"f2", contents.targetF2},
        {"f2Enabled", bool(contents.flags & RegisterFileFlag::F2Enabled)},
        {"f1Preferred", bool(contents.flags & RegisterFileFlag::F1Preferred)},
        {"f2Preferred", bool(contents.flags & RegisterFileFlag::F2Preferred)},
    };
}
}  // namespace

int runShowCommand(const QStringList& arguments, const CliContext& cli) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Decodes a register file without any device: registers, fields, frequencies.");
    parser.addPositionalArgument("FILE", "A register file (.cy22150.bin).");
    addBoardOptions(parser);
    addJsonOption(parser);
    if (std::optional<int> done = parseCommand(parser, "show [options] FILE", arguments, cli))
        return *done;
    BoardFacts board;
    if (std::optional<int> failed = readBoardOptions(parser, cli, board))
        return *failed;
    RegisterFileContents contents;
    if (std::optional<int> failed =
            loadFileArgument(parser.positionalArguments(), "show", cli, contents))
        return *failed;

    RegisterImage image;
    image.bytes = contents.registers;
    const bool extended = contents.flags & RegisterFileFlag::PllExtended;
    if (jsonRequested(parser)) {
        QJsonObject document = configurationJson(image, contents.fRef, extended, board);
        document.insert("file", parser.positionalArguments().first());
        document.insert("targets", targetsJson(contents));
        document.insert("findings", findingsJson(checkChipRules(image, contents.fRef, board)));
        printJson(cli, document);
        return ExitCode::Done;
    }
    for (const QString& line :
         describeConfiguration(image, contents.fRef, pllRangeFor(extended), board))
        cli.out << line << '\n';
    for (const QString& line : describeFindings(checkChipRules(image, contents.fRef, board)))
        cli.out << line << '\n';
    cli.out << "Targets:\n"
            << "  F1            " << hertzText(contents.targetF1) << '\n'
            << "  F2            " << hertzText(contents.targetF2)
            << ((contents.flags & RegisterFileFlag::F2Enabled) ? "" : " (F2 follows F1)") << '\n'
            << "  PLL range     " << (extended ? "extended" : "normal") << '\n';
    cli.out.flush();
    return ExitCode::Done;
}
