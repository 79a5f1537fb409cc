// SPDX-License-Identifier: MIT
#include "cli/configurationtext.h"

#include "frequency/frequencyreadout.h"

const std::array<quint8, 11> ShownRegisters = {Reg::ClockOutputEnable,
                                               Reg::Div1,
                                               Reg::XcoDrive,
                                               Reg::CapLoad,
                                               Reg::PumpPb,
                                               Reg::PbLow,
                                               Reg::PoQ,
                                               Reg::Matrix1,
                                               Reg::Matrix2,
                                               Reg::Matrix3,
                                               Reg::Div2};

namespace {
QString sourceText(bool fromReference) {
    return fromReference ? QStringLiteral("reference") : QStringLiteral("PLL");
}
}  // namespace

QString hertzText(double hz) {
    return QString::asprintf("%.5f Hz", hz);
}

QStringList describeConfiguration(const RegisterImage& image, double referenceHz,
                                  const PllRange& range, const BoardFacts& board) {
    QStringList lines;
    lines << QStringLiteral("Registers:");
    for (quint8 address : ShownRegisters) {
        lines << QString::asprintf("  0x%02X  0x%02X  %s", address, image[address],
                                   configurationFieldNames(address));
    }

    const int pb = Field::pb(image);
    const bool po = Field::po(image);
    const int qCounter = Field::qCounter(image);
    lines << QStringLiteral("Fields:");
    lines << QString::asprintf("  Q             %d (Q counter %d)", pllDivider(qCounter), qCounter);
    lines << QString::asprintf("  P             %d (PB %d, PO %d)", pllMultiplier(pb, po), pb,
                               po ? 1 : 0);
    lines << QString::asprintf("  charge pump   %d", Field::chargePump(image));
    lines << QStringLiteral("  DIV1N         %1 from the %2")
                 .arg(Field::div1N(image))
                 .arg(sourceText(Field::div1FromReference(image)));
    lines << QStringLiteral("  DIV2N         %1 from the %2")
                 .arg(Field::div2N(image))
                 .arg(sourceText(Field::div2FromReference(image)));
    lines << QString::asprintf("  CAPLOAD       %d (crystal load %.2f pF)", Field::capLoad(image),
                               crystalLoadPf(Field::capLoad(image), board));
    lines << QString::asprintf("  XDRV          %d", Field::xcoDrive(image));

    const FrequencyReadout readout = readFrequencies(image, referenceHz, range);
    const quint32 word = Field::matrixWord(image);
    const int enables = Field::outputEnables(image);
    lines << QStringLiteral("Frequencies:");
    lines << QStringLiteral("  reference     %1").arg(hertzText(referenceHz));
    lines << QStringLiteral("  PLL           %1").arg(hertzText(readout.fPll));
    for (int i = 0; i < OutputCount; ++i) {
        const int code = Field::crosspointCode(word, i);
        const bool enabled = enables & (1 << i);
        lines << QString::asprintf("  %-6s %-8s %-14s %s", OutputNames[std::size_t(i)],
                                   enabled ? "enabled" : "disabled",
                                   CrosspointNames[std::size_t(code)],
                                   qPrintable(hertzText(readout.outputs[std::size_t(i)])));
    }
    lines << readout.pllWarnings;
    return lines;
}
