// SPDX-License-Identifier: MIT
#include "app/filecommands.h"

#include "common/printabletext.h"
#include "files/registerfile.h"
#include "files/registerfilestore.h"
#include "session/session.h"
#include "views/formviews.h"
#include "views/mainwindowform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace {
QString standardDialog(FileDialogKind kind, QWidget* parent, const QString& caption,
                       const QString& directory, const QString& filter) {
    return kind == FileDialogKind::Open
               ? QFileDialog::getOpenFileName(parent, caption, directory, filter)
               : QFileDialog::getSaveFileName(parent, caption, directory, filter, nullptr,
                                              QFileDialog::DontConfirmOverwrite);
}

FileNameProvider& provider() {
    static FileNameProvider chosen = standardDialog;
    return chosen;
}

// Plain text: a file name is no markup.
bool standardReplaceQuestion(QWidget* parent, const QString& caption, const QString& fileName) {
    QMessageBox box(
        QMessageBox::Warning, caption,
        QCoreApplication::translate("MainWindow", "%1 already exists.\nDo you want to replace it?")
            .arg(printableText(fileName)),
        QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

ReplaceQuestion& replaceQuestion() {
    static ReplaceQuestion question = standardReplaceQuestion;
    return question;
}

QString tr(const char* text) {
    return QCoreApplication::translate("MainWindow", text);
}

void appendMissingExtension(QString& name) {
    const QLatin1String extension(RegisterFileExtension);
    if (!name.endsWith(extension, Qt::CaseInsensitive))
        name += extension;
}
}  // namespace

// A file name may hold any character; printableText keeps the status line one line.
void FileCommands::reportFailure(const QString& name, const char* what, const QString& reason) {
    s_.status.show({ReportKind::Error, QStringLiteral("Error: %1 could not be %2: %3.")
                                           .arg(printableText(name), QLatin1String(what), reason)});
}

void setFileNameProvider(FileNameProvider newProvider) {
    provider() = newProvider ? std::move(newProvider) : FileNameProvider(standardDialog);
}

const FileNameProvider& fileNameProvider() {
    return provider();
}

void setReplaceQuestion(ReplaceQuestion question) {
    replaceQuestion() = question ? std::move(question) : ReplaceQuestion(standardReplaceQuestion);
}

// Every dialog result becomes the remembered name, also an empty one from a cancelled dialog.
// Returns false, after saying so, when there is no name.
bool FileCommands::askFileName(FileDialogKind kind, const char* caption) {
    s_.currentFileName = fileNameProvider()(kind, qobject_cast<QWidget*>(form_.window), tr(caption),
                                            QDir::homePath(), tr("CY22150 files (*.cy22150.bin)"));
    if (!s_.currentFileName.isEmpty())
        return true;
    s_.status.show({ReportKind::Error, QStringLiteral("Error: Filename is empty!")});
    return false;
}

// A name from the dialog is remembered only once its file has been loaded: a refused load changes
// nothing, so the next Save cannot overwrite the file the user may still want to repair.
void FileCommands::load() {
    s_.status.clear();
    const QString previous = s_.currentFileName;
    if (!askFileName(FileDialogKind::Open, "Load File..."))
        return;
    const QString name = s_.currentFileName;
    s_.currentFileName = previous;
    loadFile(name);
}

// The question names the file that will be written, the ending added; declined, nothing is
// written and the remembered name stays as it was. A folder of that name is no file to replace:
// the save reports why it cannot write there.
bool FileCommands::mayReplace(const char* caption) {
    const QFileInfo target(s_.currentFileName);
    if (!target.exists() || target.isDir() ||
        replaceQuestion()(qobject_cast<QWidget*>(form_.window), tr(caption), s_.currentFileName))
        return true;
    s_.status.show({ReportKind::Info, QStringLiteral("Info: Nothing was saved.")});
    return false;
}

void FileCommands::saveAs() {
    s_.status.clear();
    const QString previous = s_.currentFileName;
    if (!askFileName(FileDialogKind::Save, "Save File As..."))
        return;
    appendMissingExtension(s_.currentFileName);
    if (!mayReplace("Save File As...")) {
        s_.currentFileName = previous;
        return;
    }
    saveCurrentFile();
}

// A remembered name is the file the user works on, written without a question, unless the ending
// has to be added: that makes it another file, perhaps an existing one.
void FileCommands::save() {
    s_.status.clear();
    const bool asked = s_.currentFileName.isEmpty();
    if (asked && !askFileName(FileDialogKind::Save, "Save File..."))
        return;
    const QString chosen = s_.currentFileName;
    appendMissingExtension(s_.currentFileName);
    if ((asked || s_.currentFileName != chosen) && !mayReplace("Save File...")) {
        s_.currentFileName = asked ? QString() : chosen;
        return;
    }
    saveCurrentFile();
}

void FileCommands::saveCurrentFile() {
    RegisterFileContents contents;
    contents.registers = s_.image.bytes;
    contents.fRef = s_.fRef;
    views_.frequency.saveInto(contents);
    contents.targetF1 = s_.solver.targetF1;
    contents.targetF2 = s_.solver.targetF2;
    QString reason;
    if (!saveRegisterFileAt(s_.currentFileName, contents, reason)) {
        reportFailure(s_.currentFileName, "saved", reason);
        return;
    }
    s_.status.show(
        {ReportKind::Info,
         QStringLiteral("Info: %1 successfully saved.").arg(printableText(s_.currentFileName))});
}

// The whole file is read and checked before anything is applied, so a refused file changes
// nothing in the image, the widgets, the chip or the remembered name.
void FileCommands::loadFile(const QString& name) {
    RegisterFileContents c;
    QString reason;
    if (!readRegisterFileAt(name, c, reason)) {
        reportFailure(name, "loaded", reason);
        return;
    }
    s_.currentFileName = name;

    // The slots of sbFreference and cbPLL_extend run as the widgets change; updatingWidgets keeps
    // the register editors and the target slots out.
    s_.fRef = c.fRef;
    s_.solver.targetF1 = c.targetF1;
    s_.solver.targetF2 = c.targetF2;
    const UpdatingWidgets quiet(form_);
    s_.image.bytes = c.registers;
    // The codec made the reference whole and in range: the box shows exactly what is used.
    form_.ui->sbFreference->setValue(static_cast<int>(c.fRef));
    views_.frequency.restoreFrom(c);

    s_.status.show(
        {ReportKind::Info,
         QStringLiteral("Info: %1 successfully loaded.").arg(printableText(s_.currentFileName))});
    views_.refreshGrid();
    views_.refreshDiagram();
    views_.refreshFrequencies();
    pushCoreRegisters(s_);
}
