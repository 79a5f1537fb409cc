#pragma once

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
