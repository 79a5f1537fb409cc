// SPDX-License-Identifier: MIT
#include "frequency/chiprules.h"

#include "frequency/frequencyreadout.h"

#include <cmath>

namespace {
const std::array<ChipRule, 15> Rules{{
    {"p-range", Severity::Error, "P = 2 x (PB + 4) + PO is within 16..1023"},
    {"comparison-frequency", Severity::Error, "reference / Q is at least 250 kHz"},
    {"vco-range", Severity::Error,
     "the PLL is within 100..400 MHz (commercial) or 100..333.33 MHz (industrial)"},
    {"pump", Severity::Error,
     "the charge pump suits P (16-44: 0, 45-479: 1, 480-639: 2, 640-799: 3, 800-1023: 4)"},
    {"divider-n", Severity::Error, "an output dividing by DIV1N or DIV2N has it at least 4"},
    {"div1-half", Severity::Error, "DIV1CLK/2 needs DIV1N a multiple of 4"},
    {"div1-third", Severity::Error, "DIV1CLK/3 needs DIV1N = 6"},
    {"div2-half", Severity::Error, "DIV2CLK/2 needs DIV2N a multiple of 4"},
    {"div2-quarter", Severity::Error, "DIV2CLK/4 needs DIV2N a multiple of 8"},
    {"reserved-route", Severity::Error, "no enabled output uses crosspoint code 7"},
    {"output-high", Severity::Error,
     "an output is at most 200 MHz (166.6 MHz on LCLK1-LCLK4 with a 2.5 V supply)"},
    {"output-low", Severity::Error, "an output is at least 80 kHz"},
    {"reference-range", Severity::Error,
     "the reference is within 8..30 MHz (crystal) or 1..133 MHz (driven clock)"},
    {"capload-driven", Severity::Warning, "a driven clock has CAPLOAD 0"},
    {"fixed-bits", Severity::Warning,
     "the bits the register map fixes hold their values: 0x09 bits 7-6 = 00, 0x12 bits 7-5 = 001 "
     "and 2-0 = 000, 0x40 bits 7-5 = 110, 0x46 bits 5-0 = 111111"},
}};

const ChipRule& rule(const char* id) {
    for (const ChipRule& r : Rules) {
        if (qstrcmp(r.id, id) == 0)
            return r;
    }
    Q_UNREACHABLE();
}

struct Checker {
    Findings findings;

    void add(const char* id, QStringList concerns, const QString& text) {
        findings.push_back({QString::fromLatin1(id), rule(id).severity, concerns, text});
    }
};

bool usesDiv1(int code) {
    return code >= 1 && code <= 3;
}
bool usesDiv2(int code) {
    return code >= 4 && code <= 6;
}

QString rangeText(const HzRange& range) {
    return QStringLiteral("%1..%2").arg(hzText(range.low), hzText(range.high));
}

// The rule a code breaks with its bank's DIVxN, if any.
const char* dividerRuleBroken(int code, int n) {
    if (routeAllowsDividerN(code, n))
        return nullptr;
    switch (code) {
        case 1:
        case 4:
            return "divider-n";
        case 2:
            return "div1-half";
        case 3:
            return "div1-third";
        case 5:
            return "div2-half";
        case 6:
            return "div2-quarter";
        default:
            return "reserved-route";
    }
}

}  // namespace

HzRange vcoRange(PartGrade grade) {
    return grade == PartGrade::Industrial ? ChipLimits::VcoIndustrial : ChipLimits::VcoCommercial;
}

HzRange referenceRange(ReferenceKind kind) {
    return kind == ReferenceKind::DrivenClock ? ChipLimits::DrivenReference
                                              : ChipLimits::CrystalReference;
}

double crystalLoadPf(int capLoad, const BoardFacts& board) {
    return capLoad * ChipLimits::CapLoadStepPf + ChipLimits::OnChipLoadPf + board.boardLoadPf;
}

double outputMaximumHz(int output, const BoardFacts& board) {
    const bool lclk = output >= 0 && output < 4;
    return lclk && board.supply == LclkSupply::V2_5 ? ChipLimits::OutputMaxLclkAt2V5Hz
                                                    : ChipLimits::OutputMaxHz;
}

int requiredChargePump(int pTotal) {
    if (pTotal < ChipLimits::PTotalMin || pTotal > ChipLimits::PTotalMax)
        return -1;
    for (const ChipLimits::PumpBand& band : ChipLimits::PumpBands) {
        if (pTotal <= band.pLast)
            return band.pump;
    }
    return -1;
}

bool routeAllowsDividerN(int code, int n) {
    const bool inRange = n >= ChipLimits::DividerNMin && n <= ChipLimits::DividerNMax;
    switch (code) {
        case 0:
            return true;
        case 1:
        case 4:
            return inRange;
        case 2:
        case 5:
            return inRange && n % 4 == 0;
        case 3:
            return n == 6;
        case 6:
            return inRange && n % 8 == 0;
        default:
            return false;
    }
}

void setFixedBits(RegisterImage& image) {
    for (const ChipLimits::FixedBits& f : ChipLimits::FixedRegisterBits)
        image[f.address] = quint8((image[f.address] & ~f.mask) | f.value);
}

const std::array<ChipRule, 15>& chipRules() {
    return Rules;
}

Findings checkChipRules(const RegisterImage& image, double referenceHz, const BoardFacts& board) {
    Checker check;
    const int enables = Field::outputEnables(image);
    if (enables == 0)
        return check.findings;

    const quint32 word = Field::matrixWord(image);
    const int div1N = Field::div1N(image);
    const int div2N = Field::div2N(image);
    const bool div1Pll = !Field::div1FromReference(image);
    const bool div2Pll = !Field::div2FromReference(image);
    const FrequencyReadout readout = readFrequencies(image, referenceHz, NormalPllRange);

    bool pllInUse = false;
    QStringList pllOutputs;
    for (int i = 0; i < OutputCount; ++i) {
        if (!(enables & (1 << i)))
            continue;
        const int code = Field::crosspointCode(word, i);
        if ((usesDiv1(code) && div1Pll) || (usesDiv2(code) && div2Pll)) {
            pllInUse = true;
            pllOutputs << outputName(i);
        }
    }

    if (pllInUse) {
        const int p = pllMultiplier(Field::pb(image), Field::po(image));
        const int q = pllDivider(Field::qCounter(image));
        if (p < ChipLimits::PTotalMin || p > ChipLimits::PTotalMax)
            check.add("p-range", QStringList{"P"} + pllOutputs,
                      QStringLiteral("P = %1 is outside %2..%3")
                          .arg(p)
                          .arg(ChipLimits::PTotalMin)
                          .arg(ChipLimits::PTotalMax));
        const double comparison = referenceHz / q;
        if (comparison < ChipLimits::ComparisonMinHz)
            check.add("comparison-frequency", QStringList{"Q", "reference"} + pllOutputs,
                      QStringLiteral("reference / Q = %1 / %2 = %3 is below %4")
                          .arg(hzText(referenceHz))
                          .arg(q)
                          .arg(hzText(comparison), hzText(ChipLimits::ComparisonMinHz)));
        const HzRange vco = vcoRange(board.grade);
        if (!vco.contains(readout.fPll))
            check.add("vco-range", QStringList{"PLL"} + pllOutputs,
                      QStringLiteral("the PLL at %1 is outside %2 (%3 part)")
                          .arg(hzText(readout.fPll), rangeText(vco),
                               board.grade == PartGrade::Industrial ? "industrial" : "commercial"));
        const int needed = requiredChargePump(p);
        const int pump = Field::chargePump(image);
        if (needed >= 0 && pump != needed)
            check.add("pump", QStringList{"PUMP", "P"},
                      QStringLiteral("the charge pump is %1, P = %2 needs %3")
                          .arg(pump)
                          .arg(p)
                          .arg(needed));
    }

    for (int i = 0; i < OutputCount; ++i) {
        if (!(enables & (1 << i)))
            continue;
        const QString name = outputName(i);
        const int code = Field::crosspointCode(word, i);
        if (code == 7) {
            check.add("reserved-route", {name},
                      QStringLiteral("%1 uses the reserved crosspoint code 7").arg(name));
            continue;  // a reserved route has no frequency to judge
        }
        const int n = usesDiv1(code) ? div1N : div2N;
        if (const char* broken = dividerRuleBroken(code, n)) {
            const QString field =
                usesDiv1(code) ? QStringLiteral("DIV1N") : QStringLiteral("DIV2N");
            check.add(broken, {name, field},
                      QStringLiteral("%1 uses %2 with %3 = %4")
                          .arg(name, CrosspointNames[std::size_t(code & 7)], field)
                          .arg(n));
        }
        const double hz = readout.outputs[std::size_t(i)];
        if (!std::isfinite(hz))
            continue;  // DIVxN 0: the divider rule above says it
        const double maximum = outputMaximumHz(i, board);
        if (hz > maximum)
            check.add(
                "output-high", {name},
                QStringLiteral("%1 at %2 is above %3").arg(name, hzText(hz), hzText(maximum)));
        else if (hz < ChipLimits::OutputMinHz)
            check.add("output-low", {name},
                      QStringLiteral("%1 at %2 is below %3")
                          .arg(name, hzText(hz), hzText(ChipLimits::OutputMinHz)));
    }

    const HzRange reference = referenceRange(board.reference);
    const bool driven = board.reference == ReferenceKind::DrivenClock;
    if (!reference.contains(referenceHz))
        check.add("reference-range", {"reference"},
                  QStringLiteral("the reference %1 is outside %2 for a %3")
                      .arg(hzText(referenceHz), rangeText(reference),
                           driven ? "driven clock" : "crystal"));
    if (driven && Field::capLoad(image) != 0)
        check.add("capload-driven", {"CAPLOAD"},
                  QStringLiteral("CAPLOAD is %1 with a driven clock; a driven clock wants 0")
                      .arg(Field::capLoad(image)));
    for (const ChipLimits::FixedBits& f : ChipLimits::FixedRegisterBits) {
        const quint8 value = image[f.address];
        if ((value & f.mask) != f.value)
            check.add("fixed-bits", {QString::asprintf("0x%02X", f.address)},
                      QString::asprintf("register 0x%02X is 0x%02X; the register map fixes its %s",
                                        f.address, value, f.bits));
    }
    return check.findings;
}

bool hasErrors(const Findings& findings) {
    for (const Finding& f : findings) {
        if (f.severity == Severity::Error)
            return true;
    }
    return false;
}

QString findingLine(const Finding& f) {
    return QStringLiteral("%1: %2: %3 (%4)")
        .arg(f.rule, f.severity == Severity::Error ? "error" : "warning", f.text,
             f.concerns.join(QStringLiteral(", ")));
}

QString findingsSummary(const Findings& findings) {
    return QStringLiteral("Chip rules: %1 finding%2")
        .arg(findings.size())
        .arg(findings.size() == 1 ? "" : "s");
}

QString outputName(int output) {
    return output >= 0 && output < OutputCount
               ? QString::fromLatin1(OutputNames[std::size_t(output)])
               : QString();
}

QString hzText(double hz) {
    if (!std::isfinite(hz))
        return QString::number(hz) + QStringLiteral(" Hz");
    const double a = std::fabs(hz);
    if (a >= 1e6)
        return QString::number(hz / 1e6, 'g', 12) + QStringLiteral(" MHz");
    if (a >= 1e3)
        return QString::number(hz / 1e3, 'g', 12) + QStringLiteral(" kHz");
    return QString::number(hz, 'g', 12) + QStringLiteral(" Hz");
}
