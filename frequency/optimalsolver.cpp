// SPDX-License-Identifier: MIT
#include "frequency/optimalsolver.h"

#include "frequency/solutionfields.h"

#include <cmath>
#include <numeric>

namespace {
constexpr int QFirst = 2;
constexpr int QLast = 129;
constexpr int PFirst = 8;
constexpr int PLast = 2055;
constexpr double LowestComparisonFrequency = 250000.0;
constexpr int DivisorFirst = 2;
constexpr int DivisorLast = 127;
constexpr int NFirst = 4;
// Distinct achievable frequencies differ by far more than this; rounding differences far less.
constexpr double Tolerance = 1e-6;

enum Bank { Div1Bank = 1, Div2Bank = 2 };

// An output's route: the reference (code 0) or a divider bank with its source and DIVxN.
struct Route {
    int code = 0;
    int bank = 0;  // 0: no bank
    bool fromReference = false;
    int n = 0;
    double frequency = 0;
};

// The crosspoint code and DIVxN that divide a bank's clock by `divisor`. DIV2 reaches 4 both
// as DIV2N 4 and as the fixed /4 (DIV2N 8); `alternative` picks the second.
bool routeFor(int bank, int divisor, bool alternative, int& code, int& n) {
    if (bank == Div1Bank) {
        if (alternative)
            return false;
        if (divisor == 2) {
            code = 2, n = 4;
        } else if (divisor == 3) {
            code = 3, n = 6;
        } else {
            code = 1, n = divisor;
        }
        return true;
    }
    if (divisor == 3)
        return false;  // DIV2 has no /3
    if (alternative) {
        if (divisor != 4)
            return false;
        code = 6, n = 8;
        return true;
    }
    if (divisor == 2) {
        code = 5, n = 4;
    } else {
        code = 4, n = divisor;
    }
    return true;
}

// The divisors worth trying for `target` from `clock`: the two around the exact quotient, and
// their neighbours where DIV2 lacks 3.
int candidateDivisors(double clock, double target, int (&divisors)[4]) {
    const double x = clock / target;
    int low = x < DivisorFirst ? DivisorFirst : x > DivisorLast ? DivisorLast : int(std::floor(x));
    int high = low < DivisorLast ? low + 1 : DivisorLast;
    int count = 0;
    divisors[count++] = low;
    if (high != low)
        divisors[count++] = high;
    if (low == 3 || high == 3) {
        divisors[count++] = 2;
        divisors[count++] = 4;
    }
    return count;
}

// What a bank with a fixed source and DIVxN offers: DIVxN itself and, with the right DIVxN,
// a fixed divider.
int bankOffers(int bank, int n, double clock, bool fromReference, Route (&routes)[2]) {
    int count = 0;
    routes[count++] = {bank == Div1Bank ? 1 : 4, bank, fromReference, n, clock / n};
    if (bank == Div1Bank && n == 4)
        routes[count++] = {2, bank, fromReference, n, clock / 2};
    if (bank == Div1Bank && n == 6)
        routes[count++] = {3, bank, fromReference, n, clock / 3};
    if (bank == Div2Bank && n == 4)
        routes[count++] = {5, bank, fromReference, n, clock / 2};
    if (bank == Div2Bank && n == 8)
        routes[count++] = {6, bank, fromReference, n, clock / 4};
    return count;
}

class PllEvaluation {
public:
    PllEvaluation(const OptimalInputs& in, double pll) : in_(in), pll_(pll) {}

    // The best routes for this PLL frequency; error2 stays 0 while F2 is disabled.
    void evaluate() {
        best1_ = Route{0, 0, true, 0, in_.reference};
        error1_ = std::fabs(in_.reference - in_.targetF1);
        error2_ = in_.f2Enabled ? bestFree(Route{}, best2_) : 0;
        forEachBankRoute(in_.targetF1, [this](const Route& r) { consider(r); });
    }

    double error1() const { return error1_; }
    double error2() const { return error2_; }
    const Route& route1() const { return best1_; }
    const Route& route2() const { return best2_; }

private:
    template <typename Visit>
    void forEachBankRoute(double target, Visit visit) const {
        for (int bank : {Div1Bank, Div2Bank}) {
            for (bool fromReference : {true, false}) {
                const double clock = fromReference ? in_.reference : pll_;
                int divisors[4];
                const int count = candidateDivisors(clock, target, divisors);
                for (int i = 0; i < count; ++i) {
                    for (bool alternative : {false, true}) {
                        int code = 0;
                        int n = 0;
                        if (routeFor(bank, divisors[i], alternative, code, n))
                            visit(Route{code, bank, fromReference, n, clock / divisors[i]});
                    }
                }
            }
        }
    }

    void consider(const Route& r) {
        const double e1 = std::fabs(r.frequency - in_.targetF1);
        if (e1 > error1_ + Tolerance)
            return;
        Route second;
        const double e2 = in_.f2Enabled ? bestFree(r, second) : 0;
        if (e1 < error1_ - Tolerance || e2 < error2_ - Tolerance) {
            best1_ = r;
            error1_ = e1;
            best2_ = second;
            error2_ = e2;
        }
    }

    // The best route for F2 when LCLK1 takes `first` (bank 0: no bank taken).
    double bestFree(const Route& first, Route& chosen) const {
        chosen = Route{0, 0, true, 0, in_.reference};
        double best = std::fabs(in_.reference - in_.targetF2);
        const auto take = [&](const Route& r) {
            const double e = std::fabs(r.frequency - in_.targetF2);
            if (e < best - Tolerance) {
                best = e;
                chosen = r;
            }
        };
        if (first.bank != 0) {
            Route offers[2];
            const double clock = first.fromReference ? in_.reference : pll_;
            const int count = bankOffers(first.bank, first.n, clock, first.fromReference, offers);
            for (int i = 0; i < count; ++i)
                take(offers[i]);
        }
        forEachBankRoute(in_.targetF2, [&](const Route& r) {
            if (r.bank != first.bank)
                take(r);
        });
        return best;
    }

    const OptimalInputs& in_;
    double pll_;
    Route best1_;
    Route best2_;
    double error1_ = 0;
    double error2_ = 0;
};

int penalty(int p, double pll) {
    const bool pumpWarning = !chargePumpFor(p).message.isEmpty();
    const bool outsideNormal =
        pllBelowRange(pll, NormalPllRange) || pllAboveRange(pll, NormalPllRange);
    return (pumpWarning ? 2 : 0) + (outsideNormal ? 1 : 0);
}

bool pumpQuiet(int p) {
    return chargePumpFor(p).message.isEmpty();
}

void setBank(DividerBank& bank, const Route& route) {
    bank.used = true;
    bank.fromReference = route.fromReference;
    bank.n = route.n;
}
}  // namespace

OptimalSettings solveOptimal(const OptimalInputs& in) {
    OptimalSettings result;
    if (!(in.reference > 0) || !std::isfinite(in.reference) || !(in.targetF1 > 0) ||
        (in.f2Enabled && !(in.targetF2 > 0)))
        return result;
    const int qLast = std::min(QLast, int(std::floor(in.reference / LowestComparisonFrequency)));
    int bestPenalty = 0;
    for (int q = QFirst; q <= qLast; ++q) {
        const int pStart =
            std::max(PFirst, int(std::floor(double(in.range.low) * q / in.reference)));
        for (int p = pStart; p <= PLast; ++p) {
            // Products, not quotients: exact for integral frequencies.
            if (in.reference * p > double(in.range.high) * q)
                break;
            if (in.reference * p < double(in.range.low) * q)
                continue;
            // A setting with a common factor repeats the smaller one seen before, unless that one
            // has a charge-pump warning that this one avoids.
            const int g = std::gcd(p, q);
            if (g > 1 && q / g >= QFirst && p / g >= PFirst && pumpQuiet(p / g))
                continue;
            ++result.pllSettings;
            const double pll = in.reference * p / q;
            PllEvaluation evaluation(in, pll);
            evaluation.evaluate();
            const double e1 = evaluation.error1();
            const double e2 = evaluation.error2();
            const int pen = penalty(p, pll);
            bool better = !result.found || e1 < result.error1 - Tolerance;
            if (!better && std::fabs(e1 - result.error1) <= Tolerance) {
                better = e2 < result.error2 - Tolerance ||
                         (std::fabs(e2 - result.error2) <= Tolerance && pen < bestPenalty);
            }
            if (!better)
                continue;
            result.found = true;
            bestPenalty = pen;
            result.pTotal = p;
            result.qTotal = q;
            result.pll = pll;
            result.error1 = e1;
            result.error2 = e2;
            const Route& r1 = evaluation.route1();
            result.code1 = r1.code;
            result.f1 = r1.frequency;
            result.div1 = {};
            result.div2 = {};
            if (r1.bank != 0)
                setBank(r1.bank == Div1Bank ? result.div1 : result.div2, r1);
            result.code2 = -1;
            result.f2 = 0;
            if (in.f2Enabled) {
                const Route& r2 = evaluation.route2();
                result.code2 = r2.code;
                result.f2 = r2.frequency;
                if (r2.bank != 0)
                    setBank(r2.bank == Div1Bank ? result.div1 : result.div2, r2);
            }
        }
    }
    return result;
}

void applyOptimalSettings(const OptimalSettings& s, RegisterImage& image) {
    if (!s.found)
        return;
    applyPllSettings(image, s.pTotal, s.qTotal);
    Field::setChargePump(image, chargePumpFor(s.pTotal).pump);
    if (s.div1.used) {
        Field::setDiv1FromReference(image, s.div1.fromReference);
        Field::setDiv1N(image, s.div1.n);
    }
    if (s.div2.used) {
        Field::setDiv2FromReference(image, s.div2.fromReference);
        Field::setDiv2N(image, s.div2.n);
    }
    Field::setCrosspointCode(image, 0, s.code1);
    if (s.code2 >= 0)
        Field::setCrosspointCode(image, 1, s.code2);
}
