// SPDX-License-Identifier: MIT
#include "cli/adapters.h"
#include "cli/boardoptions.h"
#include "cli/commands.h"
#include "cli/configurationtext.h"
#include "cli/jsonoutput.h"
#include "cli/programming.h"
#include "cli/referenceoption.h"
#include "cli/registerfiles.h"
#include "common/printabletext.h"
#include "frequency/frequencyreadout.h"
#include "frequency/planner.h"
#include "frequency/solve.h"

#include <cmath>

namespace {
// Which target the window's solver weighs more: its "F1 preferred" and "F2 preferred" boxes.
struct Preference {
    bool f1 = true;  // the window starts with "F1 preferred" checked
    bool f2 = false;
};

struct SolveRequest {
    ReferenceSettings reference;
    double f1 = 0;
    double f2 = 0;
    bool f2Given = false;
    bool optimal = false;
    Preference prefer;
};

// What a solve found, for the terminal and for --json.
struct SolveReport {
    QString line;  // "P 20  Q 2  DIV1 3 ..."
    QJsonObject json;
    QString warning;  // the charge pump's, if any
};

QJsonObject outputResult(const RegisterImage& image, double reference, int output, double target,
                         QString& line) {
    const double achieved =
        readFrequencies(image, reference, NormalPllRange).outputs[std::size_t(output)];
    const double error = achieved - target;
    const double ppm = error / target * 1e6;
    const int code = Field::crosspointCode(Field::matrixWord(image), output);
    line = QString::asprintf("%-6s %s  (%s)  error %+.5f Hz  %+.3f ppm",
                             OutputNames[std::size_t(output)], qPrintable(hertzText(achieved)),
                             CrosspointNames[std::size_t(code)], error, ppm);
    return QJsonObject{
        {"name", OutputNames[std::size_t(output)]},     {"target", target}, {"hz", achieved},
        {"source", CrosspointNames[std::size_t(code)]}, {"errorHz", error}, {"errorPpm", ppm},
    };
}

// The window's solve on the image, with the window's preference boxes. Returns false when it
// found no settings.
bool solveAsWindow(const SolveRequest& r, RegisterImage& image, SolveReport& report) {
    SolverRecord s;
    s.refFrequency = r.reference.hz;
    s.targetF1 = r.f1;
    s.targetF2 = r.f2Given ? r.f2 : r.f1;  // F2 follows F1 while it is disabled
    s.divider2 = Field::div2N(image);
    s.f1Preferred = r.prefer.f1 ? 1 : 0;
    s.f2Preferred = r.prefer.f2 ? 1 : 0;
    const PllRange range = pllRangeFor(r.reference.extended);
    int div1N = 0;
    int div2N = 0;
    report.warning = solveIntoImage(
        s, image, div1N, div2N, r.f2Given, range.low, range.high,
        [&image](int output, int code) { Field::setCrosspointCode(image, output, code); });
    if (!(s.bestError >= 0))
        return false;
    report.line = QString::asprintf("P %d  Q %d  DIV1 %d", s.pTotal, s.qTotal, s.divider1);
    if (r.f2Given)
        report.line += QString::asprintf("  DIV2 %d", s.divider2);
    report.line += QString::asprintf("  iterations %d", s.iterations);
    report.json = QJsonObject{
        {"solver", "window"},         {"p", s.pTotal}, {"q", s.qTotal}, {"div1n", s.divider1},
        {"iterations", s.iterations},
    };
    if (r.f2Given)
        report.json.insert("div2n", s.divider2);
    return true;
}

// The planner's request for LCLK1 (and LCLK2) on `current`.
PlanRequest optimalRequest(const SolveRequest& r, const BoardFacts& board,
                           const RegisterImage& current) {
    PlanRequest request;
    request.referenceHz = r.reference.hz;
    request.board = board;
    request.current = current;
    request.targets[0] = {true, r.f1, std::nullopt};
    if (r.f2Given)
        request.targets[1] = {true, r.f2, std::nullopt};
    return request;
}

// The planner with LCLK1 (and LCLK2) as its targets, on the image: the outputs the solve does not
// name keep their routes. Returns the error line of a request the planner refuses, else empty.
QString solveOptimally(const SolveRequest& r, const BoardFacts& board, RegisterImage& image,
                       SolveReport& report) {
    const Plan plan = planOutputs(optimalRequest(r, board, image));
    if (!plan.found)
        return plan.problem;
    applyPlan(plan, image);
    report.json = QJsonObject{{"solver", "optimal"}, {"pllUsed", plan.pllUsed}};
    if (plan.pllUsed) {
        report.line = QString::asprintf("P %d  Q %d", plan.pTotal, plan.qTotal);
        report.json.insert("p", plan.pTotal);
        report.json.insert("q", plan.qTotal);
    } else {
        report.line = QStringLiteral("PLL not used");
    }
    const auto bank = [&](const char* name, const PlannedBank& b) {
        if (!b.used)
            return;
        const char* source = b.fromReference ? "reference" : "PLL";
        report.line += QString::asprintf("  %sN %d from the %s", name, b.n, source);
        const QString key = QString::fromLatin1(name).toLower();
        report.json.insert(key + QStringLiteral("n"), b.n);
        report.json.insert(key + QStringLiteral("Source"), source);
    };
    bank("DIV1", plan.div1);
    bank("DIV2", plan.div2);
    report.line += QString::asprintf("  PLL settings searched %lld", plan.pllSettingsExamined);
    report.json.insert("pllSettingsExamined", double(plan.pllSettingsExamined));
    return QString();
}

// --prefer f1|f2|both|none; f2 and both need F2.
std::optional<int> readPreference(const QString& text, bool f2Given, const CliContext& cli,
                                  Preference& prefer) {
    if (text == "f1")
        prefer = {true, false};
    else if (text == "f2")
        prefer = {false, true};
    else if (text == "both")
        prefer = {true, true};
    else if (text == "none")
        prefer = {false, false};
    else
        return cli.fail(
            ExitCode::Usage,
            QStringLiteral("--prefer takes f1, f2, both or none, not \"%1\"").arg(text));
    if (prefer.f2 && !f2Given)
        return cli.fail(
            ExitCode::Usage,
            QStringLiteral("--prefer %1 needs --f2: without it F2 follows F1").arg(text));
    return std::nullopt;
}

// What solve was asked, read from its options.
struct SolveOptions {
    SolveRequest request;
    BoardFacts board;
    AdapterOptions adapters;
    bool json = false;
    bool write = false;
    bool verify = true;
    bool force = false;
    std::optional<QString> outputPath;  // -o
};

const QCommandLineOption F1Option("f1", "Target of LCLK1 in Hz (k or M may follow).", "HZ");
const QCommandLineOption F2Option("f2",
                                  "Target of LCLK2 in Hz (k or M may follow); without it F2 "
                                  "follows F1.",
                                  "HZ");
const QCommandLineOption PreferOption(
    "prefer",
    "The window's preference boxes: f1 (\"F1 preferred\", the window's default), f2, both "
    "or none; f2 and both need --f2.",
    "f1|f2|both|none", "f1");
const QCommandLineOption OptimalOption(
    "optimal", "The planner's exhaustive search over the settings the chip's rules allow.");
const QCommandLineOption OutputOption({"o", "output"}, "Saves the result as a register file.",
                                      "FILE");
const QCommandLineOption WriteOption("write", "Programs the chip with the result, as write does.");
const QCommandLineOption NoVerifyOption("no-verify", "With --write: skips the read-back.");

void addSolveOptions(QCommandLineParser& parser) {
    parser.setApplicationDescription(
        "Finds P, Q and the dividers for F1 on LCLK1 (and F2 on LCLK2) with the window's solver, "
        "or with --optimal by the planner (as plan LCLK1=F1 LCLK2=F2 does). The result turns LCLK1 "
        "(and LCLK2) on. The findings of the chip's rules (see check) follow on stderr; with "
        "--write, a result that breaks a rule is not written unless --force is given.");
    for (const QCommandLineOption& o : {F1Option, F2Option, PreferOption, OptimalOption,
                                        OutputOption, WriteOption, NoVerifyOption})
        parser.addOption(o);
    addReferenceOptions(parser);
    addBoardOptions(parser);
    addForceOption(parser);
    addAdapterOptions(parser, false);
    addJsonOption(parser);
}

// --f1 and --f2.
std::optional<int> readTargets(const QCommandLineParser& parser, const CliContext& cli,
                               SolveRequest& request) {
    const std::optional<double> f1 = parseFrequency(parser.value(F1Option));
    if (!f1)
        return cli.fail(ExitCode::Usage,
                        QStringLiteral("--f1 takes a positive frequency in Hz, not \"%1\"")
                            .arg(parser.value(F1Option)));
    request.f1 = *f1;
    request.f2Given = parser.isSet(F2Option);
    if (request.f2Given) {
        const std::optional<double> f2 = parseFrequency(parser.value(F2Option));
        if (!f2)
            return cli.fail(ExitCode::Usage,
                            QStringLiteral("--f2 takes a positive frequency in Hz, not \"%1\"")
                                .arg(parser.value(F2Option)));
        request.f2 = *f2;
    }
    return std::nullopt;
}

std::optional<int> readSolveOptions(const QCommandLineParser& parser, const CliContext& cli,
                                    SolveOptions& o) {
    if (!parser.positionalArguments().isEmpty())
        return cli.fail(ExitCode::Usage, QStringLiteral("solve takes no arguments"));
    if (!parser.isSet("ref") || !parser.isSet(F1Option))
        return cli.fail(ExitCode::Usage, QStringLiteral("solve needs --ref and --f1"));
    SolveRequest& request = o.request;
    if (std::optional<int> failed = readReferenceOptions(parser, cli, request.reference))
        return failed;
    if (std::optional<int> failed = readTargets(parser, cli, request))
        return failed;
    request.optimal = parser.isSet(OptimalOption);
    if (request.optimal && parser.isSet(PreferOption))
        return cli.fail(ExitCode::Usage,
                        QStringLiteral("--prefer steers the window's solver; --optimal always "
                                       "seeks the least F1 error first"));
    if (std::optional<int> failed =
            readPreference(parser.value(PreferOption), request.f2Given, cli, request.prefer))
        return failed;
    if (std::optional<int> failed = readBoardOptions(parser, cli, o.board))
        return failed;
    if (std::optional<int> failed = readAdapterOptions(parser, cli, o.adapters))
        return failed;
    // A request the planner refuses is bad input, refused before anything touches a device;
    // only what the chip holds is left for the planner to judge.
    if (request.optimal) {
        const QString problem = planRequestProblem(optimalRequest(request, o.board, {}));
        if (!problem.isEmpty())
            return cli.fail(ExitCode::Usage, problem);
    }
    o.json = jsonRequested(parser);
    o.write = parser.isSet(WriteOption);
    if (parser.isSet("log") && !o.write)
        return cli.fail(ExitCode::Usage, QStringLiteral("--log needs --write"));
    o.verify = !parser.isSet(NoVerifyOption);
    o.force = forceGiven(parser);
    if (parser.isSet(OutputOption)) {
        o.outputPath = parser.value(OutputOption);
        if (std::optional<int> failed = checkOutputFile(*o.outputPath, cli))
            return failed;
    }
    return std::nullopt;
}

// The register file of a solve: the window loads it with its reference, targets and boxes.
RegisterFileContents solutionFile(const SolveRequest& request, const RegisterImage& image) {
    RegisterFileContents contents;
    contents.registers = image.bytes;
    contents.fRef = request.reference.hz;
    contents.flags = (request.reference.extended ? RegisterFileFlag::PllExtended : 0) |
                     (request.f2Given ? RegisterFileFlag::F2Enabled : 0);
    if (!request.optimal) {  // the window's boxes, so that the window solves alike
        contents.flags |= (request.prefer.f1 ? RegisterFileFlag::F1Preferred : 0) |
                          (request.prefer.f2 ? RegisterFileFlag::F2Preferred : 0);
    }
    contents.f1Number = contents.targetF1 = request.f1;
    contents.f2Number = contents.targetF2 = request.f2Given ? request.f2 : request.f1;
    return contents;
}

// Solves on `image`, turns the solved outputs on, prints the result (unless --json) and saves
// it with -o. Returns the exit code of a failure; the document gets the result.
std::optional<int> solveAndSave(const SolveOptions& o, const CliContext& cli, RegisterImage& image,
                                QJsonObject& document) {
    const SolveRequest& request = o.request;
    SolveReport report;
    if (request.optimal) {
        const QString refused = solveOptimally(request, o.board, image, report);
        if (!refused.isEmpty())
            return cli.fail(ExitCode::Usage, refused);
    } else if (!solveAsWindow(request, image, report)) {
        return cli.fail(ExitCode::Failure, QStringLiteral("no solution for these targets"));
    }
    // What a user expects: the solved outputs are on.
    Field::setOutputEnables(image, Field::outputEnables(image) | (request.f2Given ? 3 : 1));
    QString line1;
    QString line2;
    QJsonArray outputs{outputResult(image, request.reference.hz, 0, request.f1, line1)};
    if (request.f2Given)
        outputs.append(outputResult(image, request.reference.hz, 1, request.f2, line2));
    document = report.json;
    document.insert("outputs", outputs);
    document.insert("warnings",
                    report.warning.isEmpty() ? QJsonArray() : QJsonArray{report.warning});
    if (!o.json) {
        cli.out << report.line << '\n' << line1 << '\n';
        if (request.f2Given)
            cli.out << line2 << '\n';
        cli.out.flush();
        if (!report.warning.isEmpty())
            cli.err << report.warning << Qt::endl;
    }
    if (!o.outputPath)
        return std::nullopt;
    if (std::optional<int> failed =
            saveOutputFile(*o.outputPath, cli, solutionFile(request, image)))
        return failed;
    if (!o.json)
        cli.out << "Saved " << printableText(*o.outputPath) << Qt::endl;
    document.insert("saved", *o.outputPath);
    return std::nullopt;
}

// Without --write: from the window's start-up image; the findings are told, never refused.
int solveWithoutChip(const SolveOptions& o, const CliContext& cli) {
    RegisterImage image;
    image.applyStartupDefaults();
    QJsonObject document;
    if (const std::optional<int> failed = solveAndSave(o, cli, image, document))
        return *failed;
    if (o.json) {
        document.insert("findings",
                        findingsJson(checkChipRules(image, o.request.reference.hz, o.board)));
        printJson(cli, document);
    } else {
        reportFindings(image, o.request.reference.hz, o.board, cli.err);
    }
    return ExitCode::Done;
}

// With --write: the chip's own configuration is the base, so that what the solve leaves alone
// stays.
int solveOnChip(const SolveOptions& o, const CliContext& cli) {
    ProgramFromChip how;
    how.verify = o.verify;
    how.force = o.force;
    how.json = o.json;
    how.referenceHz = o.request.reference.hz;
    how.board = o.board;
    how.programmedNote = o.json ? nullptr : &cli.out;
    QJsonObject document;
    const int code = programFromChip(cli, o.adapters, how, [&](RegisterImage& image) {
        const std::optional<int> failed = solveAndSave(o, cli, image, document);
        if (!failed)
            document.insert("findings",
                            findingsJson(checkChipRules(image, o.request.reference.hz, o.board)));
        return failed;
    });
    if (code != ExitCode::Done)
        return code;
    if (o.json) {
        document.insert("programmed", true);
        document.insert("verified", how.verify);
        printJson(cli, document);
    }
    return ExitCode::Done;
}
}  // namespace

int runSolveCommand(const QStringList& arguments, const CliContext& cli) {
    QCommandLineParser parser;
    addSolveOptions(parser);
    if (std::optional<int> done = parseCommand(parser,
                                               "solve --ref HZ --f1 HZ [--f2 HZ] [--prefer WHICH] "
                                               "[--extended] [--optimal] [-o FILE] [--write] "
                                               "[--json]",
                                               arguments, cli))
        return *done;
    SolveOptions options;
    if (std::optional<int> failed = readSolveOptions(parser, cli, options))
        return *failed;
    return options.write ? solveOnChip(options, cli) : solveWithoutChip(options, cli);
}
