// SPDX-License-Identifier: MIT
#include "app/chiplogdialog.h"

#include "app/filecommands.h"
#include "common/printabletext.h"
#include "session/chiplog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

ChipLogDialog::ChipLogDialog(const ChipLog& log, QWidget* parent) : QDialog(parent), log_(log) {
    setObjectName(QStringLiteral("chipLogDialog"));
    setWindowTitle(tr("Chip log"));
    auto* layout = new QVBoxLayout(this);
    view_ = new QPlainTextEdit(this);
    view_->setObjectName(QStringLiteral("chipLogText"));
    view_->setReadOnly(true);
    view_->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(view_);
    result_ = new QLabel(this);
    result_->setObjectName(QStringLiteral("chipLogResult"));
    layout->addWidget(result_);
    auto* buttons = new QDialogButtonBox(this);
    saveText_ = buttons->addButton(tr("Save as text..."), QDialogButtonBox::ActionRole);
    saveScript_ = buttons->addButton(tr("Save as shell script..."), QDialogButtonBox::ActionRole);
    QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
    connect(saveText_, &QPushButton::clicked, this, [this] { save(false); });
    connect(saveScript_, &QPushButton::clicked, this, [this] { save(true); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(760, 420);
}

// The log only grows: the entries not shown yet are appended, so a long session's log is not
// laid out again after every action.
void ChipLogDialog::showLog() {
    const std::vector<ChipLogEntry>& entries = log_.entries();
    if (shown_ == entries.size())
        return;
    QStringList lines;
    for (std::size_t i = shown_; i < entries.size(); ++i)
        lines << chipLogLine(entries[i]);
    view_->appendPlainText(lines.join(QLatin1Char('\n')));
    shown_ = entries.size();
}

void ChipLogDialog::clearResult() {
    result_->clear();
}

// Saved whole or not at all (QSaveFile); the outcome shows below the log.
void ChipLogDialog::save(bool script) {
    const QString name = fileNameProvider()(
        FileDialogKind::Save, this,
        script ? tr("Save Chip Log As Script...") : tr("Save Chip Log..."), QDir::homePath(),
        script ? tr("Shell scripts (*.sh)") : tr("Text files (*.txt)"));
    if (name.isEmpty())
        return;
    const QByteArray bytes = (script ? log_.shellScript() : log_.text()).toUtf8();
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        result_->setText(QStringLiteral("Error: %1 could not be saved: %2.")
                             .arg(printableText(name), file.errorString()));
        return;
    }
    if (script)
        QFile::setPermissions(name, QFile::permissions(name) | QFile::ExeOwner);
    result_->setText(QStringLiteral("Info: %1 successfully saved.").arg(printableText(name)));
}
