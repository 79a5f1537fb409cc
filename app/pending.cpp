// Placeholders for operations whose subsystems are being merged; each goes when its module lands.
#include "app/mainwindowform.h"
#include "app/session.h"
#include "frequency/frequencydisplay.h"
#include "frequency/solverhandlers.h"

void refreshFrequencies(Session& s) {
    s.ui->statusBar->clearMessage();
}
void refreshOutputFrequencies(Session&) {}
void setPllRange(Session&, bool) {}
void selectChargePump(Session&, int) {}
void onF1Edited(Session&) {}
void onF2Edited(Session&) {}
void onF2EnableToggled(Session&, bool) {}
void trimTargetText(QLineEdit*) {}
void solveDividers(Session&) {}
void applySolution(Session&) {}
