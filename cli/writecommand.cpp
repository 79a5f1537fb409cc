// SPDX-License-Identifier: MIT
#include "cli/adapters.h"
#include "cli/boardoptions.h"
#include "cli/commands.h"
#include "cli/programming.h"
#include "cli/registerfiles.h"
#include "usb/deviceid.h"

int runWriteCommand(const QStringList& arguments, const CliContext& cli) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Writes a register file's configuration to the chip: 0x0C, 0x12, 0x13, 0x40, 0x41, 0x42, "
        "0x44, 0x45, 0x46, 0x47, then the output enables 0x09, and reads it back to compare. A "
        "configuration that breaks one of the chip's rules (see check) is refused unless "
        "--force is given.");
    parser.addPositionalArgument("FILE", "A register file (.cy22150.bin).");
    const QCommandLineOption noVerify("no-verify", "Skips the read-back.");
    parser.addOption(noVerify);
    addBoardOptions(parser);
    addForceOption(parser);
    addAdapterOptions(parser, true);
    if (std::optional<int> done = parseCommand(parser, "write [options] FILE", arguments, cli))
        return *done;
    RegisterFileContents contents;
    if (std::optional<int> failed =
            loadFileArgument(parser.positionalArguments(), "write", cli, contents))
        return *failed;
    AdapterOptions adapterOptions;
    if (std::optional<int> failed = readAdapterOptions(parser, cli, adapterOptions))
        return *failed;
    BoardFacts board;
    if (std::optional<int> failed = readBoardOptions(parser, cli, board))
        return *failed;
    RegisterImage image;
    image.bytes = contents.registers;
    ProgramFromChip how;
    how.verify = !parser.isSet(noVerify);
    how.force = forceGiven(parser);
    how.referenceHz = contents.fRef;
    how.board = board;
    how.file = parser.positionalArguments().first();
    return programImage(cli, adapterOptions, how, image,
                        [&](const AdapterConnection& c, const ListedDevice& adapter) {
                            if (adapterOptions.all)
                                return;  // the --all line says it
                            cli.out << "Wrote " << SafeWriteOrder.size() << " registers to "
                                    << targetName(c, adapter)
                                    << QString::asprintf(" at 0x%02X", c.i2cAddress)
                                    << (how.verify ? ", verified." : ", not verified.") << Qt::endl;
                        });
}
