// SPDX-License-Identifier: MIT
#include "cli/adapters.h"
#include "cli/commands.h"
#include "cli/configurationtext.h"
#include "cli/progressbar.h"
#include "cli/referenceoption.h"
#include "cli/registerfiles.h"
#include "usb/chipaccess.h"
#include "usb/deviceid.h"

namespace {
// The eleven registers of a configuration in address order, for the --all line.
QString registerSummary(const RegisterImage& image) {
    QStringList parts;
    for (quint8 address :
         {Reg::ClockOutputEnable, Reg::Div1, Reg::XcoDrive, Reg::CapLoad, Reg::PumpPb, Reg::PbLow,
          Reg::PoQ, Reg::Matrix1, Reg::Matrix2, Reg::Matrix3, Reg::Div2})
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
    addAdapterOptions(parser, true);
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
    const QString outputPath = parser.value(output);
    if (parser.isSet(output)) {
        if (adapterOptions.all)
            return cli.fail(ExitCode::Usage, QStringLiteral("-o and --all exclude each other"));
        if (std::optional<int> failed = checkOutputFile(outputPath, cli))
            return *failed;
    }

    ProgressBar bar(cli.err, cli.env.stderrIsTerminal);
    RegisterImage image;
    const int code =
        runOnAdapters(cli, adapterOptions, &bar,
                      [&](AdapterConnection& c, const ListedDevice& adapter, QString& text) {
                          image = RegisterImage{};
                          const ChipRead read = readChip(c, image);
                          bar.finish();
                          if (!read.ok()) {
                              text = read.error;
                              return false;
                          }
                          if (adapterOptions.all) {
                              text = registerSummary(image);
                          } else if (!parser.isSet(output)) {
                              cli.out << QString::asprintf("Chip at 0x%02X on ", c.i2cAddress)
                                      << adapterName(c, adapter) << '\n';
                              for (const QString& line : describeConfiguration(
                                       image, reference.hz, pllRangeFor(reference.extended)))
                                  cli.out << line << '\n';
                              cli.out.flush();
                          }
                          return true;
                      });
    if (code != ExitCode::Done || !parser.isSet(output))
        return code;

    RegisterFileContents contents;
    contents.registers = image.bytes;
    contents.fRef = reference.hz;
    contents.flags = reference.extended ? RegisterFileFlag::PllExtended : 0;
    if (std::optional<int> failed = saveOutputFile(outputPath, cli, contents))
        return *failed;
    cli.out << "Saved " << outputPath << Qt::endl;
    return ExitCode::Done;
}
