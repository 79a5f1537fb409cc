// SPDX-License-Identifier: MIT
#include "views/chipstateview.h"

#include "session/session.h"
#include "views/formcontext.h"
#include "views/mainwindowform.h"

#include <QStatusBar>
#include <QToolButton>

void ChipStateView::install(std::function<void()> open) {
    QStatusBar* bar = form_.ui->statusBar;
    indicator_ = new QToolButton(bar);
    indicator_->setObjectName(QStringLiteral("chipIndicator"));
    indicator_->setAutoRaise(true);
    // Outside the focus chain like the chip-rule indicator; the keyboard reaches the comparison
    // through the USB menu.
    indicator_->setFocusPolicy(Qt::NoFocus);
    indicator_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    indicator_->setToolTip(
        QObject::tr("Whether the chip holds the registers shown. Click to compare them."));
    // No taller than the status line's text, so the window's areas keep their geometry.
    indicator_->setMaximumHeight(bar->fontMetrics().height());
    QObject::connect(indicator_, &QToolButton::clicked, indicator_,
                     [open = std::move(open)] { open(); });
    bar->addPermanentWidget(indicator_);
    refresh();
}

void ChipStateView::refresh() {
    if (!indicator_)
        return;
    indicator_->setText(chipStateSummary(s_.chip, s_.image));
    const bool bold = !s_.chip.unknown() && !s_.chip.differingRegisters(s_.image).empty();
    if (indicator_->font().bold() != bold) {  // a new font lays the status bar out again
        QFont font = indicator_->font();
        font.setBold(bold);
        indicator_->setFont(font);
    }
}
