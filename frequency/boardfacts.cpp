// SPDX-License-Identifier: MIT
#include "frequency/boardfacts.h"

QString partGradeName(PartGrade grade) {
    return grade == PartGrade::Industrial ? QStringLiteral("industrial")
                                          : QStringLiteral("commercial");
}

std::optional<PartGrade> partGradeNamed(const QString& name) {
    for (PartGrade grade : {PartGrade::Commercial, PartGrade::Industrial})
        if (name == partGradeName(grade))
            return grade;
    return std::nullopt;
}

QString lclkSupplyName(LclkSupply supply) {
    return supply == LclkSupply::V2_5 ? QStringLiteral("2.5") : QStringLiteral("3.3");
}

std::optional<LclkSupply> lclkSupplyNamed(const QString& name) {
    for (LclkSupply supply : {LclkSupply::V3_3, LclkSupply::V2_5})
        if (name == lclkSupplyName(supply))
            return supply;
    return std::nullopt;
}

QString referenceKindName(ReferenceKind kind) {
    return kind == ReferenceKind::DrivenClock ? QStringLiteral("driven")
                                              : QStringLiteral("crystal");
}

std::optional<ReferenceKind> referenceKindNamed(const QString& name) {
    for (ReferenceKind kind : {ReferenceKind::Crystal, ReferenceKind::DrivenClock})
        if (name == referenceKindName(kind))
            return kind;
    return std::nullopt;
}
