// SPDX-License-Identifier: MIT
// The planner against a plain brute force over every setting the chip allows, against the
// window's solver, and against the chip's rules.

#include "frequency/chiprules.h"
#include "frequency/frequencymodel.h"
#include "frequency/frequencyreadout.h"
#include "frequency/planner.h"
#include "frequency/solve.h"
#include "registers/registerimage.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {
constexpr double Same = 1e-9;  // relative errors closer than this are equal (rounding)

// The objective of a plan: worst and summed relative error over the requested outputs.
struct Objective {
    double worst = INFINITY;
    double sum = INFINITY;
};

bool better(const Objective& a, const Objective& b) {
    if (a.worst < b.worst - Same)
        return true;
    return a.worst <= b.worst + Same && a.sum < b.sum - Same;
}

bool equal(const Objective& a, const Objective& b) {
    return std::fabs(a.worst - b.worst) <= Same && std::fabs(a.sum - b.sum) <= Same;
}

Objective objectiveOf(const Plan& plan) {
    return {plan.worstErrorPpm / 1e6, plan.sumErrorPpm / 1e6};
}

// The frequency a code gives from a bank's clock and DIVxN, as the chip makes it.
double routeHz(int code, double clock, int n) {
    switch (code) {
        case 1:
        case 4:
            return clock / n;
        case 2:
        case 5:
            return clock / 2;
        case 3:
            return clock / 3;
        case 6:
            return clock / 4;
        default:
            return 0;
    }
}

bool inRange(double hz, int output, const BoardFacts& board) {
    return hz >= ChipLimits::OutputMinHz && hz <= outputMaximumHz(output, board);
}

// Every PLL setting in the search range, every setting of DIV1 and of DIV2 (source, DIVxN
// 4..127), every route of every requested output; the outputs that keep their routes must run.
Objective bruteForce(const PlanRequest& r) {
    const double ref = r.referenceHz;
    const HzRange vco = vcoRange(r.board.grade);
    std::vector<int> requested;
    std::vector<std::pair<int, int>> kept;  // output, code
    for (int i = 0; i < OutputCount; ++i) {
        if (r.targets[std::size_t(i)].requested)
            requested.push_back(i);
        else if (!r.disableUnused && (Field::outputEnables(r.current) & (1 << i)))
            kept.push_back({i, Field::crosspointCode(Field::matrixWord(r.current), i)});
    }
    const std::size_t count = requested.size();
    const auto error = [&](std::size_t k, double hz) {
        const int output = requested[k];
        if (!inRange(hz, output, r.board))
            return double(INFINITY);
        return std::fabs(hz / r.targets[std::size_t(output)].hz - 1);
    };
    struct Setting {
        std::array<double, OutputCount> error;
    };
    Objective best;
    // Every pair of bank settings with the banks fed by these clocks.
    const auto tryClocks = [&](const std::vector<double>& clocks) {
        std::array<std::vector<Setting>, 2> banks;
        for (int bank = 0; bank < 2; ++bank) {
            for (double clock : clocks) {
                for (int n = 4; n <= 127; ++n) {
                    bool runs = true;
                    for (const auto& [output, code] : kept) {
                        if ((bank == 0) != (code >= 1 && code <= 3) || code == 0)
                            continue;
                        runs = runs && routeAllowsDividerN(code, n) &&
                               inRange(routeHz(code, clock, n), output, r.board);
                    }
                    if (!runs)
                        continue;
                    Setting s;
                    for (std::size_t k = 0; k < count; ++k) {
                        s.error[k] = INFINITY;
                        for (int code = 1 + 3 * bank; code <= 3 + 3 * bank; ++code) {
                            if (routeAllowsDividerN(code, n))
                                s.error[k] =
                                    std::min(s.error[k], error(k, routeHz(code, clock, n)));
                        }
                    }
                    banks[std::size_t(bank)].push_back(s);
                }
            }
        }
        for (const Setting& a : banks[0]) {
            for (const Setting& b : banks[1]) {
                Objective o{0, 0};
                for (std::size_t k = 0; k < count && o.worst <= best.worst + Same; ++k) {
                    const double e = std::min({error(k, ref), a.error[k], b.error[k]});
                    o.worst = std::max(o.worst, e);
                    o.sum += e;
                }
                if (better(o, best))
                    best = o;
            }
        }
    };
    tryClocks({ref});  // no PLL at all
    for (int q = r.search.qMin; q <= r.search.qMax; ++q) {
        if (ref / q < ChipLimits::ComparisonMinHz)
            break;
        for (int p = r.search.pMin; p <= r.search.pMax; ++p) {
            const double pll = ref * p / q;
            if (vco.contains(pll))
                tryClocks({ref, pll});
        }
    }
    return best;
}

RegisterImage startupImage() {
    RegisterImage image;
    image.applyStartupDefaults();
    return image;
}

PlanRequest request(double reference, const std::vector<std::pair<int, double>>& targets,
                    const BoardFacts& board = {}, const RegisterImage& current = startupImage()) {
    PlanRequest r;
    r.referenceHz = reference;
    r.board = board;
    r.current = current;
    for (const auto& [output, hz] : targets)
        r.targets[std::size_t(output)] = {true, hz, std::nullopt};
    return r;
}

const BoardFacts Driven{PartGrade::Commercial, LclkSupply::V3_3, ReferenceKind::DrivenClock};
const BoardFacts Industrial{PartGrade::Industrial, LclkSupply::V3_3, ReferenceKind::Crystal};
const BoardFacts At2V5{PartGrade::Commercial, LclkSupply::V2_5, ReferenceKind::Crystal};

// The image the plan makes, what it gives, and that it breaks no rule.
void verifyPlanOnImage(const PlanRequest& r, const Plan& plan) {
    QVERIFY2(plan.found, qPrintable(plan.problem));
    RegisterImage image = r.current;
    applyPlan(plan, image);
    const Findings findings = checkChipRules(image, r.referenceHz, r.board);
    QVERIFY2(!hasErrors(findings),
             qPrintable(findings.isEmpty() ? QString() : findingLine(findings.first())));
    const FrequencyReadout readout = readFrequencies(image, r.referenceHz, NormalPllRange);
    QCOMPARE(Field::outputEnables(image), plan.enables);
    for (int i = 0; i < OutputCount; ++i) {
        const PlannedOutput& out = plan.outputs[std::size_t(i)];
        QCOMPARE(Field::crosspointCode(Field::matrixWord(image), i), out.route);
        if (out.enabled)
            QCOMPARE(readout.outputs[std::size_t(i)], out.hz);
        if (out.requested) {
            QVERIFY(out.enabled);
            QCOMPARE(out.errorHz, out.hz - out.targetHz);
        }
    }
    QCOMPARE(plan.pllUsed ? readout.fPll : plan.pllHz, plan.pllHz);
}
}  // namespace

Q_DECLARE_METATYPE(PlanRequest)
Q_DECLARE_METATYPE(BoardFacts)
Q_DECLARE_METATYPE(std::vector<double>)

class TestPlanner : public QObject {
    Q_OBJECT

private slots:
    void equalsBruteForceOnReducedRanges_data();
    void equalsBruteForceOnReducedRanges();
    void equalsBruteForceOnSeededRequests_data();
    void equalsBruteForceOnSeededRequests();
    void equalsBruteForceOnFullRange_data();
    void equalsBruteForceOnFullRange();
    void neverWorseThanTheWindowsSolver_data();
    void neverWorseThanTheWindowsSolver();
    void exactTargetTakesTheHighestPllAndLowestQ();
    void planWithoutPllKeepsTheImagesPll();
    void keptOutputsConstrainTheirBanks();
    void disableUnusedClearsTheirEnables();
    void toleranceIsJudgedPerOutput();
    void planSetsWhatTheChipWants_data();
    void planSetsWhatTheChipWants();
    void unnamedOutputsAreHeld_data();
    void unnamedOutputsAreHeld();
    void refusesWhatCannotBePlanned_data();
    void refusesWhatCannotBePlanned();
};

void TestPlanner::equalsBruteForceOnReducedRanges_data() {
    QTest::addColumn<PlanRequest>("request");
    const auto narrowed = [](PlanRequest r, int pMin, int pMax, int qMin, int qMax) {
        r.search = {pMin, pMax, qMin, qMax};
        return r;
    };
    QTest::newRow("25 MHz, six outputs") << narrowed(
        request(25e6,
                {{0, 33.333e6}, {1, 48e6}, {2, 14.31818e6}, {3, 27e6}, {4, 12.288e6}, {5, 100e6}}),
        100, 180, 10, 14);
    QTest::newRow("27 MHz, three outputs, industrial") << narrowed(
        request(27e6, {{0, 74.25e6}, {2, 13.5e6}, {5, 3.6864e6}}, Industrial), 300, 380, 60, 64);
    QTest::newRow("14.31818 MHz, two outputs at 2.5 V")
        << narrowed(request(14.31818e6, {{0, 150e6}, {3, 1.8432e6}}, At2V5), 16, 400, 2, 5);
    QTest::newRow("10 MHz, five outputs sharing banks") << narrowed(
        request(10e6, {{0, 20e6}, {1, 22e6}, {2, 24e6}, {3, 26e6}, {4, 28e6}}), 200, 300, 5, 9);
    QTest::newRow("27 MHz, six outputs, two below the PLL's reach") << narrowed(
        request(
            27e6,
            {{0, 3100920}, {1, 118008110}, {2, 120820}, {3, 9574645}, {4, 136250343}, {5, 575089}}),
        440, 560, 52, 60);
    RegisterImage kept = startupImage();
    // CLK6 keeps DIV2CLK/4 and LCLK4 DIV1CLK/3: DIV2N a multiple of 8, DIV1N 6.
    Field::setMatrixWord(kept, Field::packCrosspointCodes({0, 0, 0, 3, 0, 6}));
    Field::setOutputEnables(kept, 0x28);
    QTest::newRow("8 MHz, kept outputs on both banks")
        << narrowed(request(8e6, {{0, 66.666e6}, {1, 9.8304e6}}, {}, kept), 100, 200, 3, 6);
}

void TestPlanner::equalsBruteForceOnReducedRanges() {
    QFETCH(PlanRequest, request);
    const Plan plan = planOutputs(request);
    verifyPlanOnImage(request, plan);
    const Objective brute = bruteForce(request);
    QVERIFY2(equal(objectiveOf(plan), brute),
             qPrintable(QString::asprintf("planner %.12g/%.12g, brute force %.12g/%.12g",
                                          objectiveOf(plan).worst, objectiveOf(plan).sum,
                                          brute.worst, brute.sum)));
}

void TestPlanner::equalsBruteForceOnSeededRequests_data() {
    // Requests drawn with a fixed seed: two to six outputs, targets spread over the outputs'
    // whole range or crowded, the board facts varied, some outputs kept on their routes; each on
    // a narrow P and Q window, so that the brute force stays quick.
    QTest::addColumn<PlanRequest>("request");
    std::mt19937 random(20261207);
    const double references[] = {8e6, 10e6, 14318180, 25e6, 27e6, 30e6};
    for (int i = 0; i < 16; ++i) {
        PlanRequest r = request(references[random() % 6], {});
        r.board.grade = random() % 3 == 0 ? PartGrade::Industrial : PartGrade::Commercial;
        r.board.supply = random() % 4 == 0 ? LclkSupply::V2_5 : LclkSupply::V3_3;
        const int count = 2 + int(random() % 5);
        const bool crowded = random() % 2 == 0;
        std::uniform_real_distribution<double> spread(std::log(90e3), std::log(160e6));
        std::uniform_real_distribution<double> near(1.0, 1.3);
        const double base = std::exp(spread(random));
        std::vector<int> outputs{0, 1, 2, 3, 4, 5};
        std::shuffle(outputs.begin(), outputs.end(), random);
        for (int k = 0; k < count; ++k) {
            const double hz =
                crowded ? std::min(base * near(random), 160e6) : std::exp(spread(random));
            r.targets[std::size_t(outputs[std::size_t(k)])] = {true, hz, std::nullopt};
        }
        if (count < 6 && random() % 2 == 0) {  // one output left on a route of its own
            const int output = outputs[std::size_t(count)];
            Field::setCrosspointCode(r.current, output, int(random() % 7));
            Field::setOutputEnables(r.current, 1 << output);
        }
        // A window of P and Q whose PLLs lie within the grade's range.
        const int q = 2 + int(random() % 20);
        const HzRange vco = vcoRange(r.board.grade);
        const int pLow = int(std::ceil(vco.low * q / r.referenceHz));
        const int pHigh = std::min(ChipLimits::PTotalMax, int(vco.high * q / r.referenceHz));
        const int p = pLow + int(random() % std::max(1, pHigh - pLow - 40));
        r.search = {std::max(p, ChipLimits::PTotalMin), std::min(p + 60, ChipLimits::PTotalMax), q,
                    q + 3};
        QTest::addRow("seed %d", i) << r;
    }
}

void TestPlanner::equalsBruteForceOnSeededRequests() {
    equalsBruteForceOnReducedRanges();
}

void TestPlanner::equalsBruteForceOnFullRange_data() {
    // A 1 MHz driven reference keeps Q at 2..4 while P spans the chip's whole range, so that the
    // brute force over every pair of bank settings stays quick.
    QTest::addColumn<PlanRequest>("request");
    QTest::newRow("one output") << request(1e6, {{0, 33.333333e6}}, Driven);
    QTest::newRow("two outputs") << request(1e6, {{0, 33.333e6}, {1, 14.31818e6}}, Driven);
    QTest::newRow("low and high") << request(1e6, {{0, 100e6}, {5, 123.456e3}}, Driven);
    QTest::newRow("six outputs") << request(
        1e6, {{0, 25e6}, {1, 33.333e6}, {2, 48e6}, {3, 14.31818e6}, {4, 27e6}, {5, 12.288e6}},
        Driven);
    QTest::newRow("six close outputs") << request(
        1e6, {{0, 10e6}, {1, 10.5e6}, {2, 11e6}, {3, 11.5e6}, {4, 12e6}, {5, 12.5e6}}, Driven);
    QTest::newRow("low outputs sharing the reference's bank")
        << request(1e6, {{0, 100e3}, {1, 130e3}, {2, 25e6}, {3, 7.3728e6}}, Driven);
    QTest::newRow("industrial, four outputs")
        << request(1e6, {{0, 7.3728e6}, {1, 99e6}, {2, 32.768e3 * 3}, {4, 150e6}},
                   BoardFacts{PartGrade::Industrial, LclkSupply::V3_3, ReferenceKind::DrivenClock});
}

void TestPlanner::equalsBruteForceOnFullRange() {
    equalsBruteForceOnReducedRanges();
}

void TestPlanner::neverWorseThanTheWindowsSolver_data() {
    QTest::addColumn<double>("reference");
    QTest::addColumn<double>("f1");
    QTest::addColumn<double>("f2");  // 0: F2 disabled
    const double references[] = {1e6, 10e6, 14318180, 27e6, 48e6, 100e6};
    const double targets[][2] = {
        {33333333, 0}, {25e6, 20e6},      {48e6, 12.288e6},   {7372800, 0},      {100e6, 66666000},
        {1e6, 0},      {156.25e6, 125e6}, {250000, 3.6864e6}, {199e6, 1.8432e6}, {13.56e6, 0}};
    for (double ref : references) {
        for (const auto& t : targets)
            QTest::addRow("ref %.0f f1 %.0f f2 %.0f", ref, t[0], t[1]) << ref << t[0] << t[1];
    }
}

void TestPlanner::neverWorseThanTheWindowsSolver() {
    QFETCH(double, reference);
    QFETCH(double, f1);
    QFETCH(double, f2);
    const bool f2Enabled = f2 > 0;
    const BoardFacts board =
        ChipLimits::CrystalReference.contains(reference) ? BoardFacts{} : Driven;

    // The window's solve on the start-up image, its outputs turned on as solve does.
    RegisterImage window = startupImage();
    SolverRecord record;
    record.refFrequency = reference;
    record.targetF1 = f1;
    record.targetF2 = f2Enabled ? f2 : f1;
    int div1N = 0;
    int div2N = 0;
    solveIntoImage(
        record, window, div1N, div2N, f2Enabled, NormalPllRange.low, NormalPllRange.high,
        [&window](int output, int code) { Field::setCrosspointCode(window, output, code); });
    Field::setOutputEnables(window, f2Enabled ? 3 : 1);

    std::vector<std::pair<int, double>> targets{{0, f1}};
    if (f2Enabled)
        targets.push_back({1, f2});
    const PlanRequest r = request(reference, targets, board);
    const Plan plan = planOutputs(r);
    verifyPlanOnImage(r, plan);

    const Findings windowFindings = checkChipRules(window, reference, board);
    if (hasErrors(windowFindings))
        QSKIP(qPrintable("the window's result breaks a rule of the chip: " +
                         windowFindings.first().rule));
    const FrequencyReadout readout = readFrequencies(window, reference, NormalPllRange);
    const double e1 = std::fabs(readout.outputs[0] / f1 - 1);
    const double e2 = f2Enabled ? std::fabs(readout.outputs[1] / f2 - 1) : 0;
    const Objective windowObjective{std::max(e1, e2), e1 + e2};
    QVERIFY2(!better(windowObjective, objectiveOf(plan)),
             qPrintable(QString::asprintf("planner %.12g/%.12g, window %.12g/%.12g",
                                          objectiveOf(plan).worst, objectiveOf(plan).sum,
                                          windowObjective.worst, windowObjective.sum)));
}

void TestPlanner::exactTargetTakesTheHighestPllAndLowestQ() {
    // 100 MHz from 10 MHz is exact on many PLLs; the highest is 400 MHz, P 80 / Q 2 its lowest Q,
    // and of its routes DIV1CLK/DIV1N with DIV1N 4 has the lowest code.
    const PlanRequest r = request(10e6, {{0, 100e6}});
    const Plan plan = planOutputs(r);
    verifyPlanOnImage(r, plan);
    QVERIFY(plan.pllUsed);
    QCOMPARE(plan.pTotal, 80);
    QCOMPARE(plan.qTotal, 2);
    QCOMPARE(plan.pb, 36);
    QCOMPARE(plan.po, false);
    QCOMPARE(plan.qCounter, 0);
    QCOMPARE(plan.chargePump, 1);
    QCOMPARE(plan.pllHz, 400e6);
    QCOMPARE(plan.outputs[0].route, 1);
    QVERIFY(plan.div1.used && !plan.div1.fromReference);
    QCOMPARE(plan.div1.n, 4);
    QVERIFY(!plan.div2.used);
    QCOMPARE(plan.worstErrorPpm, 0.0);
    QVERIFY(plan.withinTolerance);
    QVERIFY(plan.pllSettingsExamined > 0);
    // The same request gives the same plan.
    const Plan again = planOutputs(r);
    QCOMPARE(again.pTotal, plan.pTotal);
    QCOMPARE(again.pllSettingsExamined, plan.pllSettingsExamined);
}

void TestPlanner::planWithoutPllKeepsTheImagesPll() {
    // 25 MHz and 6.25 MHz come from a 25 MHz reference directly and through DIV1N 4; the image's
    // PLL fields (P 8, outside the chip's range) stay, since nothing draws on the PLL.
    RegisterImage current = startupImage();
    current[Reg::PumpPb] = 0xE0;
    current[Reg::PbLow] = 0x00;
    current[Reg::PoQ] = 0x05;
    const PlanRequest r = request(25e6, {{0, 25e6}, {1, 6.25e6}}, {}, current);
    const Plan plan = planOutputs(r);
    verifyPlanOnImage(r, plan);
    QVERIFY(!plan.pllUsed);
    QCOMPARE(plan.worstErrorPpm, 0.0);
    QCOMPARE(plan.outputs[0].route, 0);
    QCOMPARE(plan.outputs[1].route, 1);
    QVERIFY(plan.div1.used && plan.div1.fromReference);
    QCOMPARE(plan.div1.n, 4);
    QCOMPARE(plan.pTotal, 8);
    QCOMPARE(plan.qTotal, 7);
    RegisterImage image = current;
    applyPlan(plan, image);
    QCOMPARE(image[Reg::PumpPb], quint8(0xC0));  // pump and PB kept; bits 7-5 fixed at 110
    QCOMPARE(image[Reg::PbLow], quint8(0x00));
    QCOMPARE(image[Reg::PoQ], quint8(0x05));
}

void TestPlanner::keptOutputsConstrainTheirBanks() {
    // CLK6 stays on DIV2CLK/4 and LCLK3 on DIV1CLK/3; 50 MHz on LCLK1 must live with DIV2N a
    // multiple of 8 and DIV1N 6.
    RegisterImage current = startupImage();
    Field::setMatrixWord(current, Field::packCrosspointCodes({0, 0, 3, 0, 0, 6}));
    Field::setOutputEnables(current, 0x24);
    const PlanRequest r = request(10e6, {{0, 50e6}}, {}, current);
    const Plan plan = planOutputs(r);
    verifyPlanOnImage(r, plan);
    QCOMPARE(plan.outputs[2].route, 3);
    QCOMPARE(plan.outputs[5].route, 6);
    QVERIFY(plan.outputs[2].enabled && plan.outputs[5].enabled);
    QVERIFY(!plan.outputs[2].requested);
    QCOMPARE(plan.div1.n, 6);
    QCOMPARE(plan.div2.n % 8, 0);
    QCOMPARE(plan.enables, 0x25);
    QCOMPARE(plan.worstErrorPpm, 0.0);
}

void TestPlanner::disableUnusedClearsTheirEnables() {
    RegisterImage current = startupImage();
    Field::setMatrixWord(current, Field::packCrosspointCodes({0, 7, 3, 0, 0, 6}));
    Field::setOutputEnables(current, 0x26);  // LCLK2 even on the reserved code
    PlanRequest r = request(10e6, {{0, 50e6}, {3, 12e6}}, {}, current);
    QVERIFY(!planOutputs(r).found);
    r.disableUnused = true;
    const Plan plan = planOutputs(r);
    verifyPlanOnImage(r, plan);
    QCOMPARE(plan.enables, 0x09);
    QCOMPARE(plan.outputs[1].route, 7);  // routes stay, only the enables go
    QCOMPARE(plan.outputs[5].route, 6);
    QVERIFY(!plan.outputs[5].enabled);
}

void TestPlanner::toleranceIsJudgedPerOutput() {
    // Each output is judged by its own tolerance; without one, any error is within.
    PlanRequest r = request(10e6, {{0, 33.333e6}, {1, 7.777777e6}});
    const Plan free = planOutputs(r);
    QVERIFY(free.found);
    QVERIFY(free.withinTolerance);  // no tolerance: any plan is within
    QVERIFY(free.worstErrorPpm > 0);
    r.targets[0].tolerancePpm = 1000;
    r.targets[1].tolerancePpm = 0;
    const Plan strict = planOutputs(r);
    QCOMPARE(strict.outputs[0].withinTolerance, std::fabs(strict.outputs[0].errorPpm) <= 1000);
    QCOMPARE(strict.outputs[1].withinTolerance, strict.outputs[1].errorPpm == 0);
    QCOMPARE(strict.withinTolerance,
             strict.outputs[0].withinTolerance && strict.outputs[1].withinTolerance);
    r.targets[1].tolerancePpm = strict.worstErrorPpm;
    r.targets[0].tolerancePpm = strict.worstErrorPpm;
    QVERIFY(planOutputs(r).withinTolerance);
}

// CAPLOAD 0 for a driven reference, the crystal's CAPLOAD kept, and the bits the register map
// fixes, from an image with every one of them wrong: the result is clean under the chip's rules,
// warnings included, for the same board.
void TestPlanner::planSetsWhatTheChipWants_data() {
    QTest::addColumn<double>("reference");
    QTest::addColumn<BoardFacts>("board");
    QTest::addColumn<double>("target");
    QTest::addColumn<int>("capLoadBefore");
    QTest::addColumn<int>("capLoadAfter");
    QTest::addColumn<bool>("pllUsed");
    QTest::newRow("crystal, start-up CAPLOAD")
        << 10e6 << BoardFacts{} << 33.333e6 << 0x40 << 0x40 << true;
    QTest::newRow("crystal, its own CAPLOAD")
        << 27e6 << BoardFacts{} << 74.25e6 << 0x2A << 0x2A << true;
    QTest::newRow("driven, start-up CAPLOAD") << 10e6 << Driven << 33.333e6 << 0x40 << 0 << true;
    QTest::newRow("driven 100 MHz, CAPLOAD 255")
        << 100e6 << Driven << 156.25e6 << 0xFF << 0 << true;
    QTest::newRow("driven, no PLL") << 48e6 << Driven << 12e6 << 0x40 << 0 << false;
}

void TestPlanner::planSetsWhatTheChipWants() {
    QFETCH(double, reference);
    QFETCH(BoardFacts, board);
    QFETCH(double, target);
    QFETCH(int, capLoadBefore);
    QFETCH(int, capLoadAfter);
    QFETCH(bool, pllUsed);
    RegisterImage current = startupImage();
    current[Reg::ClockOutputEnable] = 0xC0;  // fixed 00, every output off
    current[Reg::XcoDrive] = 0xFF;           // fixed 001 and 000 around XDRV 3
    current[Reg::PumpPb] = 0x3F;             // fixed 110 above pump and PB
    current[Reg::Matrix3] = 0xC0;            // fixed 111111 below CLK5's and CLK6's codes
    current[Reg::CapLoad] = quint8(capLoadBefore);
    const PlanRequest r = request(reference, {{0, target}}, board, current);
    const Plan plan = planOutputs(r);
    verifyPlanOnImage(r, plan);
    QCOMPARE(plan.pllUsed, pllUsed);
    RegisterImage image = current;
    applyPlan(plan, image);
    QCOMPARE(int(image[Reg::CapLoad]), capLoadAfter);
    QCOMPARE(int(image[Reg::ClockOutputEnable]), 0x01);
    QCOMPARE(int(image[Reg::XcoDrive]), 0x38);
    QCOMPARE(image[Reg::PumpPb] & 0xE0, 0xC0);
    QCOMPARE(image[Reg::Matrix3] & 0x3F, 0x3F);
    if (!pllUsed)
        QCOMPARE(int(image[Reg::PumpPb]), 0xDF);  // the unused PLL's pump and PB stay
    QStringList findings;
    for (const Finding& f : checkChipRules(image, reference, board))
        findings << findingLine(f);
    QVERIFY2(findings.isEmpty(), qPrintable(findings.join('\n')));
}

// A running chip: 10 MHz reference, PLL 200 MHz; LCLK1 25 MHz (DIV1N 8), LCLK2 12.5 MHz (DIV2N
// 16), LCLK3 and LCLK4 100 MHz (DIV1CLK/2, DIV2CLK/2), CLK5 the reference, CLK6 50 MHz (DIV2CLK/4).
RegisterImage runningImage() {
    RegisterImage r;
    const std::pair<int, int> bytes[] = {{0x09, 0x3F}, {0x0C, 0x08}, {0x12, 0x30}, {0x13, 0x40},
                                         {0x40, 0xC4}, {0x41, 0x60}, {0x42, 0x08}, {0x44, 0x31},
                                         {0x45, 0x51}, {0x46, 0xBF}, {0x47, 0x10}};
    for (const auto& [address, value] : bytes)
        r[address] = quint8(value);
    return r;
}

// Enabled outputs nobody named are held at what they give: targets of the same objective, as if
// they had been named with those frequencies, and marked held; with disableUnused they go off.
void TestPlanner::unnamedOutputsAreHeld_data() {
    QTest::addColumn<PlanRequest>("request");
    QTest::addColumn<int>("held");  // bit i: output i held
    QTest::addColumn<std::vector<double>>("heldAt");
    QTest::addColumn<int>("enables");
    const auto holding = [](PlanRequest r, bool disable) {
        r.holdUnnamed = true;
        r.disableUnused = disable;
        return r;
    };
    QTest::newRow("LCLK1 moved") << holding(request(10e6, {{0, 33.333e6}}, {}, runningImage()),
                                            false)
                                 << 0x3E << std::vector<double>{0, 12.5e6, 100e6, 100e6, 10e6, 50e6}
                                 << 0x3F;
    QTest::newRow("CLK5 moved, a tolerance") <<
        [&] {
            PlanRequest r = holding(request(10e6, {{4, 27e6}}, {}, runningImage()), false);
            r.targets[4].tolerancePpm = 100;
            return r;
        }() << 0x2F << std::vector<double>{25e6, 12.5e6, 100e6, 100e6, 0, 50e6}
                                             << 0x3F;
    QTest::newRow("disable unused")
        << holding(request(10e6, {{0, 33.333e6}}, {}, runningImage()), true) << 0
        << std::vector<double>(6, 0.0) << 0x01;
    QTest::newRow("nothing enabled") << holding(request(10e6, {{0, 33.333e6}}), false) << 0
                                     << std::vector<double>(6, 0.0) << 0x01;
}

void TestPlanner::unnamedOutputsAreHeld() {
    QFETCH(PlanRequest, request);
    QFETCH(int, held);
    QFETCH(std::vector<double>, heldAt);
    QFETCH(int, enables);
    const Plan plan = planOutputs(request);
    verifyPlanOnImage(request, plan);
    QCOMPARE(plan.enables, enables);
    // The same request with the held outputs named at those frequencies gives the same plan.
    PlanRequest named = request;
    named.holdUnnamed = false;
    named.disableUnused = true;
    std::optional<double> tolerance;
    for (const PlanTarget& t : request.targets)
        tolerance = t.requested ? t.tolerancePpm : tolerance;
    for (int i = 0; i < OutputCount; ++i) {
        const PlannedOutput& out = plan.outputs[std::size_t(i)];
        QCOMPARE(out.held, bool(held & (1 << i)));
        if (!out.held)
            continue;
        QVERIFY(out.requested && out.enabled);
        QCOMPARE(out.targetHz, heldAt[std::size_t(i)]);
        QVERIFY(std::fabs(out.errorPpm) <= plan.worstErrorPpm);
        named.targets[std::size_t(i)] = {true, heldAt[std::size_t(i)], tolerance};
    }
    const Plan same = planOutputs(named);
    QVERIFY(same.found);
    QCOMPARE(same.worstErrorPpm, plan.worstErrorPpm);
    QCOMPARE(same.sumErrorPpm, plan.sumErrorPpm);
    QCOMPARE(same.withinTolerance, plan.withinTolerance);
    QCOMPARE(same.toleranceGiven, tolerance.has_value());
    QCOMPARE(plan.toleranceGiven, tolerance.has_value());
    for (int i = 0; i < OutputCount; ++i)
        QCOMPARE(same.outputs[std::size_t(i)].route, plan.outputs[std::size_t(i)].route);
}

void TestPlanner::refusesWhatCannotBePlanned_data() {
    QTest::addColumn<PlanRequest>("request");
    QTest::addColumn<QString>("problem");
    QTest::newRow("reference not whole") << request(10.5e6 + 0.5, {{0, 1e6}})
                                         << "the reference must be whole hertz within 8 MHz..30 "
                                            "MHz for a crystal";
    QTest::newRow("crystal too fast") << request(48e6, {{0, 1e6}})
                                      << "the reference must be whole hertz within 8 MHz..30 MHz "
                                         "for a crystal";
    QTest::newRow("driven too fast") << request(150e6, {{0, 1e6}}, Driven)
                                     << "the reference must be whole hertz within 1 MHz..133 MHz "
                                        "for a driven clock";
    QTest::newRow("nothing requested") << request(10e6, {}) << "no output is requested";
    QTest::newRow("negative target")
        << request(10e6, {{2, -5}}) << "the target of LCLK3 is not a positive frequency";
    QTest::newRow("infinite target")
        << request(10e6, {{4, INFINITY}}) << "the target of CLK5 is not a positive frequency";
    QTest::newRow("target too low")
        << request(10e6, {{5, 79999}})
        << "the target 79.999 kHz of CLK6 is outside 80 kHz..200 MHz, what it can give";
    QTest::newRow("target too high")
        << request(10e6, {{4, 200.5e6}})
        << "the target 200.5 MHz of CLK5 is outside 80 kHz..200 MHz, what it can give";
    QTest::newRow("LCLK at 2.5 V")
        << request(10e6, {{1, 170e6}}, At2V5)
        << "the target 170 MHz of LCLK2 is outside 80 kHz..166.6 MHz, what it can give";
    PlanRequest tolerance = request(10e6, {{0, 1e6}});
    tolerance.targets[0].tolerancePpm = -1;
    QTest::newRow("negative tolerance")
        << tolerance << "the tolerance of LCLK1 is not a number of ppm from 0 up";
    RegisterImage reserved = startupImage();
    Field::setCrosspointCode(reserved, 4, 7);
    Field::setOutputEnables(reserved, 0x10);
    QTest::newRow("kept output on code 7")
        << request(10e6, {{0, 1e6}}, {}, reserved)
        << "CLK5 is enabled with the reserved crosspoint code 7; plan it or disable the unused "
           "outputs";
    // Held, an output must stay within what it can give: 8 MHz / 127 is below 80 kHz.
    RegisterImage slow = startupImage();
    Field::setDiv1FromReference(slow, true);
    Field::setDiv1N(slow, 127);
    Field::setCrosspointCode(slow, 1, 1);
    Field::setOutputEnables(slow, 0x02);
    PlanRequest holding = request(8e6, {{0, 1e6}}, {}, slow);
    holding.holdUnnamed = true;
    QTest::newRow("held output below its range")
        << holding
        << "LCLK2 is enabled at 62.9921259843 kHz, which it cannot give under any plan; plan it or "
           "disable the unused outputs";
}

void TestPlanner::refusesWhatCannotBePlanned() {
    QFETCH(PlanRequest, request);
    QFETCH(QString, problem);
    QCOMPARE(planRequestProblem(request), problem);
    const Plan plan = planOutputs(request);
    QVERIFY(!plan.found);
    QCOMPARE(plan.problem, problem);
    RegisterImage image = request.current;
    applyPlan(plan, image);
    QVERIFY(image.bytes == request.current.bytes);
}

QTEST_GUILESS_MAIN(TestPlanner)
#include "tst_planner.moc"
