// SPDX-License-Identifier: MIT
#include "cli/boardoptions.h"

namespace {
const QCommandLineOption GradeOption("grade",
                                     "The part's grade: commercial (the default) or industrial.",
                                     "GRADE");
const QCommandLineOption SupplyOption("supply",
                                      "The supply of LCLK1..LCLK4 in volts: 3.3 (the default) or "
                                      "2.5.",
                                      "VOLTS");
const QCommandLineOption DrivenOption("driven", "The reference is a driven clock, not a crystal.");
}  // namespace

void addBoardOptions(QCommandLineParser& parser) {
    parser.addOption(GradeOption);
    parser.addOption(SupplyOption);
    parser.addOption(DrivenOption);
}

std::optional<int> readBoardOptions(const QCommandLineParser& parser, const CliContext& cli,
                                    BoardFacts& board) {
    board = BoardFacts{};
    if (parser.isSet(GradeOption)) {
        const QString grade = parser.value(GradeOption);
        if (grade == QLatin1String("commercial"))
            board.grade = PartGrade::Commercial;
        else if (grade == QLatin1String("industrial"))
            board.grade = PartGrade::Industrial;
        else
            return cli.fail(
                ExitCode::Usage,
                QStringLiteral("--grade takes commercial or industrial, not \"%1\"").arg(grade));
    }
    if (parser.isSet(SupplyOption)) {
        const QString supply = parser.value(SupplyOption);
        if (supply == QLatin1String("3.3"))
            board.supply = LclkSupply::V3_3;
        else if (supply == QLatin1String("2.5"))
            board.supply = LclkSupply::V2_5;
        else
            return cli.fail(ExitCode::Usage,
                            QStringLiteral("--supply takes 3.3 or 2.5, not \"%1\"").arg(supply));
    }
    board.reference =
        parser.isSet(DrivenOption) ? ReferenceKind::DrivenClock : ReferenceKind::Crystal;
    return std::nullopt;
}
