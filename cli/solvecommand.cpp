// SPDX-License-Identifier: MIT
#include "cli/adapters.h"
#include "cli/commands.h"
#include "cli/configurationtext.h"
#include "cli/programming.h"
#include "cli/progressbar.h"
#include "cli/referenceoption.h"
#include "cli/registerfiles.h"
#include "frequency/frequencyreadout.h"
#include "frequency/planner.h"
#include "frequency/solve.h"
#include "usb/chipaccess.h"

#include <cmath>

namespace {
struct SolveRequest {
    ReferenceSettings reference;
    double f1 = 0;
    double f2 = 0;
    bool f2Given = false;
    bool optimal = false;
};

void printOutput(const CliContext& cli, const RegisterImage& image, double reference, int output,
                 double target) {
    const double achieved =
        readFrequencies(image, reference, NormalPllRange).outputs[std::size_t(output)];
    const double error = achieved - target;
    const int code = Field::crosspointCode(Field::matrixWord(image), output);
    cli.out << QString::asprintf("%-6s %s  (%s)  error %+.5f Hz  %+.3f ppm",
                                 OutputNames[std::size_t(output)], qPrintable(hertzText(achieved)),
                                 CrosspointNames[std::size_t(code)], error, error / target * 1e6)
            << '\n';
}

// The window's solve on the image. Returns false when it found no settings.
bool solveAsWindow(const SolveRequest& r, RegisterImage& image, const CliContext& cli) {
    SolverRecord s;
    s.refFrequency = r.reference.hz;
    s.targetF1 = r.f1;
    s.targetF2 = r.f2Given ? r.f2 : r.f1;  // F2 follows F1 while it is disabled
    s.divider2 = Field::div2N(image);
    const PllRange range = pllRangeFor(r.reference.extended);
    int div1N = 0;
    int div2N = 0;
    const QString warning = solveIntoImage(
        s, image, div1N, div2N, r.f2Given, range.low, range.high,
        [&image](int output, int code) { Field::setCrosspointCode(image, output, code); });
    if (!(s.bestError >= 0))
        return false;
    cli.out << QString::asprintf("P %d  Q %d  DIV1 %d", s.pTotal, s.qTotal, s.divider1);
    if (r.f2Given)
        cli.out << QString::asprintf("  DIV2 %d", s.divider2);
    cli.out << QString::asprintf("  iterations %d\n", s.iterations);
    if (!warning.isEmpty())
        cli.err << warning << '\n';
    return true;
}

// The planner with LCLK1 (and LCLK2) as its targets, on the image: the outputs the solve does not
// name keep their routes. Returns the error line of a request the planner refuses, else empty.
QString solveOptimally(const SolveRequest& r, RegisterImage& image, const CliContext& cli) {
    PlanRequest request;
    request.referenceHz = r.reference.hz;
    request.current = image;
    request.targets[0] = {true, r.f1, std::nullopt};
    if (r.f2Given)
        request.targets[1] = {true, r.f2, std::nullopt};
    const Plan plan = planOutputs(request);
    if (!plan.found)
        return plan.problem;
    applyPlan(plan, image);
    if (plan.pllUsed)
        cli.out << QString::asprintf("P %d  Q %d", plan.pTotal, plan.qTotal);
    else
        cli.out << "PLL not used";
    if (plan.div1.used)
        cli.out << QString::asprintf("  DIV1N %d from the %s", plan.div1.n,
                                     plan.div1.fromReference ? "reference" : "PLL");
    if (plan.div2.used)
        cli.out << QString::asprintf("  DIV2N %d from the %s", plan.div2.n,
                                     plan.div2.fromReference ? "reference" : "PLL");
    cli.out << QString::asprintf("  PLL settings searched %lld\n", plan.pllSettingsExamined);
    return QString();
}
}  // namespace

int runSolveCommand(const QStringList& arguments, const CliContext& cli) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Finds P, Q and the dividers for F1 on LCLK1 (and F2 on LCLK2) with the window's solver, "
        "or with --optimal by the planner (as plan LCLK1=F1 LCLK2=F2 does). The result turns LCLK1 "
        "(and LCLK2) on.");
    const QCommandLineOption f1Option("f1", "Target of LCLK1 in Hz.", "HZ");
    const QCommandLineOption f2Option("f2", "Target of LCLK2 in Hz; without it F2 follows F1.",
                                      "HZ");
    const QCommandLineOption optimal(
        "optimal", "The planner's exhaustive search over the settings the chip's rules allow.");
    const QCommandLineOption output({"o", "output"}, "Saves the result as a register file.",
                                    "FILE");
    const QCommandLineOption write("write", "Programs the chip with the result, as write does.");
    const QCommandLineOption noVerify("no-verify", "With --write: skips the read-back.");
    for (const QCommandLineOption& o : {f1Option, f2Option, optimal, output, write, noVerify})
        parser.addOption(o);
    addReferenceOptions(parser);
    addAdapterOptions(parser, false);
    if (std::optional<int> done = parseCommand(
            parser, "solve --ref HZ --f1 HZ [--f2 HZ] [--extended] [--optimal] [-o FILE] [--write]",
            arguments, cli))
        return *done;
    if (!parser.positionalArguments().isEmpty())
        return cli.fail(ExitCode::Usage, QStringLiteral("solve takes no arguments"));
    if (!parser.isSet("ref") || !parser.isSet(f1Option))
        return cli.fail(ExitCode::Usage, QStringLiteral("solve needs --ref and --f1"));
    SolveRequest request;
    if (std::optional<int> failed = readReferenceOptions(parser, cli, request.reference))
        return *failed;
    const std::optional<double> f1 = parseFrequency(parser.value(f1Option));
    if (!f1)
        return cli.fail(ExitCode::Usage,
                        QStringLiteral("--f1 takes a positive frequency in Hz, not \"%1\"")
                            .arg(parser.value(f1Option)));
    request.f1 = *f1;
    request.f2Given = parser.isSet(f2Option);
    if (request.f2Given) {
        const std::optional<double> f2 = parseFrequency(parser.value(f2Option));
        if (!f2)
            return cli.fail(ExitCode::Usage,
                            QStringLiteral("--f2 takes a positive frequency in Hz, not \"%1\"")
                                .arg(parser.value(f2Option)));
        request.f2 = *f2;
    }
    request.optimal = parser.isSet(optimal);
    AdapterOptions adapterOptions;
    if (std::optional<int> failed = readAdapterOptions(parser, cli, adapterOptions))
        return *failed;
    const QString outputPath = parser.value(output);
    if (parser.isSet(output))
        if (std::optional<int> failed = checkOutputFile(outputPath, cli))
            return *failed;

    const auto solveAndSave = [&](RegisterImage& image) -> std::optional<int> {
        if (request.optimal) {
            const QString refused = solveOptimally(request, image, cli);
            if (!refused.isEmpty())
                return cli.fail(ExitCode::Usage, refused);
        } else if (!solveAsWindow(request, image, cli)) {
            return cli.fail(ExitCode::Failure, QStringLiteral("no solution for these targets"));
        }
        // What a user expects: the solved outputs are on.
        Field::setOutputEnables(image, Field::outputEnables(image) | (request.f2Given ? 3 : 1));
        printOutput(cli, image, request.reference.hz, 0, request.f1);
        if (request.f2Given)
            printOutput(cli, image, request.reference.hz, 1, request.f2);
        cli.out.flush();
        if (!parser.isSet(output))
            return std::nullopt;
        RegisterFileContents contents;
        contents.registers = image.bytes;
        contents.fRef = request.reference.hz;
        contents.flags = (request.reference.extended ? RegisterFileFlag::PllExtended : 0) |
                         (request.f2Given ? RegisterFileFlag::F2Enabled : 0);
        contents.f1Number = contents.targetF1 = request.f1;
        contents.f2Number = contents.targetF2 = request.f2Given ? request.f2 : request.f1;
        if (std::optional<int> failed = saveOutputFile(outputPath, cli, contents))
            return failed;
        cli.out << "Saved " << outputPath << Qt::endl;
        return std::nullopt;
    };

    if (!parser.isSet(write)) {
        RegisterImage image;
        image.applyStartupDefaults();
        const std::optional<int> failed = solveAndSave(image);
        return failed ? *failed : ExitCode::Done;
    }

    // The chip's own configuration is the base, so that what the solve leaves alone stays.
    ProgressBar bar(cli.err, cli.env.stderrIsTerminal);
    const bool verify = !parser.isSet(noVerify);
    std::optional<int> solveFailure;
    const int code = runOnAdapters(cli, adapterOptions, &bar,
                                   [&](AdapterConnection& c, const ListedDevice&, QString& text) {
                                       RegisterImage image;
                                       const ChipRead read = readChip(c, image);
                                       bar.finish();
                                       if (!read.ok()) {
                                           text = read.error;
                                           return false;
                                       }
                                       solveFailure = solveAndSave(image);
                                       if (solveFailure)
                                           return true;  // reported; nothing is written
                                       const bool ok = programChip(c, image, verify, cli, text);
                                       bar.finish();
                                       if (ok)
                                           cli.out << "Programmed the chip." << Qt::endl;
                                       return ok;
                                   });
    return solveFailure ? *solveFailure : code;
}
