// SPDX-License-Identifier: MIT
#pragma once

#include "frequency/chiprules.h"
#include "frequency/solver.h"
#include "registers/registerimage.h"
#include "session/chiplog.h"
#include "session/chipstate.h"
#include "session/statusline.h"
#include "usb/i2ctinyusb.h"

#include <QString>

#include <optional>
#include <vector>

// The process-wide state of the tool: what the front ends show and edit, and what goes to the
// chip. It knows no widget; the main window owns exactly one, so a new window starts clean.
struct Session {
    RegisterImage image;
    int div1N = 0;  // copies of DIV1N and DIV2N that the frequency display divides by
    int div2N = 0;
    double fRef = 0;  // reference frequency, Hz
    qint32 pllLowLimit = 0;
    qint32 pllHighLimit = 0;
    SolverRecord solver;
    AdapterConnection adapter;
    QString currentFileName;
    StatusLine status;
    BoardFacts board;  // what the chip's rules are checked for; the window keeps it in the settings
    ChipState chip;    // what the chip is known to hold, beside the image
    ChipLog log;       // every register written and every read-back that differed, this session
    // True: every change goes to the chip at once (the push functions below write). False: the
    // push functions write nothing; the image reaches the chip only when the user asks for it
    // (session/chipwrite).
    bool liveWrites = true;
};

// The one path of every register write: writes image[address] to the open adapter, enters it in
// the log and in the chip's known image (a refused write makes the register unknown). Returns the
// write's error line; nothing when it went out or no adapter is open (then nothing is recorded).
std::optional<QString> writeToChip(Session& s, quint8 address);
// Writes `registers` in the order given through writeToChip, stopping at the first failure, whose
// register and error line come back; nothing when all went out.
struct FailedWrite {
    quint8 address = 0;
    QString error;
};
std::optional<FailedWrite> writeChipRegisters(Session& s, const std::vector<quint8>& registers);

// The open connection as the log and the status line name it: the adapter's identification, or
// the I2C bus ("i2c-N") that serves it.
QString connectionName(const AdapterConnection& c);

// The solver's dividers from the image, as after a read or a load.
void copyDividersToSolver(Session& s);

// The push functions write only while s.liveWrites is on; otherwise they leave the chip alone
// (and report success).
//
// Write-through from the image to the chip. A failed write goes to the status line as an error
// and is never undone in the image; the caller goes on either way.
void pushRegister(Session& s, quint8 address);
// 0x0C, 0x12, 0x13, 0x40, 0x41, 0x42 and 0x47, in this order.
void pushCoreRegisters(Session& s);
// 0x44, 0x45 and 0x46 in order; the first failure stops the rest. True when all three went out.
bool pushMatrixRegisters(Session& s);
// The whole configuration in SafeWriteOrder, the output enables (0x09) last; the first failure
// stops the rest, so no output is enabled over a PLL or divider that did not get its new value.
// True when all eleven went out.
bool pushConfiguration(Session& s);
