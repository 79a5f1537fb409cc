// Placeholders for operations whose subsystems are being merged; each goes when its module lands.
#include "app/session.h"
#include "files/fileactions.h"

void onLoadAction(Session&) {}
void onSaveAction(Session&) {}
void onSaveAsAction(Session&) {}
void loadRegisterFile(Session&) {}
void saveRegisterFile(Session&) {}
