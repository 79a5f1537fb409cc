// SPDX-License-Identifier: MIT
#include "frequency/boardfacts.h"

#include <cmath>

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

QString boardLoadName(double pf) {
    return QString::number(pf, 'g', 6);
}

std::optional<double> boardLoadNamed(const QString& name) {
    bool ok = false;
    const double pf = name.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(pf) || pf < 0 || pf > MaxBoardLoadPf)
        return std::nullopt;
    return pf;
}
