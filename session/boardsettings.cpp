// SPDX-License-Identifier: MIT
#include "session/boardsettings.h"

#include "frequency/boardfacts.h"

#include <QSettings>

namespace {
const char* const GradeKey = "board/grade";
const char* const SupplyKey = "board/supply";
const char* const ReferenceKey = "board/reference";
const char* const LiveWritesKey = "window/writeChangesAtOnce";
const char* const LoadKey = "board/loadPf";

// Named explicitly, so the file does not depend on what the application calls itself.
const char* const Organization = "Vantrel";
const char* const Application = "vantrel";
}  // namespace

BoardFacts readBoardFacts(const QSettings& settings) {
    const BoardFacts defaults;
    BoardFacts board;
    board.grade = partGradeNamed(settings.value(GradeKey).toString()).value_or(defaults.grade);
    board.supply = lclkSupplyNamed(settings.value(SupplyKey).toString()).value_or(defaults.supply);
    board.reference =
        referenceKindNamed(settings.value(ReferenceKey).toString()).value_or(defaults.reference);
    board.boardLoadPf =
        boardLoadNamed(settings.value(LoadKey).toString()).value_or(defaults.boardLoadPf);
    return board;
}

void writeBoardFacts(QSettings& settings, const BoardFacts& board) {
    settings.setValue(GradeKey, partGradeName(board.grade));
    settings.setValue(SupplyKey, lclkSupplyName(board.supply));
    settings.setValue(ReferenceKey, referenceKindName(board.reference));
    settings.setValue(LoadKey, boardLoadName(board.boardLoadPf));
    settings.sync();
}

BoardFacts loadUserBoardFacts() {
    const QSettings settings(QSettings::NativeFormat, QSettings::UserScope, Organization,
                             Application);
    return readBoardFacts(settings);
}

void saveUserBoardFacts(const BoardFacts& board) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, Organization, Application);
    writeBoardFacts(settings, board);
}

bool loadUserLiveWrites() {
    const QSettings settings(QSettings::NativeFormat, QSettings::UserScope, Organization,
                             Application);
    return settings.value(LiveWritesKey, true).toBool();
}

void saveUserLiveWrites(bool on) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, Organization, Application);
    settings.setValue(LiveWritesKey, on);
    settings.sync();
}
