#pragma once

struct Session;

// Recomputes the PLL and output frequencies from the image and shows them, with the PLL warnings
// and the colours of the target fields. Changes no register.
void refreshFrequencies(Session& s);
void refreshOutputFrequencies(Session& s);
// Normal range 100..400 MHz, extended 25..450 MHz; takes effect at the next refresh or solve.
void setPllRange(Session& s, bool extended);
// Sets the charge-pump field of the image from the PLL multiplier; may show a warning.
void selectChargePump(Session& s, int pTotal);
