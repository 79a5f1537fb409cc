// SPDX-License-Identifier: MIT
#pragma once

#include "frequency/solver.h"
#include "registers/registerimage.h"

#include <QString>

#include <functional>

// Called when a solution routes output 0 (LCLK1) or 1 (LCLK2) through a divider: the front end
// gives that output the crosspoint `code`, which also puts it into the image.
using CrosspointRouter = std::function<void(int output, int code)>;

// Sets the charge-pump field for a total multiplier P, keeping every other bit of 0x40. Returns
// the warning to show, empty when there is none.
QString selectChargePump(RegisterImage& image, int pTotal);

// Searches for the record's targets and puts the result into the image, in the order the window
// has always done it: divider sources (a target below the PLL path comes from the reference
// through its own divider), DIV1N and the LCLK1 crosspoint, with F2 enabled DIV2N and the LCLK2
// crosspoint, then PB, PO and Q when a solution was found, and last the charge pump for the
// record's P. div1N and div2N, the copies that the frequency display divides by, take the chosen
// dividers before any crosspoint is selected. Returns the charge-pump warning, empty when there
// is none.
QString solveIntoImage(SolverRecord& record, RegisterImage& image, int& div1N, int& div2N,
                       bool f2Enabled, qint32 pllLowLimit, qint32 pllHighLimit,
                       const CrosspointRouter& route);
