// SPDX-License-Identifier: MIT
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/jsonoutput.h"
#include "usb/devicelist.h"
#include "usb/usbbackend.h"

int runListCommand(const QStringList& arguments, const CliContext& cli) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Lists every USB device as the window names it; i2c-tiny-usb adapters are marked.");
    addJsonOption(parser);
    if (std::optional<int> done = parseCommand(parser, "list [--json]", arguments, cli))
        return *done;
    if (!parser.positionalArguments().isEmpty())
        return cli.fail(ExitCode::Usage, QStringLiteral("list takes no arguments"));

    cli.usb.init();
    const std::vector<ListedDevice> devices = listDevices(cli.usb);
    if (cli.usb.busses().empty())
        return cli.fail(ExitCode::Failure,
                        QStringLiteral("No USB subsystem found on this machine!"));
    if (jsonRequested(parser)) {
        QJsonArray listed;
        for (const ListedDevice& d : devices)
            listed.append(deviceJson(d));
        printJson(cli, listed);
        return ExitCode::Done;
    }
    for (const ListedDevice& d : devices)
        cli.out << d.entry << (d.adapter ? "  [adapter]" : "") << '\n';
    cli.out.flush();
    return ExitCode::Done;
}
