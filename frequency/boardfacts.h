// SPDX-License-Identifier: MIT
#pragma once

#include "frequency/chiprules.h"

#include <QString>

#include <optional>

// The board facts by name, as the command line takes them and the user's settings keep them:
// "commercial" or "industrial", "3.3" or "2.5", "crystal" or "driven".

QString partGradeName(PartGrade grade);
std::optional<PartGrade> partGradeNamed(const QString& name);
QString lclkSupplyName(LclkSupply supply);
std::optional<LclkSupply> lclkSupplyNamed(const QString& name);
QString referenceKindName(ReferenceKind kind);
std::optional<ReferenceKind> referenceKindNamed(const QString& name);
