// SPDX-License-Identifier: MIT
#include "views/findingsview.h"

#include "session/boardsettings.h"
#include "session/session.h"
#include "views/findingsdialog.h"
#include "views/formcontext.h"
#include "views/mainwindowform.h"

#include <QStatusBar>
#include <QStyle>
#include <QToolButton>

void FindingsView::install() {
    QStatusBar* bar = form_.ui->statusBar;
    indicator_ = new QToolButton(bar);
    indicator_->setObjectName(QStringLiteral("findingsIndicator"));
    indicator_->setAutoRaise(true);
    indicator_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    indicator_->setToolTip(
        QObject::tr("The chip's own rules: the settings shown break this many. "
                    "Click for the list and the board facts."));
    // No taller than the status line, so the window's areas keep their geometry.
    indicator_->setMaximumHeight(bar->sizeHint().height());
    QObject::connect(indicator_, &QToolButton::clicked, indicator_, [this] { openList(); });
    bar->addPermanentWidget(indicator_);
    refresh();
}

void FindingsView::refresh() {
    findings_ = checkChipRules(s_.image, s_.fRef, s_.board);
    if (indicator_) {
        indicator_->setText(findingsSummary(findings_));
        indicator_->setIcon(findings_.isEmpty()
                                ? QIcon()
                                : indicator_->style()->standardIcon(
                                      hasErrors(findings_) ? QStyle::SP_MessageBoxCritical
                                                           : QStyle::SP_MessageBoxWarning));
    }
    if (dialog_)
        dialog_->showFindings(findings_, s_.board);
}

void FindingsView::openList() {
    if (!dialog_) {
        dialog_ = new FindingsDialog(qobject_cast<QWidget*>(form_.window),
                                     [this](const BoardFacts& board) { takeBoardFacts(board); });
    }
    dialog_->showFindings(findings_, s_.board);
    dialog_->show();
    dialog_->raise();
    dialog_->activateWindow();
}

void FindingsView::takeBoardFacts(const BoardFacts& board) {
    s_.board = board;
    saveUserBoardFacts(board);
    refresh();
}
