// SPDX-License-Identifier: MIT
#include "views/formviews.h"

void FormViews::refreshGrid() {
    refreshFrequencies();
    grid.refresh();
}

void FormViews::refreshDiagram() {
    diagram.refresh();
    refreshFrequencies();
}

void FormViews::refreshFrequencies() {
    frequency.refresh();
    findings.refresh();
}

void FormViews::showWritten() {
    frequency.refresh();
    grid.show();
    diagram.refresh();
    refreshFrequencies();
}

void FormViews::refreshChipState() {
    grid.markChipDifferences();
    chip.refresh();
}
