#include "app/filecommands.h"

#include "app/mainwindowform.h"
#include "files/registerfile.h"
#include "files/registerfilestore.h"
#include "session/session.h"
#include "views/formviews.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>

namespace {
QString standardDialog(FileDialogKind kind, QWidget* parent, const QString& caption,
                       const QString& directory, const QString& filter) {
    return kind == FileDialogKind::Open
               ? QFileDialog::getOpenFileName(parent, caption, directory, filter)
               : QFileDialog::getSaveFileName(parent, caption, directory, filter);
}

FileNameProvider& fileNameProvider() {
    static FileNameProvider provider = standardDialog;
    return provider;
}

QString tr(const char* text) {
    return QCoreApplication::translate("MainWindow", text);
}

void appendMissingExtension(QString& name) {
    const QLatin1String extension(RegisterFileExtension);
    if (!name.endsWith(extension, Qt::CaseInsensitive))
        name += extension;
}

void reportFailure(Session& s, const char* what, const QString& reason) {
    s.status.show({ReportKind::Error, QStringLiteral("Error: %1 could not be %2: %3.")
                                          .arg(s.currentFileName, QLatin1String(what), reason)});
}
}  // namespace

void setFileNameProvider(FileNameProvider provider) {
    fileNameProvider() = provider ? std::move(provider) : FileNameProvider(standardDialog);
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

void FileCommands::load() {
    s_.status.clear();
    if (askFileName(FileDialogKind::Open, "Load File..."))
        loadCurrentFile();
}

void FileCommands::saveAs() {
    s_.status.clear();
    if (!askFileName(FileDialogKind::Save, "Save File As..."))
        return;
    appendMissingExtension(s_.currentFileName);
    saveCurrentFile();
}

void FileCommands::save() {
    s_.status.clear();
    if (s_.currentFileName.isEmpty() && !askFileName(FileDialogKind::Save, "Save File..."))
        return;
    appendMissingExtension(s_.currentFileName);
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
    if (!writeRegisterFile(s_.currentFileName, contents, reason)) {
        reportFailure(s_, "saved", reason);
        return;
    }
    s_.status.show(
        {ReportKind::Info, QStringLiteral("Info: %1 successfully saved.").arg(s_.currentFileName)});
}

// The whole file is read and checked before anything is applied, so a refused file changes
// nothing in the image, the widgets or the chip.
void FileCommands::loadCurrentFile() {
    QFile file(s_.currentFileName);
    if (!file.open(QIODevice::ReadOnly)) {
        reportFailure(s_, "loaded", file.errorString());
        return;
    }
    RegisterFileContents c;
    QString reason;
    const bool usable = readRegisterFile(file, c, reason);
    file.close();
    if (!usable) {
        reportFailure(s_, "loaded", reason);
        return;
    }

    // The slots of sbFreference and cbPLL_extend run as the widgets change; updatingWidgets keeps
    // the register editors and the target slots out.
    s_.fRef = c.fRef;
    s_.solver.targetF1 = c.targetF1;
    s_.solver.targetF2 = c.targetF2;
    const UpdatingWidgets quiet(form_);
    s_.image.bytes = c.registers;
    form_.ui->sbFreference->setValue(static_cast<int>(c.fRef));  // the codec ensured that it fits
    views_.frequency.restoreFrom(c);

    s_.status.show({ReportKind::Info,
                    QStringLiteral("Info: %1 successfully loaded.").arg(s_.currentFileName)});
    views_.refreshGrid();
    views_.refreshDiagram();
    views_.refreshFrequencies();
    pushCoreRegisters(s_);
}
