// SPDX-License-Identifier: MIT
#pragma once

#include "frequency/chiprules.h"
#include "registers/registerimage.h"

#include <QString>

#include <array>
#include <optional>

// The planner: the provably best setting of the whole chip for targets on any of its six outputs.
// It searches every setting that breaks none of the chip's rules (chiprules.h): every PLL setting
// (P, Q) within the grade's range, both divider banks' source (reference or PLL) and DIVxN, and
// every route (crosspoint code 0..6) of every requested output with that route's DIVxN rule.
//
// The objective, in this order: the least worst relative error over the requested outputs; the
// least sum of their relative errors; a plan that needs no PLL (every output served by the
// reference, directly or through a bank fed by it); the highest PLL frequency; the lowest Q; then
// the first setting in a fixed order, so that the same request always gives the same plan.
//
// Outputs that are not requested keep their crosspoint codes and enable bits (with disableUnused
// their enable bits are cleared instead). With holdUnnamed, as the front ends plan, an enabled
// one is held at the frequency it gives now: a target like the requested ones, marked held.
// Without it, an enabled one keeps its route, constrains the bank it draws on (its route's DIVxN
// rule, its frequency within the output range), and gets the frequency that the planned banks
// give it. Requested outputs are enabled.
//
// A plan also sets what the chip wants beside the frequencies: CAPLOAD 0 for a driven reference
// (a crystal keeps the image's CAPLOAD), and the bits the register map fixes (FixedBits).
//
// A bank that no enabled output draws on keeps the image's source and DIVxN. When no enabled
// output draws on the PLL, the PLL rules do not apply and the plan keeps the image's P, Q and
// charge pump (pllUsed is false); nothing is changed that the plan does not need.

// One output's part of a request.
struct PlanTarget {
    bool requested = false;
    double hz = 0;                       // the target, a positive finite frequency
    std::optional<double> tolerancePpm;  // the largest error accepted, in ppm; empty: any
    bool held = false;                   // an output nobody named, held at its present frequency
};

// The P and Q range the search walks; the chip's own unless a test narrows it.
struct PlanSearchRange {
    int pMin = ChipLimits::PTotalMin;
    int pMax = ChipLimits::PTotalMax;
    int qMin = ChipLimits::QTotalMin;
    int qMax = ChipLimits::QTotalMax;
};

struct PlanRequest {
    double referenceHz = 0;  // whole hertz, within the board's reference range
    BoardFacts board;
    std::array<PlanTarget, OutputCount> targets;  // LCLK1 first
    bool disableUnused = false;
    bool holdUnnamed = false;  // enabled outputs not requested are held (see above)
    RegisterImage current;     // what is not planned comes from here
    PlanSearchRange search;
};

// A divider bank as the plan sets it.
struct PlannedBank {
    bool used = false;  // an enabled output draws on it; else source and DIVxN are the image's
    bool fromReference = true;
    int n = 0;  // DIVxN
};

struct PlannedOutput {
    bool requested = false;  // a target of the search: named, or held
    bool held = false;       // not named, held at the frequency it gave before
    bool enabled = false;
    int route = 0;        // crosspoint code
    double targetHz = 0;  // requested and held outputs only
    double hz = 0;        // what the output gives under the plan
    double errorHz = 0;   // hz - target, requested outputs only
    double errorPpm = 0;  // (hz - target) / target * 1e6
    bool withinTolerance = true;
};

struct Plan {
    bool found = false;  // false: the request cannot be planned; `problem` says why
    QString problem;

    bool pllUsed = false;  // false: P, Q and the pump are the image's, kept as they are
    int pTotal = 0;        // P = 2 * (PB + 4) + PO
    int pb = 0;
    bool po = false;
    int qTotal = 0;  // Q = Q counter + 2
    int qCounter = 0;
    int chargePump = 0;
    double pllHz = 0;  // reference * P / Q (also when the PLL is not used)

    PlannedBank div1;
    PlannedBank div2;
    std::array<PlannedOutput, OutputCount> outputs;
    int enables = 0;  // the output enable bits the plan sets, bit 0 = LCLK1

    double worstErrorPpm = 0;  // the largest |error| over the requested outputs
    double worstErrorHz = 0;   // the error (signed, Hz) of that output
    int worstOutput = -1;
    double sumErrorPpm = 0;  // the sum of |error| over the requested outputs
    bool withinTolerance = false;
    bool toleranceGiven =
        false;  // some target has a tolerance; else withinTolerance claims nothing
    bool drivenReference = false;       // CAPLOAD goes to 0
    long long pllSettingsExamined = 0;  // distinct PLL settings the search looked at
};

// Why a request cannot be planned (a reference outside the board's range or not whole hertz, no
// output requested, a target that is not a positive finite number or lies outside what its output
// can give, an enabled output that is not requested with a route no setting can serve); empty
// when it can.
QString planRequestProblem(const PlanRequest& request);

Plan planOutputs(const PlanRequest& request);

// The request with each enabled output it does not name held at the frequency it gives now (a
// requested, held target with the others' tolerance); unchanged with disableUnused. An output
// whose present frequency no plan can give stays as it is, for planRequestProblem to name.
PlanRequest withUnnamedHeld(const PlanRequest& request);

// Puts the plan into the image: PB, PO, Q and the pump (when the PLL is used), the used banks'
// source and DIVxN, every output's crosspoint code and the enable bits, CAPLOAD 0 for a driven
// reference and the fixed bits. Everything else is kept.
void applyPlan(const Plan& plan, RegisterImage& image);
