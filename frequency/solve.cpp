// SPDX-License-Identifier: MIT
#include "frequency/solve.h"

#include "frequency/frequencymodel.h"
#include "frequency/solutionfields.h"

QString selectChargePump(RegisterImage& image, int pTotal) {
    Field::setChargePump(image, 0);
    const ChargePumpChoice choice = chargePumpFor(pTotal);
    Field::setChargePump(image, choice.pump);
    return choice.message;
}

QString solveIntoImage(SolverRecord& record, RegisterImage& image, int& div1N, int& div2N,
                       bool f2Enabled, qint32 pllLowLimit, qint32 pllHighLimit,
                       const CrosspointRouter& route) {
    record = searchDividers(record, f2Enabled, pllLowLimit, pllHighLimit);

    const bool f1FromReference = takenFromReference(record.targetF1, pllLowLimit);
    Field::setDiv1FromReference(image, f1FromReference);
    if (f1FromReference)
        record.divider1 = referenceDivider(record.refFrequency, record.targetF1);
    div1N = record.divider1;
    if (f2Enabled) {
        const bool f2FromReference = takenFromReference(record.targetF2, pllLowLimit);
        Field::setDiv2FromReference(image, f2FromReference);
        if (f2FromReference)
            record.divider2 = referenceDivider(record.refFrequency, record.targetF2);
        div2N = record.divider2;
    }

    const int code1 = applyDivider1(image, record.divider1);
    if (code1 != KeepCrosspoint)
        route(0, code1);
    if (f2Enabled) {
        const int code2 = applyDivider2(image, record.divider2);
        if (code2 != KeepCrosspoint)
            route(1, code2);
    }
    if (record.bestError >= 0)  // no solution: the PLL stays as it is
        applyPllSettings(image, record.pTotal, record.qTotal);

    return selectChargePump(image, record.pTotal);
}
