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
    return targetName(c, adapter) +
           (c.requestType == AdapterRequestType::Vendor ? " (vendor requests)" : "");
}

const QCommandLineOption OutputOption({"o", "output"}, "Saves a register file instead of printing.",
                                      "FILE");

// What read was asked, read from its options.
struct ReadOptions {
    AdapterOptions adapters;
    ReferenceSettings reference;
    BoardFacts board;
    bool json = false;
    std::optional<QString> outputPath;  // -o
};

std::optional<int> readReadOptions(const QCommandLineParser& parser, const CliContext& cli,
                                   ReadOptions& o) {
    if (!parser.positionalArguments().isEmpty())
        return cli.fail(ExitCode::Usage, QStringLiteral("read takes no arguments"));
    if (std::optional<int> failed = readAdapterOptions(parser, cli, o.adapters))
        return failed;
    if (std::optional<int> failed = readReferenceOptions(parser, cli, o.reference))
        return failed;
    o.json = jsonRequested(parser);
    if (o.json && o.adapters.all)
        return cli.fail(ExitCode::Usage, QStringLiteral("--json and --all exclude each other"));
    if (std::optional<int> failed = readBoardOptions(parser, cli, o.board))
        return failed;
    if (parser.isSet(OutputOption)) {
        o.outputPath = parser.value(OutputOption);
        if (o.adapters.all)
            return cli.fail(ExitCode::Usage, QStringLiteral("-o and --all exclude each other"));
        if (std::optional<int> failed = checkOutputFile(*o.outputPath, cli))
            return failed;
    }
    return std::nullopt;
}

// What a read gives on stdout: the --all summary, the document, or the configuration in words
// (nothing while -o saves it instead).
void reportReading(const ReadOptions& o, const CliContext& cli, const AdapterConnection& c,
                   const ListedDevice& adapter, const RegisterImage& image, QString& summary,
                   QJsonObject& document) {
    const Findings findings = checkChipRules(image, o.reference.hz, o.board);
    if (o.adapters.all) {
        summary = registerSummary(image);
    } else if (o.json) {
        document = configurationJson(image, o.reference.hz, o.reference.extended, o.board);
        document.insert("device", c.usbBacked ? QJsonValue(deviceJson(adapter)) : QJsonValue());
        document.insert("transport", transportJson(c));
        document.insert("i2cAddress", c.i2cAddress);
        document.insert("findings", findingsJson(findings));
    } else if (!o.outputPath) {
        cli.out << QString::asprintf("Chip at 0x%02X on ", c.i2cAddress) << adapterName(c, adapter)
                << '\n';
        const PllRange range = pllRangeFor(o.reference.extended);
        for (const QString& line : describeConfiguration(image, o.reference.hz, range, o.board))
            cli.out << line << '\n';
        for (const QString& line : describeFindings(findings))
            cli.out << line << '\n';
        cli.out.flush();
    }
}

// -o: the chip's registers with the reference and the PLL range, as the window saves them.
std::optional<int> saveReading(const ReadOptions& o, const CliContext& cli,
                               const RegisterImage& image, QJsonObject& document) {
    RegisterFileContents contents;
    contents.registers = image.bytes;
    contents.fRef = o.reference.hz;
    contents.flags = o.reference.extended ? RegisterFileFlag::PllExtended : 0;
    if (std::optional<int> failed = saveOutputFile(*o.outputPath, cli, contents))
        return failed;
    if (!o.json)
        cli.out << "Saved " << printableText(*o.outputPath) << Qt::endl;
    document.insert("saved", *o.outputPath);
    return std::nullopt;
}
}  // namespace

int runReadCommand(const QStringList& arguments, const CliContext& cli) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Reads the chip's 256 registers and prints its configuration, or saves it as a register "
        "file that the window loads.");
    parser.addOption(OutputOption);
    addReferenceOptions(parser);
    addBoardOptions(parser);
    addAdapterOptions(parser, true);
    addJsonOption(parser);
    if (std::optional<int> done = parseCommand(parser, "read [options]", arguments, cli))
        return *done;
    ReadOptions options;
    if (std::optional<int> failed = readReadOptions(parser, cli, options))
        return *failed;

    ProgressBar bar(cli.err, cli.env.stderrIsTerminal);
    RegisterImage image;
    QJsonObject document;
    const int code =
        runOnAdapters(cli, options.adapters, &bar,
                      [&](AdapterConnection& c, const ListedDevice& adapter, QString& text) {
                          image = RegisterImage{};
                          const bool read = readWholeChip(c, image, "reading the chip", text);
                          bar.finish();
                          if (read)
                              reportReading(options, cli, c, adapter, image, text, document);
                          return read;
                      });
    if (code != ExitCode::Done)
        return code;
    if (options.outputPath)
        if (std::optional<int> failed = saveReading(options, cli, image, document))
            return *failed;
    if (options.json)
        printJson(cli, document);
    return ExitCode::Done;
}
