#include "files/fileactions.h"

#include "app/mainwindowform.h"
#include "app/session.h"
#include "app/statuslinewatch.h"
#include "files/registerfile.h"
#include "frequency/frequencydisplay.h"
#include "registers/blockdiagram.h"
#include "registers/registergrid.h"
#include "registers/registerwrite.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QSaveFile>
#include <QSpinBox>
#include <QStatusBar>

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

void showMessage(Session& s, const QString& message) {
    s.ui->statusBar->showMessage(message);
}

// Every dialog result becomes the remembered name, also an empty one from a cancelled dialog.
// Returns false, after saying so, when there is no name.
bool askFileName(Session& s, FileDialogKind kind, const char* caption) {
    s.currentFileName = fileNameProvider()(kind, qobject_cast<QWidget*>(s.window), tr(caption),
                                           QDir::homePath(), tr("CY22150 files (*.cy22150.bin)"));
    if (!s.currentFileName.isEmpty())
        return true;
    showMessage(s, QStringLiteral("Error: Filename is empty!"));
    return false;
}

void appendMissingExtension(QString& name) {
    const QLatin1String extension(RegisterFileExtension);
    if (!name.endsWith(extension, Qt::CaseInsensitive))
        name += extension;
}

void reportFailure(Session& s, const char* what, const QString& reason) {
    showMessage(s, QStringLiteral("Error: %1 could not be %2: %3.")
                       .arg(s.currentFileName, QLatin1String(what), reason));
}

QString formatTarget(double number) {
    return QString::asprintf("%12.5f", number);
}

qint32 optionFlags(const MainWindowForm& ui) {
    qint32 flags = 0;
    if (ui.cbPLL_extend->isChecked())
        flags |= RegisterFileFlag::PllExtended;
    if (ui.cbF1_pref->isChecked())
        flags |= RegisterFileFlag::F1Preferred;
    if (ui.cbF2_pref->isChecked())
        flags |= RegisterFileFlag::F2Preferred;
    if (ui.cbF2_enable->isChecked())
        flags |= RegisterFileFlag::F2Enabled;
    return flags;
}

RegisterFileContents currentContents(const Session& s) {
    RegisterFileContents c;
    c.registers = s.image.bytes;
    c.fRef = s.fRef;
    c.flags = optionFlags(*s.ui);
    c.f1Number = targetFieldNumber(s.ui->leF1->text());
    c.f2Number = targetFieldNumber(s.ui->leF2->text());
    c.targetF1 = s.solver.targetF1;
    c.targetF2 = s.solver.targetF2;
    return c;
}

// Puts a decoded file into the image, the widgets and the chip. The handlers of sbFreference and
// cbPLL_extend run as the widgets change; updatingWidgets keeps the register editors and the
// target handlers out.
void applyContents(Session& s, const RegisterFileContents& c) {
    MainWindowForm& ui = *s.ui;
    s.fRef = c.fRef;
    s.solver.targetF1 = c.targetF1;
    s.solver.targetF2 = c.targetF2;

    s.updatingWidgets = true;
    s.image.bytes = c.registers;
    ui.sbFreference->setValue(static_cast<int>(c.fRef));  // the codec ensured that it fits
    const bool extended = c.flags & RegisterFileFlag::PllExtended;
    if (ui.cbPLL_extend->isChecked() != extended)
        ui.cbPLL_extend->toggle();
    ui.cbF1_pref->setChecked(c.flags & RegisterFileFlag::F1Preferred);
    ui.cbF2_pref->setChecked(c.flags & RegisterFileFlag::F2Preferred);
    const bool f2Enabled = c.flags & RegisterFileFlag::F2Enabled;
    ui.cbF2_enable->setChecked(f2Enabled);
    ui.leF2->setEnabled(f2Enabled);
    ui.cbF2_pref->setEnabled(f2Enabled);
    ui.leF1->setText(formatTarget(c.f1Number));
    ui.leF2->setText(formatTarget(c.f2Number));

    const QString loaded = QStringLiteral("Info: %1 successfully loaded.").arg(s.currentFileName);
    showMessage(s, loaded);
    StatusLineWatch watch(ui.statusBar, loaded);
    refreshRegisterGrid(s);
    watch.check();
    refreshDiagram(s);
    watch.check();
    refreshFrequencies(s);
    watch.check();
    pushCoreRegisters(s);
    watch.finish();
    s.updatingWidgets = false;
}

// Writes all of `bytes`, going on after a short write so that the one that fails sets the error.
bool writeAll(QSaveFile& file, const QByteArray& bytes) {
    qint64 written = 0;
    while (written < bytes.size()) {
        const qint64 step = file.write(bytes.constData() + written, bytes.size() - written);
        if (step <= 0)
            return false;
        written += step;
    }
    return true;
}
}  // namespace

void setFileNameProvider(FileNameProvider provider) {
    fileNameProvider() = provider ? std::move(provider) : FileNameProvider(standardDialog);
}

void onLoadAction(Session& s) {
    s.ui->statusBar->clearMessage();
    if (askFileName(s, FileDialogKind::Open, "Load File..."))
        loadRegisterFile(s);
}

void onSaveAsAction(Session& s) {
    s.ui->statusBar->clearMessage();
    if (!askFileName(s, FileDialogKind::Save, "Save File As..."))
        return;
    appendMissingExtension(s.currentFileName);
    saveRegisterFile(s);
}

void onSaveAction(Session& s) {
    s.ui->statusBar->clearMessage();
    if (s.currentFileName.isEmpty() && !askFileName(s, FileDialogKind::Save, "Save File..."))
        return;
    appendMissingExtension(s.currentFileName);
    saveRegisterFile(s);
}

// The file is replaced only by a complete new one: QSaveFile writes beside it and renames at
// commit, so a failure at any step leaves an earlier file as it was. Unbuffered, because a
// buffered QFileDevice can lose the tail of a short write (a full disk, a size limit) without
// reporting it, and the commit would then install a truncated file.
void saveRegisterFile(Session& s) {
    const QByteArray bytes = encodeRegisterFile(currentContents(s));
    QSaveFile file(s.currentFileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || !writeAll(file, bytes) ||
        !file.commit()) {
        reportFailure(s, "saved", file.errorString());
        return;
    }
    showMessage(s, QStringLiteral("Info: %1 successfully saved.").arg(s.currentFileName));
}

// The whole file is read and checked before anything is applied, so a refused file changes
// nothing in the image, the widgets or the chip.
void loadRegisterFile(Session& s) {
    QFile file(s.currentFileName);
    if (!file.open(QIODevice::ReadOnly)) {
        reportFailure(s, "loaded", file.errorString());
        return;
    }
    RegisterFileContents contents;
    QString reason;
    const bool usable = readRegisterFile(file, contents, reason);
    file.close();
    if (!usable) {
        reportFailure(s, "loaded", reason);
        return;
    }
    applyContents(s, contents);
}
