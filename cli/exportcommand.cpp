// SPDX-License-Identifier: MIT
#include "cli/adapters.h"
#include "cli/boardoptions.h"
#include "cli/commands.h"
#include "cli/registerfiles.h"
#include "files/registerexport.h"
#include "usb/i2cbuses.h"

int runExportCommand(const QStringList& arguments, const CliContext& cli) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Prints a register file's configuration as the eleven writes that program it, in the "
        "order that write uses. The findings of the chip's rules (see check) follow on stderr, "
        "and the i2cset and C outputs carry one comment line for each.");
    parser.addPositionalArgument("FILE", "A register file (.cy22150.bin).");
    const QCommandLineOption format("format", "i2cset, c or json.", "i2cset|c|json", "i2cset");
    const QCommandLineOption bus("bus", "The I2C bus for i2cset: N, i2c-N or /dev/i2c-N.", "N",
                                 "1");
    parser.addOption(format);
    parser.addOption(bus);
    addAddressOption(parser);
    addBoardOptions(parser);
    if (std::optional<int> done =
            parseCommand(parser, "export [options] FILE --format i2cset|c|json", arguments, cli))
        return *done;
    RegisterFileContents contents;
    if (std::optional<int> failed =
            loadFileArgument(parser.positionalArguments(), "export", cli, contents))
        return *failed;
    quint8 address = 0x69;
    if (std::optional<int> failed = readAddressOption(parser, cli, address))
        return *failed;
    const std::optional<int> busNumber = parseI2cBusName(parser.value(bus));
    if (!busNumber)
        return cli.fail(
            ExitCode::Usage,
            QStringLiteral("--bus takes a bus number, not \"%1\"").arg(parser.value(bus)));
    BoardFacts board;
    if (std::optional<int> failed = readBoardOptions(parser, cli, board))
        return *failed;
    const QString kind = parser.value(format);
    if (kind != "i2cset" && kind != "c" && kind != "json")
        return cli.fail(ExitCode::Usage,
                        QStringLiteral("--format takes i2cset, c or json, not \"%1\"").arg(kind));

    RegisterImage image;
    image.bytes = contents.registers;
    // Told, never refused: an export programs nothing.
    const Findings findings = reportFindings(image, contents.fRef, board, cli.err);
    for (const Finding& f : findings) {
        if (kind == "i2cset")
            cli.out << "# " << findingLine(f) << '\n';
        else if (kind == "c")
            cli.out << "/* " << findingLine(f) << " */\n";
    }
    if (kind == "i2cset")
        cli.out << exportI2cset(image, *busNumber, address);
    else if (kind == "c")
        cli.out << exportCArray(image, address);
    else
        cli.out << exportJson(image, address);
    cli.out.flush();
    return ExitCode::Done;
}
