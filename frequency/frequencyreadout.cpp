// SPDX-License-Identifier: MIT
#include "frequency/frequencyreadout.h"

FrequencyReadout readFrequencies(const RegisterImage& r, double fRef, int div1N, int div2N,
                                 const PllRange& range) {
    FrequencyReadout readout;
    readout.fPll =
        pllFrequency(static_cast<qint64>(fRef), Field::pb(r), Field::po(r), Field::qCounter(r));
    if (pllBelowRange(readout.fPll, range))
        readout.pllWarnings << PllWarning::Low;
    if (pllAboveRange(readout.fPll, range))
        readout.pllWarnings << PllWarning::High;
    const double div1Clk = Field::div1FromReference(r) ? fRef : readout.fPll;
    const double div2Clk = Field::div2FromReference(r) ? fRef : readout.fPll;
    const quint32 word = Field::matrixWord(r);
    for (int i = 0; i < OutputCount; ++i)
        readout.outputs[std::size_t(i)] =
            outputFrequency(Field::crosspointCode(word, i), fRef, div1Clk, div2Clk, div1N, div2N);
    return readout;
}

FrequencyReadout readFrequencies(const RegisterImage& r, double fRef, const PllRange& range) {
    return readFrequencies(r, fRef, Field::div1N(r), Field::div2N(r), range);
}
