// SPDX-License-Identifier: MIT
#include "cli/adapters.h"
#include "cli/boardoptions.h"
#include "cli/commands.h"
#include "cli/programming.h"
#include "cli/referenceoption.h"
#include "usb/chipreading.h"

// get and set: one register, as i2cget and i2cset handle any chip's, with set keeping the
// chip's rules as write does.

namespace {
std::optional<int> readRegisterArgument(const QString& text, const char* what,
                                        const CliContext& cli, quint8& value) {
    const std::optional<quint8> parsed = parseByte(text);
    if (!parsed)
        return cli.fail(ExitCode::Usage, QStringLiteral("%1 takes 0x00..0xFF or 0..255, not \"%2\"")
                                             .arg(QLatin1String(what), text));
    value = *parsed;
    return std::nullopt;
}
}  // namespace

int runGetCommand(const QStringList& arguments, const CliContext& cli) {
    QCommandLineParser parser;
    parser.setApplicationDescription("Reads one register of the chip and prints it as 0xNN.");
    parser.addPositionalArgument("REG", "The register, 0x00..0xFF or 0..255.");
    addAdapterOptions(parser, false);
    if (std::optional<int> done = parseCommand(parser, "get [options] REG", arguments, cli))
        return *done;
    AdapterOptions adapters;
    if (std::optional<int> failed = readAdapterOptions(parser, cli, adapters))
        return *failed;
    if (parser.positionalArguments().size() != 1)
        return cli.fail(ExitCode::Usage, QStringLiteral("get takes one register"));
    quint8 reg = 0;
    if (std::optional<int> failed =
            readRegisterArgument(parser.positionalArguments().first(), "REG", cli, reg))
        return *failed;
    return runOnAdapters(cli, adapters, nullptr,
                         [&](AdapterConnection& c, const ListedDevice&, QString& text) {
                             quint8 value = 0;
                             if (!readChipRegisters(c, reg, 1, &value, "reading the chip", text))
                                 return false;
                             cli.out << QString::asprintf("0x%02X", value) << Qt::endl;
                             return true;
                         });
}

int runSetCommand(const QStringList& arguments, const CliContext& cli) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Writes one register of the chip and reads it back. The configuration it would leave "
        "is checked against the chip's rules (see check) with --ref and the board options, and "
        "refused unless --force is given.");
    parser.addPositionalArgument("REG", "The register, 0x00..0xFF or 0..255.");
    parser.addPositionalArgument("VALUE", "Its new value, 0x00..0xFF or 0..255.");
    const QCommandLineOption noVerify("no-verify", "Skips the read-back.");
    parser.addOption(noVerify);
    addReferenceOptions(parser);
    addBoardOptions(parser);
    addForceOption(parser);
    addAdapterOptions(parser, false);
    if (std::optional<int> done = parseCommand(parser, "set [options] REG VALUE", arguments, cli))
        return *done;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 2)
        return cli.fail(ExitCode::Usage, QStringLiteral("set takes a register and a value"));
    quint8 reg = 0;
    quint8 value = 0;
    if (std::optional<int> failed = readRegisterArgument(positional[0], "REG", cli, reg))
        return *failed;
    if (std::optional<int> failed = readRegisterArgument(positional[1], "VALUE", cli, value))
        return *failed;
    ProgramFromChip how;
    ReferenceSettings reference;
    if (std::optional<int> failed = readReferenceOptions(parser, cli, reference))
        return *failed;
    how.referenceHz = reference.hz;
    if (std::optional<int> failed = readBoardOptions(parser, cli, how.board))
        return *failed;
    AdapterOptions adapters;
    if (std::optional<int> failed = readAdapterOptions(parser, cli, adapters))
        return *failed;
    how.verify = !parser.isSet(noVerify);
    how.force = forceGiven(parser);
    how.registers = {reg};
    const int code =
        programFromChip(cli, adapters, how, [&](RegisterImage& image) -> std::optional<int> {
            image[reg] = value;
            return std::nullopt;
        });
    if (code == ExitCode::Done)
        cli.out << QString::asprintf("Wrote 0x%02X to register 0x%02X, ", value, reg)
                << (how.verify ? "verified." : "not verified.") << Qt::endl;
    return code;
}
