// SPDX-License-Identifier: MIT
#pragma once

#include "views/chipstateview.h"
#include "views/deviceview.h"
#include "views/diagramview.h"
#include "views/findingsview.h"
#include "views/formcontext.h"
#include "views/frequencyview.h"
#include "views/gridview.h"

// The views of the form, and the order in which they are refreshed after a change: the one
// place that knows which refresh follows which. The chip-rule findings follow the frequencies:
// both come from the image and the reference.
struct FormViews {
    FormViews(FormContext& form, Session& s)
        : grid(form, s),
          diagram(form, s),
          frequency(form, s),
          device(form, s),
          findings(form, s),
          chip(form, s) {}

    // The frequencies and findings, then the grid rows, each shown register written to the chip.
    void refreshGrid();
    // The diagram controls, then the frequencies and findings.
    void refreshDiagram();
    void refreshFrequencies();
    // Every view from an image that is already on the chip, writing nothing: the frequencies and
    // the grid rows, then the diagram controls and the frequencies.
    void showWritten();
    // The grid's marks and the chip indicator, from the image and the chip's known image.
    void refreshChipState();

    GridView grid;
    DiagramView diagram;
    FrequencyView frequency;
    DeviceView device;
    FindingsView findings;
    ChipStateView chip;
};
