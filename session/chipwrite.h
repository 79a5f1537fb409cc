// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

struct Session;

// Writes on demand, for the window with live writes off (and for the comparison's "Write these to
// the chip"): the configuration registers that the chip is not known to hold, in SafeWriteOrder
// (0x09 last; all eleven when nothing is known), then a read-back of the whole chip compared with
// the image, as vantrel-cli write does and with its messages. The read becomes the chip's known
// image; each register that read back wrong is entered in the log. The outcome goes to the status
// line. True when everything was written and verified.
bool writeDifferencesToChip(Session& s);

// Reads the whole chip into the chip's known image only; the window's image stays. A failed read
// leaves the chip unknown. The outcome goes to the status line. True on success.
bool readChipAgain(Session& s);
