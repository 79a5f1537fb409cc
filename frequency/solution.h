#pragma once

#include "frequency/frequencymodel.h"
#include "frequency/solver.h"
#include "registers/registerimage.h"

#include <QString>

// The window's solve as one step on a register image: the divider search, then the divider
// sources, the dividers, the LCLK1/LCLK2 crosspoints, the PLL and the charge pump.

struct SolveInputs {
    SolverRecord record;  // reference, targets, preferences; divider2 is used while F2 is off
    bool f2Enabled = false;
    PllRange range = NormalPllRange;
};

struct AppliedSolve {
    SolverRecord record;  // as the search and the reference dividers left it
    bool div1FromReference = false;
    bool div2Changed = false;  // F2 enabled: DIV2 source and divider were set
    bool div2FromReference = false;
    int crosspoint1 = -1;         // code given to LCLK1, or KeepCrosspoint
    int crosspoint2 = -1;         // code given to LCLK2, or KeepCrosspoint
    ChargePumpChoice chargePump;  // pump set and its warning
    bool found() const { return record.bestError >= 0; }
};

// Sets the crosspoint code of one output (0 = LCLK1) in the image, the others kept.
void setCrosspoint(RegisterImage& image, int output, int code);

// Solves as the window does on a change of a target and puts the result into `image` in the
// window's order. With F2 disabled the caller passes the current DIV2N as record.divider2 and
// targetF2 = targetF1.
AppliedSolve solveIntoImage(const SolveInputs& inputs, RegisterImage& image);
