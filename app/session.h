#pragma once

#include "frequency/solver.h"
#include "registers/registerimage.h"
#include "usb/i2ctinyusb.h"

#include <QString>

class MainWindowForm;
class QObject;

// The process-wide state of the tool. The main window owns exactly one; every refresh, handler
// and action works on it, so a new window starts from a clean state.
struct Session {
    RegisterImage image;
    int div1N = 0;  // copies of DIV1N and DIV2N that the frequency display divides by
    int div2N = 0;
    double fRef = 0;  // reference frequency, Hz
    double fPll = 0;  // PLL frequency of the last frequency refresh, Hz
    qint32 pllLowLimit = 0;
    qint32 pllHighLimit = 0;
    SolverRecord solver;
    AdapterConnection adapter;
    QString currentFileName;
    bool firstRefresh = true;      // true only while the window is being constructed
    bool updatingWidgets = false;  // silences the register-editing slots during bulk updates

    MainWindowForm* ui = nullptr;  // the window's form
    QObject* window = nullptr;     // receiver of the connections that the refreshes make
};
