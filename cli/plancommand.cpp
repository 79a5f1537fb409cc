// SPDX-License-Identifier: MIT
#include "cli/adapters.h"
#include "cli/boardoptions.h"
#include "cli/commands.h"
#include "cli/configurationtext.h"
#include "cli/jsonoutput.h"
#include "cli/programming.h"
#include "cli/registerfiles.h"
#include "common/printabletext.h"
#include "frequency/chiprules.h"
#include "frequency/planner.h"
#include "usb/chipaccess.h"

#include <QJsonArray>
#include <QJsonObject>

#include <cmath>

namespace {
// What the command line asks for, read and checked before anything touches a device.
struct PlanOptions {
    PlanRequest request;
    std::optional<double> tolerancePpm;
    bool json = false;
    bool write = false;
    bool verify = true;
    bool force = false;
    std::optional<QString> outputPath;  // -o FILE
    AdapterOptions adapters;
};

// The command's own options beside the board, adapter, --force and --json ones.
struct PlanParser {
    QCommandLineParser parser;
    const QCommandLineOption reference{
        "ref", "Reference frequency in whole Hz (k or M may follow).", "HZ"};
    const QCommandLineOption tolerance{
        "tolerance", "The largest error accepted on each named or held output, in ppm.", "PPM"};
    const QCommandLineOption disableUnused{
        "disable-unused",
        "Turns the enabled outputs not named off instead of holding their frequencies."};
    const QCommandLineOption output{{"o", "output"}, "Saves the plan as a register file.", "FILE"};
    const QCommandLineOption write{
        "write",
        "Programs the chip with the plan, on the chip's own configuration, as write does."};
    const QCommandLineOption noVerify{"no-verify", "With --write: skips the read-back."};

    PlanParser() {
        parser.setApplicationDescription(
            "Plans P, Q, both divider banks and the routes for targets on any of the six "
            "outputs: the setting with the least worst error (then the least summed error) among "
            "every setting that breaks none of the chip's rules. Enabled outputs not named are "
            "held at the frequency they give.");
        parser.addPositionalArgument("OUTPUT=FREQ",
                                     "An output (LCLK1..LCLK4, CLK5, CLK6, any case) and its "
                                     "target in Hz, k or M may follow: LCLK1=25M CLK6=100k.");
        for (const QCommandLineOption& o :
             {reference, tolerance, disableUnused, output, write, noVerify})
            parser.addOption(o);
        addBoardOptions(parser);
        addForceOption(parser);
        addJsonOption(parser);
        addAdapterOptions(parser, false);
    }
};

// OUTPUT=FREQ arguments into the request's targets; returns the exit code of a refusal.
std::optional<int> readTargets(const QStringList& arguments, const CliContext& cli,
                               PlanRequest& request) {
    if (arguments.isEmpty())
        return cli.fail(ExitCode::Usage,
                        QStringLiteral("plan needs at least one OUTPUT=FREQ, such as LCLK1=25M"));
    for (const QString& argument : arguments) {
        const int equals = argument.indexOf('=');
        if (equals < 0)
            return cli.fail(ExitCode::Usage,
                            QStringLiteral("\"%1\" is no OUTPUT=FREQ, such as LCLK1=25M")
                                .arg(printableText(argument)));
        const QString name = argument.left(equals).trimmed();
        int output = -1;
        for (int i = 0; i < OutputCount; ++i) {
            if (name.compare(outputName(i), Qt::CaseInsensitive) == 0)
                output = i;
        }
        if (output < 0)
            return cli.fail(ExitCode::Usage,
                            QStringLiteral("unknown output \"%1\"; the outputs are LCLK1, LCLK2, "
                                           "LCLK3, LCLK4, CLK5 and CLK6")
                                .arg(printableText(name)));
        PlanTarget& target = request.targets[std::size_t(output)];
        if (target.requested)
            return cli.fail(ExitCode::Usage,
                            QStringLiteral("%1 is named twice").arg(outputName(output)));
        const QString text = argument.mid(equals + 1);
        const std::optional<double> hz = parseScaledFrequency(text);
        if (!hz)
            return cli.fail(ExitCode::Usage,
                            QStringLiteral("%1 takes a positive frequency in Hz (k or M may "
                                           "follow), not \"%2\"")
                                .arg(outputName(output), printableText(text)));
        target.requested = true;
        target.hz = *hz;
    }
    return std::nullopt;
}

QString routeName(int code) {
    return QString::fromLatin1(CrosspointNames[std::size_t(code & 7)]);
}

QString bankText(const char* name, const PlannedBank& bank) {
    if (!bank.used)
        return QStringLiteral("%1  not used (kept as it is)").arg(QLatin1String(name));
    return QStringLiteral("%1  from the %2, N %3")
        .arg(QLatin1String(name), bank.fromReference ? "reference" : "PLL")
        .arg(bank.n);
}

void printPlan(const CliContext& cli, const Plan& plan, const std::optional<double>& tolerance) {
    if (plan.pllUsed)
        cli.out << QString::asprintf("PLL   %s  P %d (PB %d, PO %d)  Q %d  pump %d\n",
                                     qPrintable(hertzText(plan.pllHz)), plan.pTotal, plan.pb,
                                     plan.po ? 1 : 0, plan.qTotal, plan.chargePump);
    else
        cli.out << "PLL   not used (P, Q and the pump kept as they are)\n";
    cli.out << bankText("DIV1", plan.div1) << '\n' << bankText("DIV2", plan.div2) << '\n';
    for (int i = 0; i < OutputCount; ++i) {
        const PlannedOutput& out = plan.outputs[std::size_t(i)];
        const QString name = outputName(i);
        if (out.requested) {
            cli.out << QString::asprintf(
                "%-6s %-14s %s  %s %s  error %+.5f Hz  %+.3f ppm\n", qPrintable(name),
                qPrintable(routeName(out.route)), qPrintable(hertzText(out.hz)),
                out.held ? "held at" : "target", qPrintable(hertzText(out.targetHz)), out.errorHz,
                out.errorPpm);
        } else if (out.enabled) {
            cli.out << QString::asprintf("%-6s %-14s %s  (not planned, kept)\n", qPrintable(name),
                                         qPrintable(routeName(out.route)),
                                         qPrintable(hertzText(out.hz)));
        } else {
            cli.out << QString::asprintf("%-6s off\n", qPrintable(name));
        }
    }
    cli.out << QString::asprintf("worst error %.3f ppm (%s)", plan.worstErrorPpm,
                                 qPrintable(outputName(plan.worstOutput)));
    if (tolerance)
        cli.out << QString::asprintf(", tolerance %g ppm", *tolerance);
    cli.out << QString::asprintf("; %lld PLL settings examined\n", plan.pllSettingsExamined);
    cli.out.flush();
}

QJsonValue number(double value) {
    return std::isfinite(value) ? QJsonValue(value) : QJsonValue();
}

QJsonObject planJson(const PlanRequest& request, const Plan& plan, const RegisterImage& image,
                     const std::optional<double>& tolerance) {
    QJsonObject pll{{"used", plan.pllUsed},   {"hz", plan.pllHz},      {"p", plan.pTotal},
                    {"pb", plan.pb},          {"po", plan.po ? 1 : 0}, {"q", plan.qTotal},
                    {"pump", plan.chargePump}};
    const auto bank = [](const char* name, const PlannedBank& b) {
        return QJsonObject{{"name", name},
                           {"used", b.used},
                           {"source", b.fromReference ? "reference" : "pll"},
                           {"n", b.n}};
    };
    QJsonArray outputs;
    for (int i = 0; i < OutputCount; ++i) {
        const PlannedOutput& out = plan.outputs[std::size_t(i)];
        const auto ifTarget = [&out](double value) {
            return out.requested ? QJsonValue(value) : QJsonValue();
        };
        outputs.append(QJsonObject{{"name", outputName(i)},
                                   {"requested", out.requested && !out.held},
                                   {"held", out.held},
                                   {"enabled", out.enabled},
                                   {"hz", number(out.hz)},
                                   {"route", out.route},
                                   {"source", routeName(out.route)},
                                   {"target", ifTarget(out.targetHz)},
                                   {"errorHz", ifTarget(out.errorHz)},
                                   {"errorPpm", ifTarget(out.errorPpm)}});
    }
    return QJsonObject{
        {"reference", request.referenceHz},
        {"pll", pll},
        {"banks", QJsonArray{bank("DIV1", plan.div1), bank("DIV2", plan.div2)}},
        {"outputs", outputs},
        {"worstErrorPpm", plan.worstErrorPpm},
        {"worstErrorHz", plan.worstErrorHz},
        {"worstOutput", outputName(plan.worstOutput)},
        {"tolerancePpm", tolerance ? QJsonValue(*tolerance) : QJsonValue()},
        {"withinTolerance", tolerance ? QJsonValue(plan.withinTolerance) : QJsonValue()},
        {"pllSettingsExamined", double(plan.pllSettingsExamined)},
        {"findings", findingsJson(checkChipRules(image, request.referenceHz, request.board))}};
}

// The register file of a plan: the window loads it with the reference, and with LCLK1's and
// LCLK2's targets in its target fields where they were planned.
RegisterFileContents planFile(const PlanRequest& request, const RegisterImage& image) {
    RegisterFileContents contents;
    contents.registers = image.bytes;
    contents.fRef = request.referenceHz;
    const PlanTarget& lclk1 = request.targets[0];
    const PlanTarget& lclk2 = request.targets[1];
    const double f1 = lclk1.requested ? lclk1.hz : 0;
    const double f2 = lclk2.requested ? lclk2.hz : f1;
    contents.f1Number = contents.targetF1 = f1;
    contents.f2Number = contents.targetF2 = f2;
    contents.flags = lclk2.requested ? RegisterFileFlag::F2Enabled : 0;
    return contents;
}

// Reads the options and targets into `options`; returns the exit code of a refusal.
std::optional<int> readPlanOptions(const PlanParser& p, const CliContext& cli,
                                   PlanOptions& options) {
    const QCommandLineParser& parser = p.parser;
    PlanRequest& request = options.request;
    if (!parser.isSet(p.reference))
        return cli.fail(ExitCode::Usage, QStringLiteral("plan needs --ref"));
    const std::optional<double> reference = parseScaledFrequency(parser.value(p.reference));
    if (!reference)
        return cli.fail(ExitCode::Usage,
                        QStringLiteral("--ref takes a positive frequency in Hz, not \"%1\"")
                            .arg(printableText(parser.value(p.reference))));
    request.referenceHz = *reference;
    if (std::optional<int> failed = readBoardOptions(parser, cli, request.board))
        return failed;
    if (std::optional<int> failed = readTargets(parser.positionalArguments(), cli, request))
        return failed;
    if (parser.isSet(p.tolerance)) {
        bool ok = false;
        const double ppm = parser.value(p.tolerance).trimmed().toDouble(&ok);
        if (!ok || !(ppm >= 0) || !std::isfinite(ppm))
            return cli.fail(ExitCode::Usage,
                            QStringLiteral("--tolerance takes a number of ppm from 0 up, not "
                                           "\"%1\"")
                                .arg(printableText(parser.value(p.tolerance))));
        options.tolerancePpm = ppm;
        for (PlanTarget& t : request.targets)
            t.tolerancePpm = ppm;
    }
    request.disableUnused = parser.isSet(p.disableUnused);
    request.holdUnnamed = true;
    options.json = jsonRequested(parser);
    options.write = parser.isSet(p.write);
    options.verify = !parser.isSet(p.noVerify);
    options.force = forceGiven(parser);
    // What the start-up image holds: every output off, so nothing not named is held.
    request.current.applyStartupDefaults();
    if (const QString problem = planRequestProblem(request); !problem.isEmpty())
        return cli.fail(ExitCode::Usage, problem);
    if (parser.isSet(p.noVerify) && !options.write)
        return cli.fail(ExitCode::Usage, QStringLiteral("--no-verify needs --write"));
    if (options.force && !options.write)
        return cli.fail(ExitCode::Usage, QStringLiteral("--force needs --write"));
    if (parser.isSet(QStringLiteral("log")) && !options.write)
        return cli.fail(ExitCode::Usage, QStringLiteral("--log needs --write"));
    if (std::optional<int> failed = readAdapterOptions(parser, cli, options.adapters))
        return failed;
    if (parser.isSet(p.output)) {
        options.outputPath = parser.value(p.output);
        if (std::optional<int> failed = checkOutputFile(*options.outputPath, cli))
            return failed;
    }
    return std::nullopt;
}

// Plans on `image` (the start-up image, or what the chip holds) and puts the plan into it; prints
// the plan as text, saves it with -o and keeps the JSON document for the end. Returns the exit
// code of a failure, or nullopt when the plan may be written.
std::optional<int> planOnImage(PlanOptions& options, const CliContext& cli, RegisterImage& image,
                               QJsonObject& document) {
    PlanRequest& request = options.request;
    request.current = image;
    const Plan plan = planOutputs(request);
    if (!plan.found)
        return cli.fail(ExitCode::Usage, plan.problem);
    applyPlan(plan, image);
    if (options.json)
        document = planJson(request, plan, image, options.tolerancePpm);
    else
        printPlan(cli, plan, options.tolerancePpm);
    if (options.outputPath) {
        if (std::optional<int> failed =
                saveOutputFile(*options.outputPath, cli, planFile(request, image)))
            return failed;
        // With --json the plan alone goes to standard output; what is done goes with the errors.
        (options.json ? cli.err : cli.out)
            << "Saved " << printableText(*options.outputPath) << Qt::endl;
    }
    if (!plan.withinTolerance)
        return cli.fail(ExitCode::Failure,
                        QStringLiteral("the best plan misses the tolerance: %1 is off by %2 ppm")
                            .arg(outputName(plan.worstOutput))
                            .arg(plan.worstErrorPpm, 0, 'f', 3));
    return std::nullopt;
}

// --write: plans on the chip's own configuration, so that the outputs not named hold what they
// give, and programs it as write does.
int planAndWrite(PlanOptions& options, const CliContext& cli, QJsonObject& document) {
    ProgramFromChip how;
    how.verify = options.verify;
    how.force = options.force;
    how.json = options.json;
    how.referenceHz = options.request.referenceHz;
    how.board = options.request.board;
    how.programmedNote = options.json ? &cli.err : &cli.out;
    return programFromChip(cli, options.adapters, how, [&](RegisterImage& image) {
        return planOnImage(options, cli, image, document);
    });
}
}  // namespace

int runPlanCommand(const QStringList& arguments, const CliContext& cli) {
    PlanParser p;
    if (std::optional<int> done = parseCommand(
            p.parser,
            "plan --ref HZ OUTPUT=FREQ... [--tolerance PPM] [--disable-unused] [--json] "
            "[-o FILE] [--write]",
            arguments, cli))
        return *done;
    PlanOptions options;
    if (std::optional<int> failed = readPlanOptions(p, cli, options))
        return *failed;

    QJsonObject document;
    int code = ExitCode::Done;
    if (options.write) {
        code = planAndWrite(options, cli, document);
    } else {
        RegisterImage image;
        image.applyStartupDefaults();
        code = planOnImage(options, cli, image, document).value_or(ExitCode::Done);
    }
    // Standard output stays empty unless the whole command succeeded.
    if (options.json && code == ExitCode::Done)
        printJson(cli, document);
    cli.out.flush();
    return code;
}
