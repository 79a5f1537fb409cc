// SPDX-License-Identifier: MIT
#pragma once

#include "registers/registerimage.h"

// How a solution goes into the register image. The divider writers return the crosspoint code
// to select for the output (LCLK1 or LCLK2), or KeepCrosspoint when the divider has no route.
constexpr int KeepCrosspoint = -1;

// DIV1N (0x0C bits 6..0, DIV1SRC kept): dividers from 4 up are DIV1N itself (code 1); 2 and 3
// use the fixed /2 and /3 (codes 2, 3) and park DIV1N at 4 and 6; anything else clears DIV1N.
int applyDivider1(RegisterImage& r, int divider1);
// DIV2N (0x47 bits 6..0, DIV2SRC kept): from 5 up DIV2N itself (code 4); 2 and 4 use the fixed
// /2 and /4 (codes 5, 6) with DIV2N 4 and 8; anything else clears DIV2N.
int applyDivider2(RegisterImage& r, int divider2);
// PB, PO and the Q counter for a total multiplier (8..2055) and reference divider (2..129).
void applyPllSettings(RegisterImage& r, int pTotal, int qTotal);
