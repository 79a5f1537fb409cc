// SPDX-License-Identifier: MIT
#pragma once

#include "frequency/planner.h"

#include <QString>
#include <QStringList>

#include <array>
#include <optional>

struct Session;

// What the "Plan outputs" dialog reads and shows, without its widgets: the request built from
// the typed fields and the window's session, and the texts of the plan's table and lines.

// The dialog's fields as the user left them.
struct PlanInput {
    std::array<bool, OutputCount> checked{};     // LCLK1 first
    std::array<QString, OutputCount> targets{};  // hertz, or with a k or M suffix
    QString tolerancePpm;                        // empty: any error is accepted
    bool disableUnused = false;
    BoardFacts board;
};

// A request, or the "Error: " line that says why the fields make none.
struct PlanRequestOrError {
    std::optional<PlanRequest> request;
    QString error;
};

// The request for the fields: the reference and the register image come from the session (what
// the window shows), the targets of the checked outputs and the tolerance from the fields. A
// checked output without a readable target, no checked output, a tolerance that is not a number
// of ppm from 0 up, or a request the planner refuses (planRequestProblem) give an error.
PlanRequestOrError buildPlanRequest(const PlanInput& input, const Session& s);

// One row of the plan's table, one per output, LCLK1 first.
struct PlanRowTexts {
    QString output;    // "LCLK1"
    QString target;    // "25 MHz", "100 MHz (held)" for one held; "-" for one not planned
    QString achieved;  // what the output gives; "off" for a disabled one
    QString errorHz;   // "+0.125 Hz", signed; empty for an output that is not planned
    QString errorPpm;  // "+0.005 ppm"
    QString route;     // "DIV1CLK/DIV1N (PLL, DIV1N 8)"; "off" for a disabled output
    bool missesTolerance = false;
};
std::array<PlanRowTexts, OutputCount> planRows(const Plan& plan);

// "PLL: 400 MHz, P 400 (PB 196, PO 0), Q 10, pump 1", or that the PLL is not used and keeps
// its settings.
QString pllText(const Plan& plan);
// "DIV1: PLL / 8; DIV2: reference / 4", each bank "not used" when no enabled output draws on it.
QString banksText(const Plan& plan);
// "Worst error 0.123 ppm on LCLK3, within the tolerance; 4321 PLL settings examined.", or that
// the plan misses the tolerance; without a tolerance "Worst error 0.123 ppm on LCLK3; 4321 PLL
// settings examined."
QString summaryText(const Plan& plan);
