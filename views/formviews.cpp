// SPDX-License-Identifier: MIT
#include "views/formviews.h"

void FormViews::refreshGrid() {
    frequency.refresh();
    grid.refresh();
}

void FormViews::refreshDiagram() {
    diagram.refresh();
    frequency.refresh();
}

void FormViews::showWritten() {
    frequency.refresh();
    grid.show();
    diagram.refresh();
    frequency.refresh();
}
