// SPDX-License-Identifier: MIT
#include "views/findingsview.h"

#include "session/boardsettings.h"
#include "session/session.h"
#include "views/findingsdialog.h"
#include "views/formcontext.h"
#include "views/mainwindowform.h"
#include "views/windowfit.h"

#include <QStatusBar>
#include <QToolButton>

void FindingsView::install() {
    QStatusBar* bar = form_.ui->statusBar;
    indicator_ = new QToolButton(bar);
    indicator_->setObjectName(QStringLiteral("findingsIndicator"));
    indicator_->setAutoRaise(true);
    // Outside the focus chain, so Tab moves through the form as it always did.
    indicator_->setFocusPolicy(Qt::NoFocus);
    indicator_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    indicator_->setToolTip(
        QObject::tr("The chip's own rules: the settings shown break this many. "
                    "Click for the list and the board facts."));
    // No taller than the status line's text, so the status bar keeps its height and the window's
    // areas their geometry.
    indicator_->setMaximumHeight(bar->fontMetrics().height());
    QObject::connect(indicator_, &QToolButton::clicked, indicator_, [this] { openList(); });
    bar->addPermanentWidget(indicator_);
    refresh();
}

// The list calls back into this view: it goes first.
FindingsView::~FindingsView() {
    delete dialog_;
}

void FindingsView::refresh() {
    findings_ = checkChipRules(s_.image, s_.fRef, s_.board);
    if (indicator_) {
        indicator_->setText(findingsSummary(findings_));
        QFont font = indicator_->font();
        font.setBold(!findings_.isEmpty());  // seen at a glance, without a taller icon
        indicator_->setFont(font);
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
    fitDialogToScreen(*dialog_);
    dialog_->show();
    dialog_->raise();
    dialog_->activateWindow();
}

void FindingsView::takeBoardFacts(const BoardFacts& board) {
    s_.board = board;
    saveUserBoardFacts(board);
    refresh();
}
