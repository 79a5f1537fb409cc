// SPDX-License-Identifier: MIT
#include "cli/adapters.h"
#include "cli/boardoptions.h"
#include "cli/commands.h"
#include "cli/configurationtext.h"
#include "cli/programming.h"
#include "cli/progressbar.h"
#include "cli/referenceoption.h"
#include "cli/registerfiles.h"
#include "frequency/frequencyreadout.h"
#include "frequency/optimalsolver.h"
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

bool solveOptimally(const SolveRequest& r, RegisterImage& image, const CliContext& cli) {
    OptimalInputs inputs;
    inputs.reference = r.reference.hz;
    inputs.targetF1 = r.f1;
    inputs.targetF2 = r.f2;
    inputs.f2Enabled = r.f2Given;
    inputs.range = pllRangeFor(r.reference.extended);
    const OptimalSettings s = solveOptimal(inputs);
    if (!s.found)
        return false;
    applyOptimalSettings(s, image);
    cli.out << QString::asprintf("P %d  Q %d", s.pTotal, s.qTotal);
    if (s.div1.used)
        cli.out << QString::asprintf("  DIV1N %d from the %s", s.div1.n,
                                     s.div1.fromReference ? "reference" : "PLL");
    if (s.div2.used)
        cli.out << QString::asprintf("  DIV2N %d from the %s", s.div2.n,
                                     s.div2.fromReference ? "reference" : "PLL");
    cli.out << QString::asprintf("  PLL settings searched %d\n", s.pllSettings);
    const ChargePumpChoice pump = chargePumpFor(s.pTotal);
    if (!pump.message.isEmpty())
        cli.err << pump.message << '\n';
    return true;
}
}  // namespace

int runSolveCommand(const QStringList& arguments, const CliContext& cli) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Finds P, Q and the dividers for F1 on LCLK1 (and F2 on LCLK2) with the window's solver, "
        "or with --optimal by an exhaustive search. The result turns LCLK1 (and LCLK2) on. The "
        "findings of the chip's rules (see check) follow on stderr; with --write, a result that "
        "breaks a rule is not written unless --force is given.");
    const QCommandLineOption f1Option("f1", "Target of LCLK1 in Hz.", "HZ");
    const QCommandLineOption f2Option("f2", "Target of LCLK2 in Hz; without it F2 follows F1.",
                                      "HZ");
    const QCommandLineOption optimal("optimal", "The exhaustive search for the least error.");
    const QCommandLineOption output({"o", "output"}, "Saves the result as a register file.",
                                    "FILE");
    const QCommandLineOption write("write", "Programs the chip with the result, as write does.");
    const QCommandLineOption noVerify("no-verify", "With --write: skips the read-back.");
    for (const QCommandLineOption& o : {f1Option, f2Option, optimal, output, write, noVerify})
        parser.addOption(o);
    addReferenceOptions(parser);
    addBoardOptions(parser);
    addForceOption(parser);
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
    BoardFacts board;
    if (std::optional<int> failed = readBoardOptions(parser, cli, board))
        return *failed;
    AdapterOptions adapterOptions;
    if (std::optional<int> failed = readAdapterOptions(parser, cli, adapterOptions))
        return *failed;
    const QString outputPath = parser.value(output);
    if (parser.isSet(output))
        if (std::optional<int> failed = checkOutputFile(outputPath, cli))
            return *failed;

    const auto solveAndSave = [&](RegisterImage& image) -> std::optional<int> {
        const bool found = request.optimal ? solveOptimally(request, image, cli)
                                           : solveAsWindow(request, image, cli);
        if (!found)
            return cli.fail(ExitCode::Failure, QStringLiteral("no solution for these targets"));
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
        if (const std::optional<int> failed = solveAndSave(image))
            return *failed;
        // Nothing is programmed: the findings are told, never refused.
        reportFindings(image, request.reference.hz, board, cli.err);
        return ExitCode::Done;
    }

    // The chip's own configuration is the base, so that what the solve leaves alone stays.
    ProgressBar bar(cli.err, cli.env.stderrIsTerminal);
    const bool verify = !parser.isSet(noVerify);
    std::optional<int> solveFailure;
    const int code = runOnAdapters(
        cli, adapterOptions, &bar, [&](AdapterConnection& c, const ListedDevice&, QString& text) {
            RegisterImage image;
            const ChipRead read = readChip(c, image);
            bar.finish();
            if (!read.ok()) {
                text = read.error;
                return false;
            }
            solveFailure = solveAndSave(image);
            if (!solveFailure)
                solveFailure =
                    refuseBrokenRules(image, request.reference.hz, board, forceGiven(parser), cli);
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
