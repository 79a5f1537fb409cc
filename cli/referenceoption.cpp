// SPDX-License-Identifier: MIT
#include "cli/referenceoption.h"

#include "cli/arguments.h"

#include <cmath>

namespace {
const QCommandLineOption RefOption(
    "ref", "Reference frequency in whole Hz (k or M may follow), 1000000..200000000.", "HZ",
    "10000000");
const QCommandLineOption ExtendedOption("extended", "The extended PLL range, 25..450 MHz.");
}  // namespace

void addReferenceOptions(QCommandLineParser& parser) {
    parser.addOption(RefOption);
    parser.addOption(ExtendedOption);
}

std::optional<int> readReferenceOptions(const QCommandLineParser& parser, const CliContext& cli,
                                        ReferenceSettings& settings) {
    const QString text = parser.value(RefOption);
    const std::optional<double> hz = parseFrequency(text);
    if (!hz || *hz != std::floor(*hz) || *hz < LowestReference || *hz > HighestReference)
        return cli.fail(
            ExitCode::Usage,
            QStringLiteral("--ref takes whole hertz from 1000000 to 200000000, not \"%1\"")
                .arg(text));
    settings.hz = *hz;
    settings.extended = parser.isSet(ExtendedOption);
    return std::nullopt;
}
