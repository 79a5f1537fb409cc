// SPDX-License-Identifier: MIT
#include "cli/cli.h"

#include "cli/commands.h"
#include "cli/context.h"
#include "common/printabletext.h"

#include <QTextStream>

namespace {
struct Command {
    const char* name;
    int (*run)(const QStringList&, const CliContext&);
    const char* summary;
};

const Command Commands[] = {
    {"list", runListCommand, "every USB device, adapters marked"},
    {"read", runReadCommand, "read the chip; print it or save a register file (-o)"},
    {"write", runWriteCommand, "write a register file to the chip and verify it"},
    {"show", runShowCommand, "decode a register file without a device"},
    {"export", runExportCommand, "a register file as i2cset lines, a C array or JSON"},
    {"solve", runSolveCommand, "P, Q and dividers for target frequencies"},
    {"check", runCheckCommand, "check a register file or the chip against the chip's rules"},
    {"plan", runPlanCommand, "the best setting for targets on any of the six outputs"},
    {"diff", runDiffCommand, "compare a register file with the chip, or two files"},
    {"get", runGetCommand, "read one register of the chip"},
    {"set", runSetCommand, "write one register of the chip and verify it"},
};

void printUsage(QTextStream& stream) {
    stream << "Usage: vantrel-cli COMMAND [options]\n"
              "       vantrel-cli --version\n"
              "Programs a CY22150 clock generator through an i2c-tiny-usb adapter.\n\n"
              "Commands:\n";
    for (const Command& c : Commands)
        stream << QString::asprintf("  %-8s %s\n", c.name, c.summary);
    stream << "\n'vantrel-cli COMMAND --help' describes a command.\n"
              "Exit codes: 0 done, 1 a device, transfer or verify failure or a configuration\n"
              "refused for breaking the chip's rules, 2 bad usage or input; check and diff answer\n"
              "as diff(1) does: 0 no findings or alike, 1 findings or differences, 2 trouble\n"
              "(bad input, a device or transfer failure).\n";
    stream.flush();
}
}  // namespace

int runCli(const QStringList& arguments, UsbBackend& usb, QTextStream& out, QTextStream& err,
           const CliEnvironment& env) {
    const CliContext cli{usb, out, err, env, arguments.mid(1), nullptr};
    const QString name = arguments.value(1);
    if (name == "--help" || name == "-h" || name == "help") {
        printUsage(out);
        return ExitCode::Done;
    }
    if (name == "--version") {
        out << "vantrel-cli " << VANTREL_VERSION << Qt::endl;
        return ExitCode::Done;
    }
    for (const Command& c : Commands) {
        if (name == QLatin1String(c.name))
            return c.run(arguments.mid(1), cli);
    }
    if (name.isEmpty())
        return cli.fail(ExitCode::Usage,
                        QStringLiteral("no command given; try vantrel-cli --help"));
    return cli.fail(
        ExitCode::Usage,
        QStringLiteral("unknown command \"%1\"; try vantrel-cli --help").arg(printableText(name)));
}
