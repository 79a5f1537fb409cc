// SPDX-License-Identifier: MIT
#include "frequency/planner.h"

#include "frequency/frequencymodel.h"
#include "frequency/frequencyreadout.h"
#include "frequency/solutionfields.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <vector>

// How the search stays exact and fast.
//
// For a fixed PLL and fixed bank settings each requested output simply takes its best route, so
// the search is over PLL settings and pairs of bank settings (source, DIVxN). Two facts bound it
// without losing the optimum:
// - A bank whose DIVxN route serves a requested output within the best worst error found so far
//   has its DIVxN inside that output's window around clock / target; a bank whose DIVxN route
//   serves nobody can take the smallest DIVxN that keeps the rules its other routes need. So only
//   the windows and those few representatives are candidates, and a route worse than the best
//   worst error counts as no route.
// - Each output alone cannot do better than its best route from the reference or this PLL over
//   any DIVxN; when that bound is already worse than the best plan, the PLL setting is skipped.
// Relative errors that differ by less than Epsilon count as equal: rounding, not the setting.

namespace {
constexpr double Epsilon = 1e-12;
constexpr double Infinite = std::numeric_limits<double>::infinity();
constexpr int Bank1 = 0;
constexpr int Bank2 = 1;

bool onBank(int code, int bank) {
    return bank == Bank1 ? (code >= 1 && code <= 3) : (code >= 4 && code <= 6);
}

// The frequency a route of a bank gives from the bank's clock.
double routeHz(int code, double clock, int n) {
    switch (code) {
        case 1:
        case 4:
            return clock / n;
        case 2:
        case 5:
            return clock * 0.5;
        case 3:
            return clock / 3;
        case 6:
            return clock * 0.25;
        default:
            return 0;
    }
}

int firstCode(int bank) {
    return bank == Bank1 ? 1 : 4;
}

// One bank setting and what it offers each requested output.
struct BankSetting {
    bool fromReference = true;
    int n = 0;
    std::array<double, OutputCount> error{};  // by requested slot; Infinite: no route
};

// The request, prepared for the search.
class Search {
public:
    explicit Search(const PlanRequest& r) : request_(r), reference_(r.referenceHz) {
        for (int i = 0; i < OutputCount; ++i) {
            const PlanTarget& t = r.targets[std::size_t(i)];
            if (t.requested) {
                requested_.push_back(i);
                continue;
            }
            if (!r.disableUnused && (Field::outputEnables(r.current) & (1 << i)))
                kept_.push_back({i, Field::crosspointCode(Field::matrixWord(r.current), i)});
        }
        for (std::size_t k = 0; k < requested_.size(); ++k) {
            const int output = requested_[k];
            target_[k] = r.targets[std::size_t(output)].hz;
            maximum_[k] = outputMaximumHz(output, r.board);
            direct_[k] = errorOf(k, reference_);
            referenceBound_[k] = std::min(direct_[k], boundFrom(k, reference_));
        }
    }

    std::size_t requestedCount() const { return requested_.size(); }
    int requestedOutput(std::size_t k) const { return requested_[k]; }
    double direct(std::size_t k) const { return direct_[k]; }

    // |hz / target - 1| for requested slot k, Infinite outside the output's range.
    double errorOf(std::size_t k, double hz) const {
        if (!(hz >= ChipLimits::OutputMinHz && hz <= maximum_[k]))
            return Infinite;
        return std::fabs(hz / target_[k] - 1);
    }

    // The least error slot k can have from any route of any bank fed by `clock`.
    double boundFrom(std::size_t k, double clock) const {
        double best =
            std::min({errorOf(k, clock * 0.5), errorOf(k, clock / 3), errorOf(k, clock * 0.25)});
        const double x = clock / target_[k];
        for (double n : {std::floor(x), std::ceil(x)}) {
            const double clamped =
                std::clamp(n, double(ChipLimits::DividerNMin), double(ChipLimits::DividerNMax));
            best = std::min(best, errorOf(k, clock / clamped));
        }
        // The output's range may exclude the nearest DIVxN: the range's own ends then are nearest.
        const int low = std::max(ChipLimits::DividerNMin, int(std::ceil(clock / maximum_[k])));
        const int high =
            std::min(ChipLimits::DividerNMax, int(std::floor(clock / ChipLimits::OutputMinHz)));
        if (low <= high) {
            best = std::min(best, errorOf(k, clock / low));
            best = std::min(best, errorOf(k, clock / high));
        }
        return best;
    }

    // The least worst error this PLL could give, and the least sum: no plan on it does better.
    std::pair<double, double> bound(double pll) const {
        double worst = 0;
        double sum = 0;
        for (std::size_t k = 0; k < requested_.size(); ++k) {
            const double e = std::min(referenceBound_[k], boundFrom(k, pll));
            worst = std::max(worst, e);
            sum += e;
        }
        return {worst, sum};
    }

    // Whether the outputs that keep their routes can run on this bank setting.
    bool keptOutputsRun(int bank, double clock, int n) const {
        for (const Kept& kept : kept_) {
            if (!onBank(kept.code, bank))
                continue;
            if (!routeAllowsDividerN(kept.code, n))
                return false;
            const double hz = routeHz(kept.code, clock, n);
            if (!(hz >= ChipLimits::OutputMinHz &&
                  hz <= outputMaximumHz(kept.output, request_.board)))
                return false;
        }
        return true;
    }

    bool keptOnBank(int bank) const {
        for (const Kept& kept : kept_) {
            if (onBank(kept.code, bank))
                return true;
        }
        return false;
    }

    // The bank settings worth trying from `clock` when no worst error above `limit` counts.
    void candidates(int bank, bool fromReference, double clock, double limit,
                    std::vector<BankSetting>& out) const {
        std::array<bool, ChipLimits::DividerNMax + 1> take{};
        const auto mark = [&take](double low, double high) {
            const int a = std::max(ChipLimits::DividerNMin, int(std::floor(low)) - 1);
            const int b = std::min(ChipLimits::DividerNMax, int(std::ceil(high)) + 1);
            for (int n = a; n <= b; ++n)
                take[std::size_t(n)] = true;
        };
        for (std::size_t k = 0; k < requested_.size() && limit < 0.5; ++k) {
            const double x = clock / target_[k];
            mark(x / (1 + limit + Epsilon), x / (1 - limit - Epsilon));
        }
        if (limit >= 0.5)
            mark(ChipLimits::DividerNMin, ChipLimits::DividerNMax);  // so wide a limit: all
        // The smallest DIVxN of each kind the fixed routes need: any, a multiple of 4, 6, a
        // multiple of 8.
        const auto smallest = [&](auto fits) {
            for (int n = ChipLimits::DividerNMin; n <= ChipLimits::DividerNMax; ++n) {
                if (fits(n) && keptOutputsRun(bank, clock, n)) {
                    take[std::size_t(n)] = true;
                    return;
                }
            }
        };
        smallest([](int) { return true; });
        smallest([](int n) { return n % 4 == 0; });
        if (bank == Bank1)
            smallest([](int n) { return n == 6; });
        else
            smallest([](int n) { return n % 8 == 0; });

        bool idleTaken = false;  // one setting that serves nobody is enough
        for (int n = ChipLimits::DividerNMin; n <= ChipLimits::DividerNMax; ++n) {
            if (!take[std::size_t(n)] || !keptOutputsRun(bank, clock, n))
                continue;
            BankSetting s;
            s.fromReference = fromReference;
            s.n = n;
            bool serves = false;
            for (std::size_t k = 0; k < requested_.size(); ++k) {
                const double best = bestRoute(k, bank, clock, n).error;
                s.error[k] = best <= limit + Epsilon ? best : Infinite;
                serves = serves || s.error[k] < Infinite;
            }
            if (!serves) {
                if (idleTaken)
                    continue;
                idleTaken = true;
            }
            out.push_back(s);
        }
        dropDominated(out);
    }

    // The best route of slot k on a bank set to `clock` and `n`: the least error, the lowest code
    // among equals.
    struct Route {
        double error = Infinite;
        int code = -1;
    };
    Route bestRoute(std::size_t k, int bank, double clock, int n) const {
        Route best;
        for (int code = firstCode(bank); code < firstCode(bank) + 3; ++code) {
            if (!routeAllowsDividerN(code, n))
                continue;
            const double e = errorOf(k, routeHz(code, clock, n));
            if (e < best.error)
                best = {e, code};
        }
        return best;
    }

private:
    // A setting no better than another for every output is never needed; of equals the first
    // stays.
    void dropDominated(std::vector<BankSetting>& settings) const {
        const std::size_t count = requested_.size();
        std::vector<BankSetting> kept;
        kept.reserve(settings.size());
        for (std::size_t a = 0; a < settings.size(); ++a) {
            bool dominated = false;
            for (std::size_t b = 0; b < settings.size() && !dominated; ++b) {
                if (a == b)
                    continue;
                bool noWorse = true;
                bool better = false;
                for (std::size_t k = 0; k < count && noWorse; ++k) {
                    noWorse = settings[b].error[k] <= settings[a].error[k];
                    better = better || settings[b].error[k] < settings[a].error[k];
                }
                dominated = noWorse && (better || b < a);
            }
            if (!dominated)
                kept.push_back(settings[a]);
        }
        settings.swap(kept);
    }

    struct Kept {
        int output;
        int code;
    };
    const PlanRequest& request_;
    double reference_;
    std::vector<int> requested_;
    std::vector<Kept> kept_;
    std::array<double, OutputCount> target_{};
    std::array<double, OutputCount> maximum_{};
    std::array<double, OutputCount> direct_{};
    std::array<double, OutputCount> referenceBound_{};
};

// Where a requested output takes its frequency from: 0 the reference itself, 1 or 2 a bank. A
// bank must beat what comes before it by more than rounding.
int chosenSource(double direct, double bank1, double bank2) {
    int source = 0;
    double error = direct;
    if (bank1 < error - Epsilon) {
        source = 1;
        error = bank1;
    }
    if (bank2 < error - Epsilon)
        source = 2;
    return source;
}

// The best found so far.
struct Best {
    bool found = false;
    bool pll = false;  // the plan draws on the PLL
    double worst = Infinite;
    double sum = Infinite;
    int p = 0;
    int q = 0;
    BankSetting bank1;
    BankSetting bank2;
    int sources = 0;

    // -1: (worst, sum) is better than the best, 0: equal, 1: worse.
    int compare(double w, double s) const {
        if (!found)
            return -1;
        if (w < worst - Epsilon)
            return -1;
        if (w > worst + Epsilon)
            return 1;
        if (s < sum - Epsilon)
            return -1;
        if (s > sum + Epsilon)
            return 1;
        return 0;
    }
};

// The best pair of bank settings for the lists; `needPll`: only pairs that draw on the PLL.
// Returns true when a pair beats `best` (or equals it, with `takeEqual`), and puts it there.
bool bestPair(const Search& search, const std::vector<BankSetting>& bank1,
              const std::vector<BankSetting>& bank2, bool needPll, bool takeEqual, Best& best) {
    const std::size_t count = search.requestedCount();
    bool improved = false;
    for (const BankSetting& a : bank1) {
        for (const BankSetting& b : bank2) {
            if (needPll && a.fromReference && b.fromReference)
                continue;
            const double limit = best.found ? best.worst + Epsilon : Infinite;
            double worst = 0;
            double sum = 0;
            bool pllServes = (!a.fromReference && search.keptOnBank(Bank1)) ||
                             (!b.fromReference && search.keptOnBank(Bank2));
            int sources = 0;  // where each output takes its frequency from, the first weighing most
            for (std::size_t k = 0; k < count && worst <= limit; ++k) {
                const int source = chosenSource(search.direct(k), a.error[k], b.error[k]);
                const double e = source == 0   ? search.direct(k)
                                 : source == 1 ? a.error[k]
                                               : b.error[k];
                pllServes = pllServes || (source == 1 && !a.fromReference) ||
                            (source == 2 && !b.fromReference);
                worst = std::max(worst, e);
                sum += e;
                sources = sources * 3 + source;
            }
            if (worst > limit)
                continue;
            if (needPll && !pllServes)
                continue;  // a plan that needs no PLL was judged without one
            const int order = best.compare(worst, sum);
            // Among equals on one PLL: the reference before DIV1 before DIV2, output by output.
            const bool equalTaken = order == 0 && (improved ? sources < best.sources : takeEqual);
            if (order < 0 || equalTaken) {
                best.found = true;
                best.sources = sources;
                best.worst = worst;
                best.sum = sum;
                best.bank1 = a;
                best.bank2 = b;
                improved = true;
            }
        }
    }
    return improved;
}

// Whether P / Q is the setting of its frequency with the lowest Q within the search.
bool lowestQOfItsFrequency(int p, int q, const PlanSearchRange& range) {
    const int g = std::gcd(p, q);
    const int p0 = p / g;
    const int q0 = q / g;
    const int k = std::max((range.pMin + p0 - 1) / p0, (range.qMin + q0 - 1) / q0);
    return k == g;
}

PlannedBank plannedBank(const BankSetting& s) {
    return {false, s.fromReference, s.n};
}
}  // namespace

QString planRequestProblem(const PlanRequest& r) {
    const HzRange references = referenceRange(r.board.reference);
    const bool driven = r.board.reference == ReferenceKind::DrivenClock;
    if (!std::isfinite(r.referenceHz) || r.referenceHz != std::floor(r.referenceHz) ||
        !references.contains(r.referenceHz))
        return QStringLiteral("the reference must be whole hertz within %1..%2 for a %3")
            .arg(hzText(references.low), hzText(references.high),
                 driven ? "driven clock" : "crystal");
    bool any = false;
    for (int i = 0; i < OutputCount; ++i) {
        const PlanTarget& t = r.targets[std::size_t(i)];
        const QString name = outputName(i);
        if (!t.requested) {
            if (r.disableUnused || !(Field::outputEnables(r.current) & (1 << i)))
                continue;
            const int code = Field::crosspointCode(Field::matrixWord(r.current), i);
            if (code > 6)
                return QStringLiteral(
                           "%1 is enabled with the reserved crosspoint code 7; plan it or "
                           "disable the unused outputs")
                    .arg(name);
            continue;
        }
        any = true;
        if (!(t.hz > 0) || !std::isfinite(t.hz))
            return QStringLiteral("the target of %1 is not a positive frequency").arg(name);
        const double maximum = outputMaximumHz(i, r.board);
        if (t.hz < ChipLimits::OutputMinHz || t.hz > maximum)
            return QStringLiteral("the target %1 of %2 is outside %3..%4, what it can give")
                .arg(hzText(t.hz), name, hzText(ChipLimits::OutputMinHz), hzText(maximum));
        if (t.tolerancePpm && !(*t.tolerancePpm >= 0 && std::isfinite(*t.tolerancePpm)))
            return QStringLiteral("the tolerance of %1 is not a number of ppm from 0 up").arg(name);
    }
    if (!any)
        return QStringLiteral("no output is requested");
    return QString();
}

namespace {
// The plan for the best settings: each requested output on its best route (the lowest code among
// equals), the banks it and the kept outputs draw on, and what every output gives.
Plan makePlan(const PlanRequest& r, const Search& search, const Best& best, long long examined) {
    Plan plan;
    plan.found = true;
    plan.pllSettingsExamined = examined;
    const RegisterImage& image = r.current;
    const quint32 word = Field::matrixWord(image);
    const double reference = r.referenceHz;

    // The PLL: the plan's, or the image's kept.
    int p = best.pll ? best.p : pllMultiplier(Field::pb(image), Field::po(image));
    int q = best.pll ? best.q : pllDivider(Field::qCounter(image));
    const double pll = double(qint64(reference)) * p / q;
    const auto clockOf = [&](const BankSetting& s) { return s.fromReference ? reference : pll; };

    std::array<BankSetting, 2> banks{best.bank1, best.bank2};
    std::array<bool, 2> used{false, false};
    int enables = r.disableUnused ? 0 : Field::outputEnables(image);
    for (int i = 0; i < OutputCount; ++i) {
        PlannedOutput& out = plan.outputs[std::size_t(i)];
        out.route = Field::crosspointCode(word, i);
        out.enabled = enables & (1 << i);
    }
    for (std::size_t k = 0; k < search.requestedCount(); ++k) {
        const int i = search.requestedOutput(k);
        PlannedOutput& out = plan.outputs[std::size_t(i)];
        out.requested = true;
        out.enabled = true;
        enables |= 1 << i;
        const Search::Route on1 = search.bestRoute(k, Bank1, clockOf(banks[Bank1]), banks[Bank1].n);
        const Search::Route on2 = search.bestRoute(k, Bank2, clockOf(banks[Bank2]), banks[Bank2].n);
        const int source = chosenSource(search.direct(k), on1.error, on2.error);
        out.route = source == 0 ? 0 : source == 1 ? on1.code : on2.code;
    }
    for (int i = 0; i < OutputCount; ++i) {
        const PlannedOutput& out = plan.outputs[std::size_t(i)];
        if (out.enabled && out.route >= 1 && out.route <= 6)
            used[out.route <= 3 ? Bank1 : Bank2] = true;
    }
    plan.pllUsed = (used[Bank1] && !banks[Bank1].fromReference) ||
                   (used[Bank2] && !banks[Bank2].fromReference);
    if (!plan.pllUsed) {
        p = pllMultiplier(Field::pb(image), Field::po(image));
        q = pllDivider(Field::qCounter(image));
    }
    plan.pTotal = p;
    plan.pb = (p >> 1) - 4;
    plan.po = p & 1;
    plan.qTotal = q;
    plan.qCounter = q - 2;
    plan.chargePump = plan.pllUsed ? requiredChargePump(p) : Field::chargePump(image);
    plan.pllHz = double(qint64(reference)) * p / q;
    plan.enables = enables;

    const std::array<PlannedBank, 2> imageBanks{
        PlannedBank{false, Field::div1FromReference(image), Field::div1N(image)},
        PlannedBank{false, Field::div2FromReference(image), Field::div2N(image)}};
    for (int bank : {Bank1, Bank2}) {
        PlannedBank planned = used[std::size_t(bank)] ? plannedBank(banks[std::size_t(bank)])
                                                      : imageBanks[std::size_t(bank)];
        planned.used = used[std::size_t(bank)];
        (bank == Bank1 ? plan.div1 : plan.div2) = planned;
    }

    double worst = -1;
    for (int i = 0; i < OutputCount; ++i) {
        PlannedOutput& out = plan.outputs[std::size_t(i)];
        const PlannedBank& bank = out.route <= 3 ? plan.div1 : plan.div2;
        const double clock = bank.fromReference ? reference : plan.pllHz;
        out.hz = out.route == 0 ? reference : routeHz(out.route, clock, bank.n);
        if (!out.requested)
            continue;
        const PlanTarget& t = r.targets[std::size_t(i)];
        out.targetHz = t.hz;
        out.errorHz = out.hz - t.hz;
        out.errorPpm = out.errorHz / t.hz * 1e6;
        out.withinTolerance = !t.tolerancePpm || std::fabs(out.errorPpm) <= *t.tolerancePpm + 1e-9;
        plan.sumErrorPpm += std::fabs(out.errorPpm);
        if (std::fabs(out.errorPpm) > worst) {
            worst = std::fabs(out.errorPpm);
            plan.worstOutput = i;
            plan.worstErrorHz = out.errorHz;
        }
    }
    plan.worstErrorPpm = worst;
    plan.withinTolerance = true;
    for (const PlannedOutput& out : plan.outputs)
        plan.withinTolerance = plan.withinTolerance && out.withinTolerance;
    return plan;
}
}  // namespace

Plan planOutputs(const PlanRequest& r) {
    Plan failed;
    failed.problem = planRequestProblem(r);
    if (!failed.problem.isEmpty())
        return failed;
    const Search search(r);
    const double reference = r.referenceHz;
    Best best;

    // Without the PLL: both banks fed by the reference.
    std::vector<BankSetting> reference1;
    std::vector<BankSetting> reference2;
    search.candidates(Bank1, true, reference, Infinite, reference1);
    search.candidates(Bank2, true, reference, Infinite, reference2);
    bestPair(search, reference1, reference2, false, false, best);
    const bool pllFree = best.found;
    // A bank the kept outputs draw on from the PLL can only be fed by the PLL: the plan may
    // switch it to the reference only when the kept outputs run there too, which the candidates
    // check.

    const HzRange vco = vcoRange(r.board.grade);
    const PlanSearchRange& range = r.search;
    const qint64 wholeReference = qint64(reference);
    const int qLast =
        std::min(range.qMax, int(std::floor(reference / ChipLimits::ComparisonMinHz)));
    long long examined = 0;
    double limitOfLists = -1;
    std::vector<BankSetting> pllBank1;
    std::vector<BankSetting> pllBank2;
    std::vector<BankSetting> list1;
    std::vector<BankSetting> list2;
    for (int q = range.qMin; q <= qLast; ++q) {
        const int pFirst =
            std::max(range.pMin, int(std::ceil(vco.low * q / double(wholeReference))) - 1);
        for (int p = pFirst; p <= range.pMax; ++p) {
            const double pll = double(wholeReference) * p / q;
            if (pll > vco.high)
                break;
            if (pll < vco.low || !lowestQOfItsFrequency(p, q, range))
                continue;
            ++examined;
            if (best.found) {
                const auto [worst, sum] = search.bound(pll);
                if (best.compare(worst, sum) > 0)
                    continue;
            }
            const double limit = best.found ? best.worst : Infinite;
            if (limit != limitOfLists) {
                // The reference-fed settings depend on the limit only.
                reference1.clear();
                reference2.clear();
                search.candidates(Bank1, true, reference, limit, reference1);
                search.candidates(Bank2, true, reference, limit, reference2);
                limitOfLists = limit;
            }
            pllBank1.clear();
            pllBank2.clear();
            search.candidates(Bank1, false, pll, limit, pllBank1);
            search.candidates(Bank2, false, pll, limit, pllBank2);
            list1 = reference1;
            list1.insert(list1.end(), pllBank1.begin(), pllBank1.end());
            list2 = reference2;
            list2.insert(list2.end(), pllBank2.begin(), pllBank2.end());

            Best here = best;
            // Equal errors: a plan without the PLL stays; among PLL plans the higher frequency,
            // then the lower Q.
            const bool higher = here.pll && (qint64(p) * here.q > qint64(here.p) * q);
            const bool takeEqual = best.found && best.pll && higher;
            if (!bestPair(search, list1, list2, true, takeEqual, here))
                continue;
            here.pll = true;
            here.p = p;
            here.q = q;
            best = here;
        }
    }
    (void)pllFree;
    if (!best.found) {
        failed.problem = QStringLiteral(
            "no setting lets the enabled outputs that are not "
            "planned keep their routes");
        return failed;
    }
    return makePlan(r, search, best, examined);
}

void applyPlan(const Plan& plan, RegisterImage& image) {
    if (!plan.found)
        return;
    if (plan.pllUsed) {
        applyPllSettings(image, plan.pTotal, plan.qTotal);
        Field::setChargePump(image, plan.chargePump);
    }
    if (plan.div1.used) {
        Field::setDiv1FromReference(image, plan.div1.fromReference);
        Field::setDiv1N(image, plan.div1.n);
    }
    if (plan.div2.used) {
        Field::setDiv2FromReference(image, plan.div2.fromReference);
        Field::setDiv2N(image, plan.div2.n);
    }
    for (int i = 0; i < OutputCount; ++i)
        Field::setCrosspointCode(image, i, plan.outputs[std::size_t(i)].route);
    Field::setOutputEnables(image, plan.enables);
}
