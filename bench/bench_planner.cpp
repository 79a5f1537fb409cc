// SPDX-License-Identifier: MIT
// Times the planner on the requests that make it work hardest, and on typical ones: the wall
// time of a plan (median and slowest of five) and the CPU time of the median one. Then, unless
// --no-search is given, a seeded adversarial search looks for slower requests: random ones first,
// then hill-climbing on the slowest; it prints the slowest it found with their commands and their
// CPU time as a ratio to the listed slowest, measured in the same run.
//
// The PLL settings it walks grow with the Q that keep the comparison frequency at 250 kHz or
// more and with the P span of the grade's range: most at a crystal near 30 MHz on a commercial
// part. What each setting costs grows with the worst error of the best plan, since a bank setting
// counts while it serves an output within that error: six unrelated targets that no PLL serves
// well at once cost most, and so do targets that crowd the same divider bank.
//
//   bench_planner [--no-search] [--seed N] [--random N] [--climb N] [--keep N]
//   bench_planner [--seed N] --plans COUNT   (one line per plan, to compare two builds)
//   bench_planner --case I                  (plans listed case I once, for a profiler)

#include "benchmeasure.h"
#include "frequency/planner.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {
struct Case {
    std::string name;
    double reference;
    std::vector<std::pair<int, double>> targets;
    BoardFacts board;
};

const BoardFacts Driven{PartGrade::Commercial, LclkSupply::V3_3, ReferenceKind::DrivenClock};

PlanRequest requestOf(const Case& c) {
    PlanRequest request;
    request.referenceHz = c.reference;
    request.board = c.board;
    request.current.applyStartupDefaults();
    for (const auto& [output, hz] : c.targets)
        request.targets[std::size_t(output)] = {true, hz, std::nullopt};
    return request;
}

// The least CPU time of `rounds` plans of the case, in ms.
double leastCpuMs(const PlanRequest& request, int rounds) {
    double least = INFINITY;
    for (int round = 0; round < rounds; ++round) {
        const bench::Stopwatch watch;
        const Plan plan = planOutputs(request);
        least = std::min(least, watch.cpu() * 1e3);
        if (!plan.found)
            return 0;
    }
    return least;
}

// The command line that makes the same request.
std::string commandOf(const Case& c) {
    std::string command = "plan --ref " + std::to_string(qint64(c.reference));
    if (c.board.reference == ReferenceKind::DrivenClock)
        command += " --driven";
    if (c.board.grade == PartGrade::Industrial)
        command += " --grade industrial";
    if (c.board.supply == LclkSupply::V2_5)
        command += " --supply 2.5";
    for (const auto& [output, hz] : c.targets)
        command += " " + std::string(OutputNames[std::size_t(output)]) + "=" +
                   QString::number(hz, 'f', 3).toStdString();
    return command;
}

void run(const Case& c) {
    const PlanRequest request = requestOf(c);
    constexpr int Rounds = 5;
    std::vector<double> wallMs;
    std::vector<double> cpuMs;
    Plan plan;
    for (int round = 0; round < Rounds; ++round) {
        const bench::Stopwatch watch;
        plan = planOutputs(request);
        wallMs.push_back(watch.wall() * 1e3);
        cpuMs.push_back(watch.cpu() * 1e3);
    }
    std::sort(wallMs.begin(), wallMs.end());
    std::sort(cpuMs.begin(), cpuMs.end());
    std::printf(
        "%-62s settings %6lld  worst %10.3f ppm  wall %7.1f ms (slowest %7.1f)  CPU %7.1f "
        "ms\n",
        c.name.c_str(), plan.pllSettingsExamined, plan.worstErrorPpm, wallMs[wallMs.size() / 2],
        wallMs.back(), cpuMs[cpuMs.size() / 2]);
}

// What the adversarial search looks at: six targets, crystal and driven references, both grades
// and supplies, up to three targets far below what the PLL reaches through DIVxN 127.
struct SearchSettings {
    unsigned seed = 20261207;
    int randomRequests = 120;
    int climbSteps = 20;
    int keep = 6;  // the slowest random requests that are climbed on, and printed
};

double logUniform(std::mt19937& random, double low, double high) {
    std::uniform_real_distribution<double> d(std::log(low), std::log(high));
    return std::exp(d(random));
}

double maximumOf(int output, const BoardFacts& board) {
    return outputMaximumHz(output, board);
}

Case randomCase(std::mt19937& random) {
    Case c;
    c.name = "found";
    const bool driven = random() % 3 == 0;
    c.board.reference = driven ? ReferenceKind::DrivenClock : ReferenceKind::Crystal;
    c.board.grade = random() % 3 == 0 ? PartGrade::Industrial : PartGrade::Commercial;
    c.board.supply = random() % 3 == 0 ? LclkSupply::V2_5 : LclkSupply::V3_3;
    const HzRange references = referenceRange(c.board.reference);
    // The most PLL settings come with the fastest references: favour the top of the range, and
    // the round figures boards use.
    const double round[] = {30e6, 27e6, 25e6, 20e6, 133e6, 100e6, 50e6};
    const double pick = round[random() % std::size(round)];
    switch (random() % 3) {
        case 0:
            c.reference = references.contains(pick) ? pick : references.high;
            break;
        case 1:
            c.reference = references.high - double(random() % 4000000);
            break;
        default:
            c.reference = std::round(logUniform(random, references.low, references.high));
    }
    c.reference = std::clamp(c.reference, references.low, references.high);
    const int low = int(random() % 4);  // none to three far below
    std::vector<double> hz;
    for (int k = 0; k < OutputCount; ++k)
        hz.push_back(k < low ? logUniform(random, 80e3, 700e3)
                             : logUniform(random, 80e3, ChipLimits::OutputMaxHz));
    std::shuffle(hz.begin(), hz.end(), random);
    for (int output = 0; output < OutputCount; ++output)
        c.targets.push_back(
            {output, std::min(hz[std::size_t(output)], maximumOf(output, c.board))});
    return c;
}

// A neighbour: one target moved by a few per cent, or the reference by a little.
Case mutated(const Case& c, std::mt19937& random) {
    Case next = c;
    std::normal_distribution<double> step(0, 0.03);
    if (random() % 5 == 0) {
        const HzRange references = referenceRange(c.board.reference);
        next.reference = std::clamp(std::round(c.reference * std::exp(step(random) * 0.1)),
                                    references.low, references.high);
    } else {
        auto& [output, hz] = next.targets[random() % next.targets.size()];
        hz = std::clamp(hz * std::exp(step(random)), 80e3, maximumOf(output, c.board));
    }
    return next;
}

struct Found {
    Case c;
    double ms;
};

void search(const SearchSettings& settings, const Case& listed) {
    const bench::Stopwatch total;
    const PlanRequest listedRequest = requestOf(listed);
    const double listedBefore = leastCpuMs(listedRequest, 3);
    std::mt19937 random(settings.seed);
    std::vector<Found> found;
    for (int i = 0; i < settings.randomRequests; ++i) {
        const Case c = randomCase(random);
        found.push_back({c, leastCpuMs(requestOf(c), 1)});
    }
    std::sort(found.begin(), found.end(),
              [](const Found& a, const Found& b) { return a.ms > b.ms; });
    found.resize(std::min<std::size_t>(found.size(), std::size_t(settings.keep)));
    for (Found& f : found) {
        for (int step = 0; step < settings.climbSteps; ++step) {
            const Case next = mutated(f.c, random);
            const double ms = leastCpuMs(requestOf(next), 1);
            if (ms > f.ms)
                f = {next, ms};
        }
    }
    // Measured again, taking turns with the listed slowest so that load moves both alike.
    double listedMs = listedBefore;
    for (Found& f : found) {
        f.ms = leastCpuMs(requestOf(f.c), 3);
        listedMs = std::min(listedMs, leastCpuMs(listedRequest, 1));
    }
    std::sort(found.begin(), found.end(),
              [](const Found& a, const Found& b) { return a.ms > b.ms; });
    std::printf(
        "\nadversarial search: seed %u, %d random requests, %d climbing steps on the %d "
        "slowest, %.0f s CPU\n",
        settings.seed, settings.randomRequests, settings.climbSteps, settings.keep, total.cpu());
    std::printf("listed slowest: %.1f ms CPU (least of its runs)\n", listedMs);
    for (const Found& f : found)
        std::printf("%7.1f ms CPU  %5.2fx  %s\n", f.ms, f.ms / listedMs, commandOf(f.c).c_str());
}

// One line per plan for `count` seeded random requests, so that two builds of the planner can be
// compared plan by plan (diff their outputs): a change to the search must not change a plan.
void printPlans(unsigned seed, int count) {
    std::mt19937 random(seed);
    for (int i = 0; i < count; ++i) {
        Case c = randomCase(random);
        c.targets.resize(1 + random() % OutputCount);
        const Plan plan = planOutputs(requestOf(c));
        std::printf("%s => ", commandOf(c).c_str());
        if (!plan.found) {
            std::printf("%s\n", qPrintable(plan.problem));
            continue;
        }
        std::printf("pll %d P %d Q %d DIV1 %d %d %d DIV2 %d %d %d routes", plan.pllUsed,
                    plan.pTotal, plan.qTotal, plan.div1.used, plan.div1.fromReference, plan.div1.n,
                    plan.div2.used, plan.div2.fromReference, plan.div2.n);
        for (const PlannedOutput& out : plan.outputs)
            std::printf(" %d", out.route);
        std::printf(" worst %.9g sum %.9g\n", plan.worstErrorPpm, plan.sumErrorPpm);
    }
}

int intArgument(int argc, char** argv, int& i) {
    if (i + 1 >= argc) {
        std::fprintf(stderr, "%s needs a number\n", argv[i]);
        std::exit(2);
    }
    return std::atoi(argv[++i]);
}
}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each line as it comes, also into a file
    SearchSettings settings;
    bool searching = true;
    int only = -1;  // --case I: plan case I once, for a profiler
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-search") == 0)
            searching = false;
        else if (std::strcmp(argv[i], "--seed") == 0)
            settings.seed = unsigned(intArgument(argc, argv, i));
        else if (std::strcmp(argv[i], "--random") == 0)
            settings.randomRequests = intArgument(argc, argv, i);
        else if (std::strcmp(argv[i], "--climb") == 0)
            settings.climbSteps = intArgument(argc, argv, i);
        else if (std::strcmp(argv[i], "--keep") == 0)
            settings.keep = std::max(1, intArgument(argc, argv, i));
        else if (std::strcmp(argv[i], "--case") == 0)
            only = intArgument(argc, argv, i);
        else if (std::strcmp(argv[i], "--plans") == 0) {
            const int count = intArgument(argc, argv, i);
            printPlans(settings.seed, count);
            return 0;
        } else {
            std::fprintf(stderr,
                         "usage: bench_planner [--no-search] [--seed N] [--random N] [--climb N] "
                         "[--keep N] [--plans COUNT] [--case I]\n");
            return 2;
        }
    }
    const std::vector<Case> cases = {
        // The slowest found: random searches over some 700 requests (references 1..133 MHz, both
        // grades and supplies, three to six targets spread, crowded or below what the PLL
        // reaches, an output kept on its route) found none slower.
        {"slowest: 30 MHz crystal, six targets, two far below the PLL's reach",
         30e6,
         {{0, 313130}, {1, 51847076}, {2, 8932550}, {3, 3194904}, {4, 100346}, {5, 13870525}},
         {}},
        {"slowest: 27 MHz crystal, six targets, two below the PLL's reach",
         27e6,
         {{0, 3100920}, {1, 118008110}, {2, 120820}, {3, 9574645}, {4, 136250343}, {5, 575089}},
         {}},
        {"slowest: 20 MHz crystal, six crowded targets",
         20e6,
         {{0, 5018303}, {1, 3972942}, {2, 4519097}, {3, 4226622}, {4, 3568305}, {5, 5114063}},
         {}},
        // Found by adversarial searches (random requests, then hill-climbing on the slowest).
        {"found: 30 MHz crystal, six targets, three far below the PLL's reach",
         30e6,
         {{0, 2007939.769},
          {1, 5225605.558},
          {2, 259467.963},
          {3, 3164520.019},
          {4, 10024604.864},
          {5, 398549.617}},
         {}},
        {"found: 29.145693 MHz crystal, six targets, two far below the PLL's reach",
         29145693,
         {{0, 914213.521},
          {1, 211386.980},
          {2, 24637167.994},
          {3, 3333697.015},
          {4, 4418880.615},
          {5, 95647.717}},
         {}},
        {"found: 27.87512 MHz crystal, six targets, two far below the PLL's reach",
         27875120,
         {{0, 414082.155},
          {1, 2579590.554},
          {2, 5383318.267},
          {3, 176021196.732},
          {4, 93703.061},
          {5, 7303559.520}},
         {}},
        {"found: 30 MHz driven clock, six targets, three far below the PLL's reach",
         30e6,
         {{0, 3796166.300},
          {1, 600999.722},
          {2, 2398718.233},
          {3, 1731277.156},
          {4, 138586.995},
          {5, 88827.659}},
         Driven},
        {"29.4912 MHz crystal, six crowded targets",
         29491200,
         {{0, 10e6}, {1, 10.5e6}, {2, 11e6}, {3, 11.5e6}, {4, 12e6}, {5, 12.5e6}},
         {}},
        {"30 MHz crystal, six unrelated targets",
         30e6,
         {{0, 25e6}, {1, 33.333e6}, {2, 48e6}, {3, 14.31818e6}, {4, 27e6}, {5, 12.288e6}},
         {}},
        {"133 MHz driven clock, six unrelated targets",
         133e6,
         {{0, 25e6}, {1, 33.333e6}, {2, 48e6}, {3, 14.31818e6}, {4, 27e6}, {5, 12.288e6}},
         Driven},
        {"25 MHz crystal, three targets two banks cannot serve",
         25e6,
         {{0, 33.333e6}, {2, 48e6}, {3, 14.31818e6}},
         {}},
        {"typical: 25 MHz crystal, 100 + 33.333 + 25 + 12.5 MHz",
         25e6,
         {{0, 100e6}, {1, 33.333e6}, {4, 25e6}, {5, 12.5e6}},
         {}},
        {"typical: 27 MHz crystal, 74.25 MHz", 27e6, {{0, 74.25e6}}, {}},
        {"typical: 10 MHz crystal, 25 MHz + 20 MHz (exact)", 10e6, {{0, 25e6}, {1, 20e6}}, {}},
        {"typical: 14.31818 MHz crystal, 48 + 12 + 3.6864 MHz",
         14318180,
         {{0, 48e6}, {1, 12e6}, {5, 3.6864e6}},
         {}},
    };
    if (only >= 0) {
        const Plan plan = planOutputs(requestOf(cases.at(std::size_t(only))));
        std::printf("%s: %lld PLL settings, worst %.3f ppm\n",
                    cases[std::size_t(only)].name.c_str(), plan.pllSettingsExamined,
                    plan.worstErrorPpm);
        return 0;
    }
    for (const Case& c : cases)
        run(c);
    if (searching)
        search(settings, cases.front());
    return 0;
}
