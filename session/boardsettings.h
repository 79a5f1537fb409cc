// SPDX-License-Identifier: MIT
#pragma once

#include "frequency/chiprules.h"

class QSettings;

// The board facts the window checks the chip's rules with, kept in the user's settings between
// runs ("board/grade", "board/supply", "board/reference", "board/loadPf"). A missing or unknown
// value reads as the default fact, so a damaged settings file never stops the window.
BoardFacts readBoardFacts(const QSettings& settings);
void writeBoardFacts(QSettings& settings, const BoardFacts& board);

// The user's settings of Vantrel: ~/.config/Vantrel/vantrel.conf on Linux, or under the path
// that QSettings::setPath or QStandardPaths' test mode gives.
BoardFacts loadUserBoardFacts();
void saveUserBoardFacts(const BoardFacts& board);

// The window's "Write changes at once" choice in the user's settings; on unless switched off.
bool loadUserLiveWrites();
void saveUserLiveWrites(bool on);
