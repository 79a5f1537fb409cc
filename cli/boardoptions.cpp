// SPDX-License-Identifier: MIT
#include "cli/boardoptions.h"

#include "cli/commandlog.h"
#include "frequency/boardfacts.h"

namespace {
const QCommandLineOption GradeOption("grade",
                                     "The part's grade: commercial (default) or industrial.",
                                     "commercial|industrial", "commercial");
const QCommandLineOption SupplyOption("supply",
                                      "The supply of LCLK1..LCLK4 in volts: 3.3 (default) or 2.5.",
                                      "3.3|2.5", "3.3");
const QCommandLineOption DrivenOption("driven", "The reference is a driven clock, not a crystal.");
const QCommandLineOption BoardLoadOption(
    "board-load", "The board's own load on the crystal in pF, 0..50 (2): pads and traces.", "PF",
    "2");
const QCommandLineOption ForceOption(
    "force", "Programs the chip even when the configuration breaks one of the chip's rules.");
}  // namespace

void addBoardOptions(QCommandLineParser& parser) {
    parser.addOption(GradeOption);
    parser.addOption(SupplyOption);
    parser.addOption(DrivenOption);
    parser.addOption(BoardLoadOption);
}

std::optional<int> readBoardOptions(const QCommandLineParser& parser, const CliContext& cli,
                                    BoardFacts& board) {
    const std::optional<PartGrade> grade = partGradeNamed(parser.value(GradeOption));
    if (!grade)
        return cli.fail(ExitCode::Usage,
                        QStringLiteral("--grade takes commercial or industrial, not \"%1\"")
                            .arg(parser.value(GradeOption)));
    const std::optional<LclkSupply> supply = lclkSupplyNamed(parser.value(SupplyOption));
    if (!supply)
        return cli.fail(ExitCode::Usage, QStringLiteral("--supply takes 3.3 or 2.5, not \"%1\"")
                                             .arg(parser.value(SupplyOption)));
    const std::optional<double> load = boardLoadNamed(parser.value(BoardLoadOption));
    if (!load)
        return cli.fail(ExitCode::Usage, QStringLiteral("--board-load takes 0 to 50 pF, not \"%1\"")
                                             .arg(parser.value(BoardLoadOption)));
    board.boardLoadPf = *load;
    board.grade = *grade;
    board.supply = *supply;
    board.reference =
        parser.isSet(DrivenOption) ? ReferenceKind::DrivenClock : ReferenceKind::Crystal;
    return std::nullopt;
}

void addForceOption(QCommandLineParser& parser) {
    parser.addOption(ForceOption);
    addLogOption(parser);  // every command that may program the chip takes --force and --log
}

bool forceGiven(const QCommandLineParser& parser) {
    return parser.isSet(ForceOption);
}

QStringList describeFindings(const Findings& findings) {
    if (findings.isEmpty())
        return {QStringLiteral("Chip rules: no findings")};
    QStringList lines{QStringLiteral("Chip rules:")};
    for (const Finding& f : findings)
        lines << QStringLiteral("  ") + findingLine(f);
    return lines;
}

Findings reportFindings(const RegisterImage& image, double referenceHz, const BoardFacts& board,
                        QTextStream& stream) {
    const Findings findings = checkChipRules(image, referenceHz, board);
    for (const Finding& f : findings)
        stream << findingLine(f) << '\n';
    stream.flush();
    return findings;
}

std::optional<int> refuseBrokenRules(const RegisterImage& image, double referenceHz,
                                     const BoardFacts& board, bool force, const CliContext& cli,
                                     bool listFindings) {
    const Findings findings = listFindings ? reportFindings(image, referenceHz, board, cli.err)
                                           : checkChipRules(image, referenceHz, board);
    if (!hasErrors(findings) || force)
        return std::nullopt;
    return cli.fail(ExitCode::Failure,
                    QStringLiteral("the configuration breaks the chip's rules; nothing was "
                                   "written (--force writes it anyway)"));
}
