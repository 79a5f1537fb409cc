// SPDX-License-Identifier: MIT
#include "app/planmodel.h"

#include "common/printabletext.h"
#include "frequency/typedfrequency.h"
#include "session/session.h"

#include <cmath>

namespace {
// A typed text in an error line: on one line, and not longer than a field shows.
QString quoted(const QString& text) {
    return QLatin1Char('"') + printableText(cutWhole(text, 40)) + QLatin1Char('"');
}

QString sourceText(bool fromReference) {
    return fromReference ? QStringLiteral("reference") : QStringLiteral("PLL");
}

QString routeText(const Plan& plan, int code) {
    if (code < 0 || code > 6)
        return QStringLiteral("reserved code %1").arg(code);
    const QString name = QLatin1String(CrosspointNames[std::size_t(code)]);
    if (code == 0)
        return name;
    const bool first = code <= 3;
    const PlannedBank& bank = first ? plan.div1 : plan.div2;
    if (code == 1 || code == 4)
        return QStringLiteral("%1 (%2, DIV%3N %4)")
            .arg(name, sourceText(bank.fromReference))
            .arg(first ? 1 : 2)
            .arg(bank.n);
    return QStringLiteral("%1 (%2)").arg(name, sourceText(bank.fromReference));
}

QString bankText(int number, const PlannedBank& bank) {
    if (!bank.used)
        return QStringLiteral("DIV%1: not used").arg(number);
    return QStringLiteral("DIV%1: %2 / %3")
        .arg(number)
        .arg(sourceText(bank.fromReference))
        .arg(bank.n);
}
}  // namespace

PlanRequestOrError buildPlanRequest(const PlanInput& input, const Session& s) {
    PlanRequestOrError result;
    std::optional<double> tolerance;
    if (!input.tolerancePpm.trimmed().isEmpty()) {
        bool ok = false;
        const double ppm = input.tolerancePpm.trimmed().toDouble(&ok);
        if (!ok || !(ppm >= 0) || !std::isfinite(ppm)) {
            result.error =
                QStringLiteral("Error: the tolerance %1 is not a number of ppm from 0 up.")
                    .arg(quoted(input.tolerancePpm));
            return result;
        }
        tolerance = ppm;
    }

    PlanRequest request;
    request.referenceHz = s.fRef;
    request.board = input.board;
    request.disableUnused = input.disableUnused;
    request.holdUnnamed = true;
    request.current = s.image;
    bool any = false;
    for (int i = 0; i < OutputCount; ++i) {
        if (!input.checked[std::size_t(i)])
            continue;
        any = true;
        const QString& text = input.targets[std::size_t(i)];
        const std::optional<double> hz = readTypedFrequency(text);
        if (!hz) {
            result.error =
                text.trimmed().isEmpty()
                    ? QStringLiteral("Error: %1 is checked but has no target.").arg(outputName(i))
                    : QStringLiteral(
                          "Error: the target %1 of %2 is not a frequency in Hz "
                          "(a k or M suffix may follow the number).")
                          .arg(quoted(text), outputName(i));
            return result;
        }
        PlanTarget& target = request.targets[std::size_t(i)];
        target.requested = true;
        target.hz = *hz;
        target.tolerancePpm = tolerance;
    }
    if (!any) {
        result.error = QStringLiteral("Error: no output is checked: check the outputs to plan.");
        return result;
    }
    const QString problem = planRequestProblem(request);
    if (!problem.isEmpty()) {
        result.error = QStringLiteral("Error: %1.").arg(problem);
        return result;
    }
    result.request = request;
    return result;
}

std::array<PlanRowTexts, OutputCount> planRows(const Plan& plan) {
    std::array<PlanRowTexts, OutputCount> rows;
    for (int i = 0; i < OutputCount; ++i) {
        const PlannedOutput& o = plan.outputs[std::size_t(i)];
        PlanRowTexts& row = rows[std::size_t(i)];
        row.output = outputName(i);
        row.target = !o.requested ? QStringLiteral("-")
                     : o.held     ? QStringLiteral("%1 (held)").arg(hzText(o.targetHz))
                                  : hzText(o.targetHz);
        row.achieved = o.enabled ? hzText(o.hz) : QStringLiteral("off");
        row.route = o.enabled ? routeText(plan, o.route) : QStringLiteral("off");
        if (o.requested) {
            row.errorHz = QString::asprintf("%+.3f Hz", o.errorHz);
            row.errorPpm = QString::asprintf("%+.3f ppm", o.errorPpm);
            row.missesTolerance = !o.withinTolerance;
        }
    }
    return rows;
}

QString pllText(const Plan& plan) {
    if (!plan.pllUsed)
        return QStringLiteral("PLL: not used, P, Q and the pump stay as they are");
    return QStringLiteral("PLL: %1, P %2 (PB %3, PO %4), Q %5, pump %6")
        .arg(hzText(plan.pllHz))
        .arg(plan.pTotal)
        .arg(plan.pb)
        .arg(plan.po ? 1 : 0)
        .arg(plan.qTotal)
        .arg(plan.chargePump);
}

QString banksText(const Plan& plan) {
    return bankText(1, plan.div1) + QStringLiteral("; ") + bankText(2, plan.div2);
}

QString summaryText(const Plan& plan) {
    const QString worst = plan.worstOutput >= 0
                              ? QString::asprintf("Worst error %.3f ppm on ", plan.worstErrorPpm) +
                                    outputName(plan.worstOutput)
                              : QStringLiteral("No error");
    // Without a tolerance there is nothing to be within: the worst error says it all.
    const QString tolerance = !plan.toleranceGiven   ? QString()
                              : plan.withinTolerance ? QStringLiteral(", within the tolerance")
                                                     : QStringLiteral(", misses the tolerance");
    return QStringLiteral("%1%2; %3 PLL settings examined.")
        .arg(worst, tolerance)
        .arg(plan.pllSettingsExamined);
}
