// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtGlobal>

// The solver's inputs and results, one record for the process.
struct SolverRecord {
    double refFrequency = 0;
    double targetF1 = 0;
    double targetF2 = 0;
    double bestError = 0;  // -1 when the last search found no candidate
    qint32 pTotal = 0;     // 2 * (PB + 4) + PO
    qint32 qTotal = 0;     // Q counter + 2
    qint32 divider1 = 0;
    qint32 divider2 = 0;
    qint32 f1Preferred = 0;
    qint32 f2Preferred = 0;
    qint32 iterations = 0;
};

// A target frequency typed by the user: the trimmed text as a number. Anything that is not a
// positive, finite frequency (no number, 0, negative, inf, nan) is unreadable: ok is false and
// the value 0.
double readTarget(const QString& text, bool* ok);

// The exhaustive walk over the reference divider Q and the multiplier P for the record's targets,
// within the PLL range [pllLowLimit, pllHighLimit]. Returns the record with bestError (-1 when no
// candidate was found), iterations and, for an accepted candidate, pTotal, qTotal, divider1 and,
// while F2 is enabled, divider2; the other fields, the targets included, come back unchanged.
SolverRecord searchDividers(SolverRecord record, bool f2Enabled, qint32 pllLowLimit,
                            qint32 pllHighLimit);

// True when a target is made from the reference rather than the PLL.
bool takenFromReference(double target, qint32 pllLowLimit);

// The divider that brings the reference closest to the target, rounded half up and limited to
// 0..127. The quotient is limited before it becomes an integer, so even an absurd one (a tiny
// target, a reference that is not a number) converts safely.
qint32 referenceDivider(double refFrequency, double target);
