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
// the search is over PLL settings and pairs of bank settings (source, DIVxN). The plan without a
// PLL (both banks fed by the reference) comes first; every PLL setting after it must beat the best
// so far, and these facts rule out most of the work without losing the optimum:
// - A plan no worse than the best has no output off by more than the best worst error; and when
//   an output's own bound already reaches that worst error, none off by more than the best sum
//   leaves beside the others' bounds. These limits, by output, make a route beyond them no route.
// - A bank whose DIVxN route serves an output within its limit has its DIVxN inside that output's
//   window around clock / target; a bank whose DIVxN route serves nobody can take the smallest
//   DIVxN that keeps the rules its other routes need. So only the windows and those few
//   representatives are candidates, and of those only the ones no other serves as well.
// - Each output alone cannot do better than its best route from the reference or this PLL over
//   any DIVxN; when those bounds are worse than the best plan, the PLL setting is skipped, and
//   so are pairs of PLL-fed banks when the bounds without the reference-fed routes are.
// - Two banks and the reference must serve every output within its limit: the sets of outputs
//   each bank can serve at once decide that before any setting is paired.
// - With one bank fed by the reference, a reference-fed setting whose errors, with each output's
//   bound on the PLL, are already worse than the best plan pairs with no PLL-fed setting.
// Relative errors that differ by less than Epsilon count as equal: rounding, not the setting.

namespace {
constexpr double Epsilon = 1e-12;
constexpr double Infinite = std::numeric_limits<double>::infinity();
constexpr int Bank1 = 0;
constexpr int Bank2 = 1;

bool onBank(int code, int bank) {
    return bank == Bank1 ? (code >= 1 && code <= 3) : (code >= 4 && code <= 6);
}

// The frequency a route of a bank gives from the bank's clock, as the frequency model has it.
double routeHz(int code, double clock, int n) {
    return outputFrequency(code, 0, clock, clock, n, n);
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

// The largest error, by requested slot, that a setting may give an output and still take part in
// a plan no worse than the best so far; Infinite before there is one.
using Limits = std::array<double, OutputCount>;

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
        for (int code = 0; code < 8; ++code) {
            for (int n = 0; n <= ChipLimits::DividerNMax; ++n)
                allowed_[std::size_t(code)][std::size_t(n)] = routeAllowsDividerN(code, n);
        }
        for (int code = 0; code < 8; ++code) {
            for (int n = ChipLimits::DividerNMax; n >= ChipLimits::DividerNMin; --n) {
                if (allows(code, n))
                    firstAllowed_[std::size_t(code)] = n;
            }
        }
        for (int bank : {Bank1, Bank2}) {
            const int code = firstCode(bank);
            for (int n = ChipLimits::DividerNMax; n >= ChipLimits::DividerNMin; --n) {
                if (allows(code + 1, n) && allows(code + 2, n))
                    firstAllowedBoth_[std::size_t(bank)] = n;
            }
        }
        for (std::size_t k = 0; k < requested_.size(); ++k) {
            const int output = requested_[k];
            target_[k] = r.targets[std::size_t(output)].hz;
            maximum_[k] = outputMaximumHz(output, r.board);
            direct_[k] = errorOf(k, reference_);
            referenceBound_[k] = std::min(direct_[k], boundFrom(k, reference_));
            anyPllBound_[k] = std::min(referenceBound_[k], boundOverEveryPll(k, r.board.grade));
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

    // The least error slot k can have from any PLL within the grade's range: each route divides
    // the PLL's range into a range of its own, and the nearest point of it is the bound.
    double boundOverEveryPll(std::size_t k, PartGrade grade) const {
        const HzRange vco = vcoRange(grade);
        double best = Infinite;
        const auto near = [&](double divisor) {
            const double low = vco.low / divisor;
            const double high = vco.high / divisor;
            const double t = target_[k];
            best = std::min(best, t < low ? errorOf(k, low) : t > high ? errorOf(k, high) : 0.0);
        };
        near(2);
        near(3);
        for (int n = ChipLimits::DividerNMin; n <= ChipLimits::DividerNMax; ++n)
            near(n);
        return best;
    }

    // The least error of each output on this PLL, alone: no plan on it does better.
    // `withoutPllPair` is the bound of plans that feed at most one bank from this PLL;
    // `pllPair` of those that feed both from it.
    void bound(double pll, Limits& withoutPllPair, Limits& pllPair) const {
        for (std::size_t k = 0; k < requested_.size(); ++k) {
            const double fromPll = boundFrom(k, pll);
            withoutPllPair[k] = std::min(referenceBound_[k], fromPll);
            pllPair[k] = std::min(direct_[k], fromPll);
        }
    }
    const Limits& boundOverEveryPll() const { return anyPllBound_; }

    // How far each output may be off in a plan no worse than (worst, sum), when every output is
    // at least `least` off: no more than the worst. And when `least` already reaches the worst,
    // a plan no worse has that very worst and at most the sum, so an output may be off no more
    // than the sum leaves beside the others' least.
    Limits limits(double worst, double sum, const Limits& least) const {
        double total = 0;
        double leastWorst = 0;
        for (std::size_t k = 0; k < requested_.size(); ++k) {
            total += least[k];
            leastWorst = std::max(leastWorst, least[k]);
        }
        const bool worstReached = leastWorst >= worst - Epsilon;
        Limits limit{};
        for (std::size_t k = 0; k < requested_.size(); ++k) {
            limit[k] = worst + 4 * Epsilon;
            if (worstReached)
                limit[k] = std::min(limit[k], sum - (total - least[k]) + 4 * Epsilon);
        }
        return limit;
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

    // The bank settings worth trying from `clock` when no error above `limit` counts.
    // With `thin`, settings that another serves at least as well are left out: fewer pairs to
    // try, for the price of the comparison.
    void candidates(int bank, bool fromReference, double clock, const Limits& limit,
                    std::vector<BankSetting>& out, bool thin = true) const {
        const std::size_t first = out.size();
        std::array<bool, ChipLimits::DividerNMax + 1> take{};
        const auto mark = [&take](double low, double high) {
            const int a = std::max(ChipLimits::DividerNMin, int(std::floor(low)) - 1);
            const int b = std::min(ChipLimits::DividerNMax, int(std::ceil(high)) + 1);
            for (int n = a; n <= b; ++n)
                take[std::size_t(n)] = true;
        };
        for (std::size_t k = 0; k < requested_.size(); ++k) {
            const auto [low, high] = window(k, clock, limit[k]);
            mark(low, high);
        }
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

        // The fixed routes' errors do not depend on DIVxN.
        std::array<std::array<double, 3>, OutputCount> fixed{};
        for (std::size_t k = 0; k < requested_.size(); ++k) {
            for (int c = 1; c < 3; ++c)
                fixed[k][std::size_t(c)] = errorOf(k, routeHz(firstCode(bank) + c, clock, 8));
        }
        bool idleTaken = false;  // one setting that serves nobody is enough
        for (int n = ChipLimits::DividerNMin; n <= ChipLimits::DividerNMax; ++n) {
            if (!take[std::size_t(n)] || !keptOutputsRun(bank, clock, n))
                continue;
            BankSetting s;
            s.fromReference = fromReference;
            s.n = n;
            bool serves = false;
            const int code = firstCode(bank);
            for (std::size_t k = 0; k < requested_.size(); ++k) {
                double best = allows(code, n) ? errorOf(k, clock / n) : Infinite;
                for (int c = 1; c < 3; ++c) {
                    if (allows(code + c, n))
                        best = std::min(best, fixed[k][std::size_t(c)]);
                }
                s.error[k] = best <= limit[k] ? best : Infinite;
                serves = serves || s.error[k] < Infinite;
            }
            if (!serves) {
                if (idleTaken)
                    continue;
                idleTaken = true;
            }
            out.push_back(s);
        }
        if (thin)
            dropDominated(out, first);
    }

    // The sets of requested outputs (bit k: slot k) that a bank fed by `clock` can serve within
    // `limit`, as bits of a 64-bit word (bit m: set m). A set here may hold more outputs than a
    // real setting serves, never fewer: the word only rules settings out.
    quint64 coverSets(int bank, double clock, const Limits& limit) const {
        const int code = firstCode(bank);
        std::array<quint8, ChipLimits::DividerNMax + 1> byN{};  // served through DIVxN itself
        std::array<bool, ChipLimits::DividerNMax + 1> take{};
        for (std::size_t k = 0; k < requested_.size(); ++k) {
            const auto [lowN, highN] = window(k, clock, limit[k]);
            const int low = std::max(ChipLimits::DividerNMin, int(std::floor(lowN)) - 1);
            const int high = std::min(ChipLimits::DividerNMax, int(std::ceil(highN)) + 1);
            for (int n = low; n <= high; ++n) {
                byN[std::size_t(n)] |= quint8(1u << k);
                take[std::size_t(n)] = true;
            }
        }
        std::array<quint8, 3> fixedSet{};
        for (std::size_t k = 0; k < requested_.size(); ++k) {
            for (int c = 1; c < 3; ++c) {
                if (errorOf(k, routeHz(code + c, clock, 8)) <= limit[k])
                    fixedSet[std::size_t(c)] |= quint8(1u << k);
            }
        }
        for (int c = 1; c < 3; ++c) {
            if (firstAllowed_[std::size_t(code + c)] > 0)
                take[std::size_t(firstAllowed_[std::size_t(code + c)])] = true;
        }
        if (firstAllowedBoth_[std::size_t(bank)] > 0)
            take[std::size_t(firstAllowedBoth_[std::size_t(bank)])] = true;
        quint64 sets = 1;  // serving nobody
        for (int n = ChipLimits::DividerNMin; n <= ChipLimits::DividerNMax; ++n) {
            if (!take[std::size_t(n)])
                continue;
            unsigned set = allows(code, n) ? byN[std::size_t(n)] : 0;
            for (int c = 1; c < 3; ++c) {
                if (allows(code + c, n))
                    set |= fixedSet[std::size_t(c)];
            }
            sets |= quint64(1) << set;
        }
        return sets;
    }

    // The outputs the reference serves within `limit` directly.
    unsigned directSet(const Limits& limit) const {
        unsigned set = 0;
        for (std::size_t k = 0; k < requested_.size(); ++k) {
            if (direct_[k] <= limit[k])
                set |= 1u << k;
        }
        return set;
    }

    // Whether some set of `sets1` with some of `sets2` and `direct` serve every requested output.
    bool covers(quint64 sets1, quint64 sets2, unsigned direct) const {
        const unsigned all = (1u << requested_.size()) - 1;
        quint64 closed = sets2;  // bit m: some set of sets2 holds m
        for (std::size_t k = 0; k < requested_.size(); ++k) {
            for (unsigned m = 0; m <= all; ++m) {
                if (!(m & (1u << k)) && (closed >> (m | (1u << k)) & 1))
                    closed |= quint64(1) << m;
            }
        }
        const unsigned need = all & ~direct;
        for (unsigned m = 0; m <= all; ++m) {
            if ((sets1 >> m & 1) && (closed >> (need & ~m) & 1))
                return true;
        }
        return false;
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
            if (!allows(code, n))
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
    // Settings in the order of their summed error: one can only be dominated by one before it,
    // and only by one that stays, so each is held against those that stay.
    void dropDominated(std::vector<BankSetting>& settings, std::size_t first) const {
        constexpr double NoRoute = 1e12;  // beyond every real error, for the order only
        const std::size_t count = requested_.size();
        const std::size_t end = settings.size();
        std::array<std::pair<double, std::size_t>, 2 * (ChipLimits::DividerNMax + 1)> order{};
        for (std::size_t a = first; a < end; ++a) {
            double sum = 0;
            for (std::size_t k = 0; k < count; ++k)
                sum += std::min(settings[a].error[k], NoRoute);
            order[a - first] = {sum, a};
        }
        std::sort(order.begin(), order.begin() + std::ptrdiff_t(end - first));
        std::array<std::size_t, 2 * (ChipLimits::DividerNMax + 1)> stays{};
        std::array<bool, 2 * (ChipLimits::DividerNMax + 1)> kept{};
        std::size_t stayCount = 0;
        for (std::size_t i = 0; i < end - first; ++i) {
            const BankSetting& x = settings[order[i].second];
            bool dominated = false;
            for (std::size_t j = 0; j < stayCount && !dominated; ++j) {
                const BankSetting& y = settings[stays[j]];
                bool noWorse = true;
                for (std::size_t k = 0; k < count && noWorse; ++k)
                    noWorse = y.error[k] <= x.error[k];
                dominated = noWorse;
            }
            if (!dominated) {
                stays[stayCount++] = order[i].second;
                kept[order[i].second - first] = true;
            }
        }
        std::size_t next = first;
        for (std::size_t a = first; a < end; ++a) {
            if (kept[a - first])
                settings[next++] = settings[a];
        }
        settings.resize(next);
    }

    // The DIVxN (as real numbers) that give slot k from `clock` within `limit` of its target.
    std::pair<double, double> window(std::size_t k, double clock, double limit) const {
        if (!(limit >= 0))
            return {1, 0};  // no DIVxN: nothing is within a limit below zero
        const double x = clock / target_[k];
        return {x / (1 + limit), limit < 1 ? x / (1 - limit) : double(ChipLimits::DividerNMax)};
    }

    bool allows(int code, int n) const { return allowed_[std::size_t(code)][std::size_t(n)]; }

    struct Kept {
        int output;
        int code;
    };
    // routeAllowsDividerN as a table, by code and DIVxN.
    std::array<std::array<bool, ChipLimits::DividerNMax + 1>, 8> allowed_{};
    std::array<int, 8> firstAllowed_{};      // the least DIVxN a code allows, 0: none
    std::array<int, 2> firstAllowedBoth_{};  // the least DIVxN both fixed routes of a bank allow
    const PlanRequest& request_;
    double reference_;
    std::vector<int> requested_;
    std::vector<Kept> kept_;
    std::array<double, OutputCount> target_{};
    std::array<double, OutputCount> maximum_{};
    std::array<double, OutputCount> direct_{};
    std::array<double, OutputCount> referenceBound_{};
    Limits anyPllBound_{};
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

// The best pair of bank settings for the lists; `needPll`: only pairs that draw on the PLL;
// `pllPairs`: also pairs that feed both banks from it. Returns true when a pair beats `best` (or
// equals it, with `takeEqual`), and puts it there.
bool bestPair(const Search& search, const std::vector<BankSetting>& bank1,
              const std::vector<BankSetting>& bank2, bool needPll, bool pllPairs, bool takeEqual,
              Best& best) {
    const std::size_t count = search.requestedCount();
    bool improved = false;
    // Each list holds its reference-fed settings first.
    const auto firstFromPll = [](const std::vector<BankSetting>& list) {
        std::size_t i = 0;
        while (i < list.size() && list[i].fromReference)
            ++i;
        return i;
    };
    const std::size_t pll2 = firstFromPll(bank2);
    // An output that neither the reference nor a bank-1 setting serves within the best worst error
    // must be served so by the bank-2 setting: the outputs each bank-2 setting serves so, as bits,
    // rule out most pairs before their errors are summed. The best only gets better meanwhile.
    const double entryLimit = best.found ? best.worst + Epsilon : Infinite;
    std::array<quint8, 2 * (ChipLimits::DividerNMax + 1)> serves{};
    for (std::size_t j = 0; j < bank2.size() && j < serves.size(); ++j) {
        for (std::size_t k = 0; k < count; ++k) {
            if (bank2[j].error[k] <= entryLimit)
                serves[j] |= quint8(1u << k);
        }
    }
    for (const BankSetting& a : bank1) {
        // The settings of bank 2 this one pairs with.
        const std::size_t from = needPll && a.fromReference ? pll2 : 0;
        const std::size_t to = !pllPairs && !a.fromReference ? pll2 : bank2.size();
        unsigned needed = 0;
        for (std::size_t k = 0; k < count; ++k) {
            if (search.direct(k) > entryLimit && a.error[k] > entryLimit)
                needed |= 1u << k;
        }
        for (std::size_t j = from; j < to; ++j) {
            if (j < serves.size() && (serves[j] & needed) != needed)
                continue;
            const BankSetting& b = bank2[j];
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

// Appends to `out` the reference-fed settings of `from` that may take part in a plan no worse
// than `best` with the other bank fed by the PLL, when output k cannot do better than
// `pllAlone[k]` from the reference itself or the PLL.
void keepPromising(const Search& search, const std::vector<BankSetting>& from,
                   const Limits& pllAlone, const Best& best, std::vector<BankSetting>& out) {
    const std::size_t count = search.requestedCount();
    for (const BankSetting& c : from) {
        double worst = 0;
        double sum = 0;
        for (std::size_t k = 0; k < count; ++k) {
            const double e = std::min(c.error[k], pllAlone[k]);
            worst = std::max(worst, e);
            sum += e;
        }
        if (!best.found || best.compare(worst, sum) <= 0)
            out.push_back(c);
    }
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

PlanRequest withUnnamedHeld(const PlanRequest& request) {
    PlanRequest r = request;
    if (r.disableUnused)
        return r;
    std::optional<double> tolerance;
    for (const PlanTarget& t : r.targets) {
        if (t.requested && t.tolerancePpm)
            tolerance = tolerance ? std::min(*tolerance, *t.tolerancePpm) : *t.tolerancePpm;
    }
    const FrequencyReadout now = readFrequencies(r.current, r.referenceHz, NormalPllRange);
    const quint32 word = Field::matrixWord(r.current);
    for (int i = 0; i < OutputCount; ++i) {
        PlanTarget& t = r.targets[std::size_t(i)];
        const double hz = now.outputs[std::size_t(i)];
        if (t.requested || !(Field::outputEnables(r.current) & (1 << i)) ||
            Field::crosspointCode(word, i) > 6 || !std::isfinite(hz) ||
            hz < ChipLimits::OutputMinHz || hz > outputMaximumHz(i, r.board))
            continue;
        t = PlanTarget{true, hz, tolerance, true};
    }
    return r;
}

QString planRequestProblem(const PlanRequest& request) {
    const PlanRequest r = request.holdUnnamed ? withUnnamedHeld(request) : request;
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
            if (r.holdUnnamed)
                return QStringLiteral(
                           "%1 is enabled at %2, which it cannot give under any plan; plan it "
                           "or disable the unused outputs")
                    .arg(name, hzText(readFrequencies(r.current, r.referenceHz, NormalPllRange)
                                          .outputs[std::size_t(i)]));
            continue;
        }
        any = any || !t.held;
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
    plan.drivenReference = r.board.reference == ReferenceKind::DrivenClock;
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
        out.held = t.held;
        plan.toleranceGiven = plan.toleranceGiven || t.tolerancePpm.has_value();
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

Plan planOutputs(const PlanRequest& request) {
    Plan failed;
    failed.problem = planRequestProblem(request);
    if (!failed.problem.isEmpty())
        return failed;
    const PlanRequest r = request.holdUnnamed ? withUnnamedHeld(request) : request;
    const Search search(r);
    const double reference = r.referenceHz;
    Best best;

    // Without the PLL: both banks fed by the reference.
    Limits unlimited;
    unlimited.fill(Infinite);
    std::vector<BankSetting> reference1;
    std::vector<BankSetting> reference2;
    search.candidates(Bank1, true, reference, unlimited, reference1);
    search.candidates(Bank2, true, reference, unlimited, reference2);
    bestPair(search, reference1, reference2, false, false, false, best);

    const HzRange vco = vcoRange(r.board.grade);
    const PlanSearchRange& range = r.search;
    const qint64 wholeReference = qint64(reference);
    const int qLast =
        std::min(range.qMax, int(std::floor(reference / ChipLimits::ComparisonMinHz)));
    long long examined = 0;
    std::pair<double, double> listsFor{-1, -1};  // the best (worst, sum) the lists were made for
    quint64 referenceSets1 = 0;
    quint64 referenceSets2 = 0;
    unsigned directSet = 0;
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
            Limits limit = unlimited;
            bool pllPairs = true;
            Limits pllPairLeast{};
            if (best.found) {
                Limits least{};
                search.bound(pll, least, pllPairLeast);
                const auto worse = [&](const Limits& bound) {
                    double worst = 0;
                    double sum = 0;
                    for (std::size_t k = 0; k < search.requestedCount(); ++k) {
                        worst = std::max(worst, bound[k]);
                        sum += bound[k];
                    }
                    return best.compare(worst, sum) > 0;
                };
                if (worse(least))
                    continue;
                pllPairs = !worse(pllPairLeast);
                limit = search.limits(best.worst, best.sum, least);
            }
            if (listsFor != std::make_pair(best.worst, best.sum)) {
                // The reference-fed settings depend on the best plan only.
                const Limits anyPll =
                    best.found ? search.limits(best.worst, best.sum, search.boundOverEveryPll())
                               : unlimited;
                reference1.clear();
                reference2.clear();
                search.candidates(Bank1, true, reference, anyPll, reference1);
                search.candidates(Bank2, true, reference, anyPll, reference2);
                referenceSets1 = search.coverSets(Bank1, reference, anyPll);
                referenceSets2 = search.coverSets(Bank2, reference, anyPll);
                directSet = search.directSet(anyPll);
                listsFor = {best.worst, best.sum};
            }
            // With one bank fed by the reference and the other by this PLL, each output does no
            // better than that reference-fed setting or its own bound on the PLL: the
            // reference-fed settings that cannot make a plan no worse than the best are left out.
            list1.clear();
            list2.clear();
            keepPromising(search, reference1, pllPairLeast, best, list1);
            keepPromising(search, reference2, pllPairLeast, best, list2);
            const std::size_t fromReference1 = list1.size();
            const std::size_t fromReference2 = list2.size();
            if (!pllPairs && fromReference1 + fromReference2 == 0)
                continue;
            // Two banks and the reference cannot serve every output within its limit: this PLL
            // has nothing better.
            if (!search.covers(referenceSets1 | search.coverSets(Bank1, pll, limit),
                               referenceSets2 | search.coverSets(Bank2, pll, limit), directSet))
                continue;
            // The reference-fed settings, then this PLL's; a bank's PLL-fed settings are needed
            // only with a partner in the other bank. Without pairs of PLL-fed settings, each is
            // paired with the reference-fed ones only, and bestPair rules most of those pairs out
            // by the outputs each serves: thinning them would cost more than it saves, even with
            // dozens of reference-fed settings.
            const bool thin = pllPairs;
            if (pllPairs || fromReference2 > 0)
                search.candidates(Bank1, false, pll, limit, list1, thin);
            if (pllPairs || fromReference1 > 0)
                search.candidates(Bank2, false, pll, limit, list2, thin);

            Best here = best;
            // Equal errors: a plan without the PLL stays; among PLL plans the higher frequency,
            // then the lower Q.
            const bool higher = here.pll && (qint64(p) * here.q > qint64(here.p) * q);
            const bool takeEqual = best.found && best.pll && higher;
            if (!bestPair(search, list1, list2, true, pllPairs, takeEqual, here))
                continue;
            here.pll = true;
            here.p = p;
            here.q = q;
            best = here;
        }
    }
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
    if (plan.drivenReference)
        Field::setCapLoad(image, 0);
    setFixedBits(image);
}
