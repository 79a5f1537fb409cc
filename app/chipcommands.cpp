// SPDX-License-Identifier: MIT
#include "app/chipcommands.h"

#include "app/chiplogdialog.h"
#include "app/comparisondialog.h"
#include "frequency/chiprules.h"
#include "session/boardsettings.h"
#include "session/chipwrite.h"
#include "session/session.h"
#include "views/formviews.h"

#include <QAction>
#include <QCoreApplication>
#include <QKeySequence>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

namespace {
using Run = StatusLine::Run;

QString tr(const char* text) {
    return QCoreApplication::translate("MainWindow", text);
}

// The findings at error level, one line each; empty when there are none.
QStringList errorFindings(const Session& s) {
    QStringList lines;
    for (const Finding& finding : checkChipRules(s.image, s.fRef, s.board)) {
        if (finding.severity == Severity::Error)
            lines << findingLine(finding);
    }
    return lines;
}
}  // namespace

// The dialogs call back into this object: they go first.
ChipCommands::~ChipCommands() {
    delete comparison_;
    delete logDialog_;
}

void ChipCommands::addUsbEntries(QMenu* usb) {
    usb->addSeparator();
    liveWrites_ = usb->addAction(tr("Write changes at once"));
    liveWrites_->setObjectName(QStringLiteral("actionWrite_changes_at_once"));
    liveWrites_->setCheckable(true);
    liveWrites_->setChecked(loadUserLiveWrites());
    s_.liveWrites = liveWrites_->isChecked();
    QObject::connect(liveWrites_, &QAction::toggled, window_,
                     [this](bool on) { setLiveWrites(on); });

    write_ = usb->addAction(tr("Write to chip"));
    write_->setObjectName(QStringLiteral("actionWrite_to_chip"));
    write_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    QObject::connect(write_, &QAction::triggered, window_, [this] {
        const Run run(s_.status);
        writeToChip();
    });

    readAgain_ = usb->addAction(tr("Read chip again"));
    readAgain_->setObjectName(QStringLiteral("actionRead_chip_again"));
    QObject::connect(readAgain_, &QAction::triggered, window_, [this] {
        const Run run(s_.status);
        readAgain();
    });

    compare_ = usb->addAction(tr("Compare with chip…"));
    compare_->setObjectName(QStringLiteral("actionCompare_with_chip"));
    QObject::connect(compare_, &QAction::triggered, window_, [this] { openComparison(); });
}

void ChipCommands::addLogEntry(QMenu* tools) {
    log_ = tools->addAction(tr("Chip log…"));
    log_->setObjectName(QStringLiteral("actionChip_log"));
    QObject::connect(log_, &QAction::triggered, window_, [this] { openLog(); });
}

void ChipCommands::setLiveWrites(bool on) {
    s_.liveWrites = on;
    saveUserLiveWrites(on);
}

void ChipCommands::writeToChip() {
    s_.status.clear();
    const QStringList errors = errorFindings(s_);
    if (!errors.isEmpty()) {
        QMessageBox box(QMessageBox::Warning, tr("Write to chip"),
                        tr("These settings break the chip's rules:\n\n%1\n\nWrite them to the "
                           "chip all the same?")
                            .arg(errors.join(QLatin1Char('\n'))),
                        QMessageBox::NoButton, window_);
        box.setObjectName(QStringLiteral("writeAnywayBox"));
        QPushButton* write = box.addButton(tr("Write"), QMessageBox::AcceptRole);
        QPushButton* cancel = box.addButton(QMessageBox::Cancel);
        box.setDefaultButton(cancel);
        box.setEscapeButton(cancel);
        box.exec();
        if (box.clickedButton() != write) {
            s_.status.show({ReportKind::Info, QStringLiteral("Info: Nothing was written.")});
            return;
        }
    }
    writeDifferencesToChip(s_);
}

void ChipCommands::readAgain() {
    s_.status.clear();
    readChipAgain(s_);
}

void ChipCommands::takeChipValues() {
    const Run run(s_.status);
    s_.status.clear();
    for (quint8 address : s_.chip.differingRegisters(s_.image)) {
        if (const std::optional<quint8> value = s_.chip.value(address))
            s_.image[address] = *value;
    }
    copyDividersToSolver(s_);
    views_.showWritten();  // the chip holds them already
}

void ChipCommands::openComparison() {
    if (!comparison_) {
        comparison_ = new ComparisonDialog(
            s_,
            [this] {
                const Run run(s_.status);
                writeToChip();
            },
            [this] { takeChipValues(); }, window_);
    }
    comparison_->showComparison();
    comparison_->show();
    comparison_->raise();
    comparison_->activateWindow();
}

void ChipCommands::openLog() {
    if (!logDialog_)
        logDialog_ = new ChipLogDialog(s_.log, window_);
    logDialog_->clearResult();
    logDialog_->showLog();
    logDialog_->show();
    logDialog_->raise();
    logDialog_->activateWindow();
}

void ChipCommands::refresh() {
    if (comparison_ && comparison_->isVisible())
        comparison_->showComparison();
    if (logDialog_ && logDialog_->isVisible())
        logDialog_->showLog();
}
