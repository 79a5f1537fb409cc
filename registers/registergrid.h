#pragma once

struct Session;

// Draws the eleven grid rows from the image and writes each shown register to the chip.
void refreshRegisterGrid(Session& s);
// A bit check box was toggled: rebuild the bytes from the boxes, write what changed.
void onGridCheckboxToggled(Session& s);
