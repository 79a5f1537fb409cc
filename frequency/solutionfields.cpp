// SPDX-License-Identifier: MIT
#include "frequency/solutionfields.h"

int applyDivider1(RegisterImage& r, int divider1) {
    if (divider1 >= 4) {
        Field::setDiv1N(r, divider1 & 0x7F);
        return 1;  // "DIV1CLK/DIV1N"
    }
    if (divider1 == 2) {
        Field::setDiv1N(r, 4);
        return 2;  // "DIV1CLK/2"
    }
    if (divider1 == 3) {
        Field::setDiv1N(r, 6);
        return 3;  // "DIV1CLK/3"
    }
    Field::setDiv1N(r, 0);
    return KeepCrosspoint;
}

int applyDivider2(RegisterImage& r, int divider2) {
    if (divider2 >= 5) {
        Field::setDiv2N(r, divider2 & 0x7F);
        return 4;  // "DIV2CLK/DIV2N"
    }
    if (divider2 == 2) {
        Field::setDiv2N(r, 4);
        return 5;  // "DIV2CLK/2"
    }
    if (divider2 == 4) {
        Field::setDiv2N(r, 8);
        return 6;  // "DIV2CLK/4"
    }
    Field::setDiv2N(r, 0);
    return KeepCrosspoint;
}

void applyPllSettings(RegisterImage& r, int pTotal, int qTotal) {
    const int pb = (pTotal >> 1) - 4;
    Field::setPb(r, pb);  // 0x40 bits 1..0 and 0x41; pump and bits 7..5 of 0x40 stay
    Field::setPo(r, pTotal & 1);
    Field::setQCounter(r, (qTotal - 2) & 0x7F);
}
