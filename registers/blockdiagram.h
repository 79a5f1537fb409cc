#pragma once

struct Session;

// Sets every diagram control from the image without running the editing handlers.
void refreshDiagram(Session& s);

void onDiv1SourceClicked(Session& s);
void onDiv2SourceClicked(Session& s);
void onPoClicked(Session& s);
void onClockButtonToggled(Session& s);
void onMatrixComboBoxChanged(Session& s);
void onRegisterSpinBoxChanged(Session& s);
void onReferenceChanged(Session& s);
