// SPDX-License-Identifier: MIT
// The exhaustive solver against the window's solver and against a brute force that tries every
// setting the chip has.

#include "frequency/frequencymodel.h"
#include "frequency/frequencyreadout.h"
#include "frequency/optimalsolver.h"
#include "frequency/solve.h"
#include "registers/registerimage.h"

#include <QtTest>

#include <cmath>
#include <vector>

namespace {
constexpr double Tolerance = 1e-6;  // Hz; distinct achievable frequencies differ far more

// What an output of the image gives.
double outputOf(const RegisterImage& image, double reference, int output) {
    return readFrequencies(image, reference, NormalPllRange).outputs[std::size_t(output)];
}

struct Errors {
    double e1 = 0;
    double e2 = 0;
};

// (a1, a2) no worse than (b1, b2): F1 first, then F2.
bool noWorse(const Errors& a, const Errors& b) {
    if (a.e1 < b.e1 - Tolerance)
        return true;
    return a.e1 <= b.e1 + Tolerance && a.e2 <= b.e2 + Tolerance;
}

// Every PLL setting the chip allows: Q 2..129 with reference / Q >= 250 kHz, P 8..2055, the PLL
// within the range.
std::vector<double> everyPll(double reference, const PllRange& range) {
    std::vector<double> plls;
    for (int q = 2; q <= 129 && reference / q >= 250000.0; ++q) {
        for (int p = 8; p <= 2055; ++p) {
            const double pll = reference * p / q;
            if (pll >= range.low && pll <= range.high)
                plls.push_back(pll);
        }
    }
    return plls;
}

// One divider bank's setting (source, DIVxN 4..127) and the frequencies its crosspoint codes
// give: DIVxN itself, and with DIV1N 4 or 6 the fixed /2 or /3, with DIV2N 4 or 8 /2 or /4.
struct BankSetting {
    std::vector<double> offers;
};

std::vector<BankSetting> bankSettings(int bank, double reference, double pll) {
    std::vector<BankSetting> settings;
    for (double clock : {reference, pll}) {
        for (int n = 4; n <= 127; ++n) {
            BankSetting s;
            s.offers.push_back(clock / n);
            if (bank == 1 && n == 4)
                s.offers.push_back(clock / 2);
            if (bank == 1 && n == 6)
                s.offers.push_back(clock / 3);
            if (bank == 2 && n == 4)
                s.offers.push_back(clock / 2);
            if (bank == 2 && n == 8)
                s.offers.push_back(clock / 4);
            settings.push_back(s);
        }
    }
    return settings;
}

double closest(const std::vector<double>& offers, double target) {
    double best = INFINITY;
    for (double f : offers)
        best = std::min(best, std::fabs(f - target));
    return best;
}

// Every PLL, every pair of bank settings; each output takes whichever offered frequency (or the
// reference) is closest.
Errors bruteForce(double reference, double t1, double t2, bool f2Enabled, const PllRange& range) {
    Errors best{INFINITY, INFINITY};
    for (double pll : everyPll(reference, range)) {
        struct Scored {
            double e1;
            double e2;
        };
        std::vector<Scored> bank1;
        std::vector<Scored> bank2;
        for (const BankSetting& s : bankSettings(1, reference, pll))
            bank1.push_back({closest(s.offers, t1), f2Enabled ? closest(s.offers, t2) : 0});
        for (const BankSetting& s : bankSettings(2, reference, pll))
            bank2.push_back({closest(s.offers, t1), f2Enabled ? closest(s.offers, t2) : 0});
        const double r1 = std::fabs(reference - t1);
        const double r2 = f2Enabled ? std::fabs(reference - t2) : 0;
        for (const Scored& a : bank1) {
            for (const Scored& b : bank2) {
                const Errors e{std::min({r1, a.e1, b.e1}), std::min({r2, a.e2, b.e2})};
                if (!noWorse(best, e))
                    best = e;
            }
        }
    }
    return best;
}

// F1 alone: every PLL, every divider of either bank from either source, or the reference.
double bruteForceF1(double reference, double t1, const PllRange& range) {
    double best = std::fabs(reference - t1);
    for (double pll : everyPll(reference, range)) {
        for (int d = 2; d <= 127; ++d) {
            best = std::min(best, std::fabs(pll / d - t1));
            best = std::min(best, std::fabs(reference / d - t1));
        }
    }
    return best;
}
}  // namespace

class TestOptimalSolver : public QObject {
    Q_OBJECT

private slots:
    void neverWorseThanTheWindowsSolver_data();
    void neverWorseThanTheWindowsSolver();
    void agreesWithBruteForceOnF1_data();
    void agreesWithBruteForceOnF1();
    void agreesWithBruteForceOnF1AndF2_data();
    void agreesWithBruteForceOnF1AndF2();
    void noSolutionOnlyWithoutAnyPllSetting();
};

void TestOptimalSolver::neverWorseThanTheWindowsSolver_data() {
    QTest::addColumn<double>("reference");
    QTest::addColumn<double>("f1");
    QTest::addColumn<double>("f2");  // 0: F2 disabled
    QTest::addColumn<bool>("extended");
    const double references[] = {1e6, 10e6, 14318180, 27e6, 32.25e6, 48e6, 200e6};
    const double targets[][2] = {
        {33333333, 0}, {25e6, 20e6},      {48e6, 12.288e6},   {7372800, 0},      {100e6, 66666000},
        {1e6, 0},      {156.25e6, 125e6}, {250000, 3.6864e6}, {399e6, 1.8432e6}, {13.56e6, 0}};
    for (double ref : references) {
        for (const auto& t : targets) {
            for (bool extended : {false, true}) {
                QTest::addRow("ref %.0f f1 %.0f f2 %.0f%s", ref, t[0], t[1], extended ? " ext" : "")
                    << ref << t[0] << t[1] << extended;
            }
        }
    }
}

void TestOptimalSolver::neverWorseThanTheWindowsSolver() {
    QFETCH(double, reference);
    QFETCH(double, f1);
    QFETCH(double, f2);
    QFETCH(bool, extended);
    const PllRange range = pllRangeFor(extended);
    const bool f2Enabled = f2 > 0;

    // What the window's solve makes the outputs give, on the start-up image.
    RegisterImage window;
    window.applyStartupDefaults();
    SolverRecord record;
    record.refFrequency = reference;
    record.targetF1 = f1;
    record.targetF2 = f2Enabled ? f2 : f1;
    int div1N = 0;
    int div2N = 0;
    solveIntoImage(
        record, window, div1N, div2N, f2Enabled, range.low, range.high,
        [&window](int output, int code) { Field::setCrosspointCode(window, output, code); });
    const Errors windowErrors{std::fabs(outputOf(window, reference, 0) - f1),
                              f2Enabled ? std::fabs(outputOf(window, reference, 1) - f2) : 0};

    const OptimalSettings best = solveOptimal({reference, f1, f2, f2Enabled, range});
    QVERIFY(best.found);
    RegisterImage optimal;
    optimal.applyStartupDefaults();
    applyOptimalSettings(best, optimal);
    // The image gives what the solver reports.
    QCOMPARE(outputOf(optimal, reference, 0), best.f1);
    const Errors optimalErrors{std::fabs(outputOf(optimal, reference, 0) - f1),
                               f2Enabled ? std::fabs(outputOf(optimal, reference, 1) - f2) : 0};
    QVERIFY2(std::fabs(optimalErrors.e1 - best.error1) <= Tolerance, "reported F1 error");
    if (f2Enabled)
        QCOMPARE(outputOf(optimal, reference, 1), best.f2);
    QVERIFY2(noWorse(optimalErrors, windowErrors),
             qPrintable(QString::asprintf("optimal %.6f/%.6f, window %.6f/%.6f", optimalErrors.e1,
                                          optimalErrors.e2, windowErrors.e1, windowErrors.e2)));
    // A valid setting: P, Q in the chip's ranges and the PLL within the range.
    QVERIFY(best.pTotal >= 8 && best.pTotal <= 2055);
    QVERIFY(best.qTotal >= 2 && best.qTotal <= 129 && reference / best.qTotal >= 250000.0);
    QVERIFY(!pllBelowRange(best.pll, range) && !pllAboveRange(best.pll, range));
}

void TestOptimalSolver::agreesWithBruteForceOnF1_data() {
    QTest::addColumn<double>("reference");
    QTest::addColumn<double>("f1");
    QTest::addColumn<bool>("extended");
    QTest::newRow("10 MHz, 33.333333 MHz") << 10e6 << 33333333.0 << false;
    QTest::newRow("10 MHz, 13.56 MHz") << 10e6 << 13.56e6 << false;
    QTest::newRow("14.31818 MHz, 7.3728 MHz") << 14318180.0 << 7372800.0 << false;
    QTest::newRow("27 MHz, 3.579545 MHz ext") << 27e6 << 3579545.0 << true;
    QTest::newRow("12 MHz, 90 kHz ext") << 12e6 << 90000.0 << true;
}

void TestOptimalSolver::agreesWithBruteForceOnF1() {
    QFETCH(double, reference);
    QFETCH(double, f1);
    QFETCH(bool, extended);
    const PllRange range = pllRangeFor(extended);
    const OptimalSettings best = solveOptimal({reference, f1, 0, false, range});
    QVERIFY(best.found);
    const double brute = bruteForceF1(reference, f1, range);
    QVERIFY2(std::fabs(best.error1 - brute) <= Tolerance,
             qPrintable(QString::asprintf("optimal %.9f, brute force %.9f", best.error1, brute)));
}

void TestOptimalSolver::agreesWithBruteForceOnF1AndF2_data() {
    // A 1 MHz reference keeps Q at 2..4, so that the brute force over every pair of divider
    // settings stays quick.
    QTest::addColumn<double>("f1");
    QTest::addColumn<double>("f2");
    QTest::newRow("33.333 MHz + 14.31818 MHz") << 33333000.0 << 14318180.0;
    QTest::newRow("25 MHz + 24 MHz") << 25e6 << 24e6;
    QTest::newRow("100 MHz + 3.6864 MHz") << 100e6 << 3686400.0;
    QTest::newRow("7.777777 MHz + 123.456 kHz") << 7777777.0 << 123456.0;
}

void TestOptimalSolver::agreesWithBruteForceOnF1AndF2() {
    QFETCH(double, f1);
    QFETCH(double, f2);
    const double reference = 1e6;
    const OptimalSettings best = solveOptimal({reference, f1, f2, true, NormalPllRange});
    QVERIFY(best.found);
    const Errors brute = bruteForce(reference, f1, f2, true, NormalPllRange);
    QVERIFY2(std::fabs(best.error1 - brute.e1) <= Tolerance &&
                 std::fabs(best.error2 - brute.e2) <= Tolerance,
             qPrintable(QString::asprintf("optimal %.9f/%.9f, brute force %.9f/%.9f", best.error1,
                                          best.error2, brute.e1, brute.e2)));
}

void TestOptimalSolver::noSolutionOnlyWithoutAnyPllSetting() {
    // Below 500 kHz no Q keeps the comparison frequency at 250 kHz or more.
    QVERIFY(!solveOptimal({400000, 1e6, 0, false, NormalPllRange}).found);
    QVERIFY(solveOptimal({500000, 1e6, 0, false, NormalPllRange}).found);
    // A target nothing comes near still has a closest setting.
    const OptimalSettings far = solveOptimal({10e6, 5e9, 1, true, NormalPllRange});
    QVERIFY(far.found);
    QCOMPARE(far.f1, 400e6 / 2);
}

QTEST_GUILESS_MAIN(TestOptimalSolver)
#include "tst_optimalsolver.moc"
