// SPDX-License-Identifier: MIT
#pragma once

#include "frequency/chiprules.h"

#include <QString>

#include <optional>

// The board facts by name, as the command line takes them and the user's settings keep them:
// "commercial" or "industrial", "3.3" or "2.5", "crystal" or "driven", the board's load in pF.

QString partGradeName(PartGrade grade);
std::optional<PartGrade> partGradeNamed(const QString& name);
QString lclkSupplyName(LclkSupply supply);
std::optional<LclkSupply> lclkSupplyNamed(const QString& name);
QString referenceKindName(ReferenceKind kind);
std::optional<ReferenceKind> referenceKindNamed(const QString& name);
// The board's load on the crystal in pF as typed: a number from 0 to MaxBoardLoadPf, "2", "3.5".
constexpr double MaxBoardLoadPf = 50;
QString boardLoadName(double pf);
std::optional<double> boardLoadNamed(const QString& name);
