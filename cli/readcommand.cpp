// SPDX-License-Identifier: MIT
#include "cli/adapters.h"
#include "cli/boardoptions.h"
#include "cli/commands.h"
#include "cli/configurationtext.h"
#include "cli/jsonoutput.h"
#include "cli/progressbar.h"
#include "cli/referenceoption.h"
#include "cli/registerfiles.h"
#include "common/printabletext.h"
#include "usb/chipreading.h"
#include "usb/deviceid.h"

namespace {
// The eleven registers of a configuration, for the --all line.
QString registerSummary(const RegisterImage& image) {
    QStringList parts;
    for (quint8 address : ShownRegisters)
        parts << QString::asprintf("0x%02X=0x%02X", address, image[address]);
    return parts.join(' ');
}

// The adapter's identification, and its request type when the firmware answers vendor requests
// only, so that a user can tell the firmware families apart.
QString adapterName(const AdapterConnection& c, const ListedDevice& adapter) {
    return deviceIdentification(adapter.info) +
           (c.requestType == AdapterRequestType::Vendor ? " (vendor requests)" : "");
}
}  // namespace

int runReadCommand(const QStringList& arguments, const CliContext& cli) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Reads the chip's 256 registers and prints its configuration, or saves it as a register "
        "file that the window loads.");
    const QCommandLineOption output({"o", "output"}, "Saves a register file instead of printing.",
                                    "FILE");
    parser.addOption(output);
    addReferenceOptions(parser);
    addBoardOptions(parser);
    addAdapterOptions(parser, true);
    addJsonOption(parser);
    if (std::optional<int> done = parseCommand(parser, "read [options]", arguments, cli))
        return *done;
    if (!parser.positionalArguments().isEmpty())
        return cli.fail(ExitCode::Usage, QStringLiteral("read takes no arguments"));
    AdapterOptions adapterOptions;
    if (std::optional<int> failed = readAdapterOptions(parser, cli, adapterOptions))
        return *failed;
    ReferenceSettings reference;
    if (std::optional<int> failed = readReferenceOptions(parser, cli, reference))
        return *failed;
    const bool json = jsonRequested(parser);
    if (json && adapterOptions.all)
        return cli.fail(ExitCode::Usage, QStringLiteral("--json and --all exclude each other"));
    BoardFacts board;
    if (std::optional<int> failed = readBoardOptions(parser, cli, board))
        return *failed;
    const QString outputPath = parser.value(output);
    if (parser.isSet(output)) {
        if (adapterOptions.all)
            return cli.fail(ExitCode::Usage, QStringLiteral("-o and --all exclude each other"));
        if (std::optional<int> failed = checkOutputFile(outputPath, cli))
            return *failed;
    }

    ProgressBar bar(cli.err, cli.env.stderrIsTerminal);
    RegisterImage image;
    QJsonObject document;
    const int code = runOnAdapters(
        cli, adapterOptions, &bar,
        [&](AdapterConnection& c, const ListedDevice& adapter, QString& text) {
            image = RegisterImage{};
            const bool read = readWholeChip(c, image, "reading the chip", text);
            bar.finish();
            if (!read)
                return false;
            if (adapterOptions.all) {
                text = registerSummary(image);
            } else if (json) {
                document = configurationJson(image, reference.hz, reference.extended);
                document.insert("device", deviceJson(adapter));
                document.insert("i2cAddress", c.i2cAddress);
                document.insert("findings",
                                findingsJson(checkChipRules(image, reference.hz, board)));
            } else if (!parser.isSet(output)) {
                cli.out << QString::asprintf("Chip at 0x%02X on ", c.i2cAddress)
                        << adapterName(c, adapter) << '\n';
                for (const QString& line :
                     describeConfiguration(image, reference.hz, pllRangeFor(reference.extended)))
                    cli.out << line << '\n';
                for (const QString& line :
                     describeFindings(checkChipRules(image, reference.hz, board)))
                    cli.out << line << '\n';
                cli.out.flush();
            }
            return true;
        });
    if (code != ExitCode::Done)
        return code;

    if (parser.isSet(output)) {
        RegisterFileContents contents;
        contents.registers = image.bytes;
        contents.fRef = reference.hz;
        contents.flags = reference.extended ? RegisterFileFlag::PllExtended : 0;
        if (std::optional<int> failed = saveOutputFile(outputPath, cli, contents))
            return *failed;
        if (!json)
            cli.out << "Saved " << printableText(outputPath) << Qt::endl;
        document.insert("saved", outputPath);
    }
    if (json)
        printJson(cli, document);
    return ExitCode::Done;
}
