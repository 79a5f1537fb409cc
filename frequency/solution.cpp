#include "frequency/solution.h"

#include "frequency/solutionfields.h"

void setCrosspoint(RegisterImage& image, int output, int code) {
    std::array<int, OutputCount> codes{};
    const quint32 word = Field::matrixWord(image);
    for (int i = 0; i < OutputCount; ++i)
        codes[std::size_t(i)] = Field::crosspointCode(word, i);
    codes[std::size_t(output)] = code;
    Field::setMatrixWord(image, Field::packCrosspointCodes(codes));
}

AppliedSolve solveIntoImage(const SolveInputs& inputs, RegisterImage& image) {
    AppliedSolve applied;
    SolverRecord& record = applied.record;
    record = searchDividers(inputs.record, inputs.f2Enabled, inputs.range.low, inputs.range.high);

    // A target below the PLL path comes from the reference through its divider.
    applied.div1FromReference = takenFromReference(record.targetF1, inputs.range.low);
    Field::setDiv1FromReference(image, applied.div1FromReference);
    if (applied.div1FromReference)
        record.divider1 = referenceDivider(record.refFrequency, record.targetF1);
    if (inputs.f2Enabled) {
        applied.div2Changed = true;
        applied.div2FromReference = takenFromReference(record.targetF2, inputs.range.low);
        Field::setDiv2FromReference(image, applied.div2FromReference);
        if (applied.div2FromReference)
            record.divider2 = referenceDivider(record.refFrequency, record.targetF2);
    }

    applied.crosspoint1 = applyDivider1(image, record.divider1);
    if (applied.crosspoint1 != KeepCrosspoint)
        setCrosspoint(image, 0, applied.crosspoint1);
    applied.crosspoint2 = KeepCrosspoint;
    if (inputs.f2Enabled) {
        applied.crosspoint2 = applyDivider2(image, record.divider2);
        if (applied.crosspoint2 != KeepCrosspoint)
            setCrosspoint(image, 1, applied.crosspoint2);
    }
    if (record.bestError >= 0)
        applyPllSettings(image, record.pTotal, record.qTotal);  // no solution: the PLL stays

    applied.chargePump = chargePumpFor(record.pTotal);
    Field::setChargePump(image, applied.chargePump.pump);
    return applied;
}
