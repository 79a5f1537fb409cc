#pragma once

class QLineEdit;
struct Session;

void onF1Edited(Session& s);  // editingFinished of leF1, and a click on cbF1_pref
void onF2Edited(Session& s);  // editingFinished of leF2, a click on cbF2_pref, F2 enable
void onF2EnableToggled(Session& s, bool on);
void trimTargetText(QLineEdit* field);  // Return in a target field

void solveDividers(Session& s);
void applySolution(Session& s);
