// SPDX-License-Identifier: MIT
#pragma once

// Root may open any file whatever its mode, so a node that the emulation makes inaccessible
// (mode 0000) stops only a process without that privilege. This takes it away from the calling
// thread and from every program it starts, as for an ordinary user: CAP_DAC_OVERRIDE and
// CAP_DAC_READ_SEARCH leave the effective, permitted and bounding sets. Call it in a child process
// (after fork, or in a QProcess child modifier), never in a test itself. Returns false when the
// kernel refused.
bool dropFileModeOverride();
