#pragma once

struct Session;

void onLoadAction(Session& s);
void onSaveAction(Session& s);
void onSaveAsAction(Session& s);

// Reads the file named by currentFileName and applies it to the image, the widgets and the chip.
void loadRegisterFile(Session& s);
// Writes the current state to the file named by currentFileName.
void saveRegisterFile(Session& s);
