// SPDX-License-Identifier: MIT
#include "app/filecommands.h"
#include "registerfilebytes.h"
#include "windowfixture.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <limits>
#include <memory>

namespace {
constexpr quint8 ChipAddress = 0x69;
constexpr quint8 RequestWrite = 7;
constexpr quint8 RequestStatus = 3;

// The eleven grid registers in grid order, then the seven core registers.
const QList<int> GridOrder = {0x09, 0x0C, 0x12, 0x13, 0x40, 0x41, 0x42, 0x44, 0x45, 0x46, 0x47};
const QList<int> CoreOrder = {0x0C, 0x12, 0x13, 0x40, 0x41, 0x42, 0x47};

struct Question {
    QWidget* parent;
    QString caption;
    QString fileName;
};

struct DialogCall {
    FileDialogKind kind;
    QWidget* parent;
    QString caption;
    QString directory;
    QString filter;
};

// Registers that put the PLL at 200 MHz with a 10 MHz reference: PB 16, PO 0, Q 0, so no PLL
// warning in either range. LCLK1 takes the reference, the other registers carry a pattern.
RegisterFileContents stableFile() {
    RegisterFileContents c;
    for (int i = 0; i < 256; ++i)
        c.registers[size_t(i)] = quint8(i * 7 + 3);
    c.registers[0x40] = 0xC0;
    c.registers[0x41] = 0x10;
    c.registers[0x42] = 0x00;
    c.registers[0x44] = 0x00;
    c.fRef = 10000000;
    c.flags = 0;
    c.f1Number = 25000000;
    c.f2Number = 12000000;
    c.targetF1 = 25000000.5;
    c.targetF2 = 11999999.25;
    return c;
}

QString text12(double number) {
    return QString::asprintf("%12.5f", number);
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

// Everything a user can see of the editing widgets, for checking that nothing changed.
QStringList widgetStates(const QWidget* root) {
    QStringList states;
    for (const QWidget* w : root->findChildren<QWidget*>()) {
        QString state = w->objectName() + (w->isEnabled() ? " enabled" : " disabled");
        if (auto* edit = qobject_cast<const QLineEdit*>(w))
            state += " text=" + edit->text();
        else if (auto* button = qobject_cast<const QAbstractButton*>(w))
            state += QString(" checked=%1").arg(button->isChecked());
        else if (auto* spin = qobject_cast<const QSpinBox*>(w))
            state += QString(" value=%1").arg(spin->value());
        else if (auto* combo = qobject_cast<const QComboBox*>(w))
            state += QString(" index=%1").arg(combo->currentIndex());
        else
            continue;
        states << state;
    }
    return states;
}
}  // namespace

class TestFileActions : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void dialogs_data();
    void dialogs();
    void standardDialogByDefault();
    void cancelledDialog_data();
    void cancelledDialog();
    void saveWritesEveryField();
    void saveThenLoadRestoresEverything();
    void loadedFlags_data();
    void loadedFlags();
    void zeroF1NumberIsShownRightAligned();
    void fractionalReferenceIsTruncated_data();
    void fractionalReferenceIsTruncated();
    void extension_data();
    void extension();
    void replaceQuestion_data();
    void replaceQuestion();
    void standardSaveDialogAsksAboutTheWrittenFile();
    void saveAfterLoadUsesLoadedName();
    void cancelledLoadMakesSaveAsk();
    void refusedFile_data();
    void refusedFile();
    void unreadableFile_data();
    void unreadableFile();
    void failedSaveOpen_data();
    void failedSaveOpen();
    void failedSaveWriteKeepsOldFile();
    void loadWritesGridThenCoreRegisters();
    void statusAfterLoad_data();
    void statusAfterLoad();
    void fileNamedAtStartUp_data();
    void fileNamedAtStartUp();

private:
    MainWindowForm& ui() { return fixture_->ui(); }
    Session& session() { return fixture_->session(); }
    QString path(const QString& name) const { return dir_->filePath(name); }
    QString status() { return ui().statusBar->currentMessage(); }
    // Answers the next dialog as a user would; an empty answer cancels it.
    void answer(const QString& fileName) { answers_ << fileName; }
    // Answers the next question whether to replace a file.
    void reply(bool replace) { replies_ << replace; }
    void saveAs(const QString& fileName);
    void load(const QString& fileName);
    void loadBytes(const QByteArray& bytes, const QString& name = "file.cy22150.bin");
    void verifyWrites(const QList<int>& registers, const RegisterFileContents& file);

    std::unique_ptr<WindowFixture> fixture_;
    std::unique_ptr<QTemporaryDir> dir_;
    QList<DialogCall> calls_;
    QStringList answers_;
    QList<Question> questions_;
    QList<bool> replies_;
};

void TestFileActions::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    calls_.clear();
    answers_.clear();
    questions_.clear();
    replies_.clear();
    setReplaceQuestion([this](QWidget* parent, const QString& caption, const QString& fileName) {
        questions_.append({parent, caption, fileName});
        return !replies_.isEmpty() && replies_.takeFirst();
    });
    setFileNameProvider([this](FileDialogKind kind, QWidget* parent, const QString& caption,
                               const QString& directory, const QString& filter) {
        calls_.append({kind, parent, caption, directory, filter});
        return answers_.isEmpty() ? QString() : answers_.takeFirst();
    });
    fixture_ = std::make_unique<WindowFixture>();
    fixture_->open();
    QVERIFY(session().adapter.handle != nullptr);  // the start-up scan opened the adapter
}

void TestFileActions::cleanup() {
    fixture_.reset();
    setFileNameProvider({});
    setReplaceQuestion({});
    QVERIFY2(answers_.isEmpty(), "a dialog answer was left unused");
    QVERIFY2(replies_.isEmpty(), "a reply to a question was left unused");
}

void TestFileActions::saveAs(const QString& fileName) {
    answer(fileName);
    ui().actionSave_As->trigger();
}

void TestFileActions::load(const QString& fileName) {
    answer(fileName);
    ui().actionLoad->trigger();
}

void TestFileActions::loadBytes(const QByteArray& bytes, const QString& name) {
    writeAll(path(name), bytes);
    load(path(name));
}

// Each register goes out as one write request with register and value, then a status query.
void TestFileActions::verifyWrites(const QList<int>& registers, const RegisterFileContents& file) {
    const std::vector<SimTransfer>& transfers = fixture_->usb->transfers();
    QCOMPARE(int(transfers.size()), 2 * registers.size());
    for (int i = 0; i < registers.size(); ++i) {
        const SimTransfer& write = transfers[size_t(2 * i)];
        const SimTransfer& query = transfers[size_t(2 * i + 1)];
        const quint8 reg = quint8(registers[i]);
        QCOMPARE(int(write.request), int(RequestWrite));
        QCOMPARE(int(write.index), int(ChipAddress));
        QCOMPARE(write.data, (std::vector<quint8>{reg, file.registers[reg]}));
        QCOMPARE(int(query.request), int(RequestStatus));
    }
}

void TestFileActions::dialogs_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("caption");
    QTest::newRow("Load") << "actionLoad" << int(FileDialogKind::Open) << "Load File...";
    QTest::newRow("Save As") << "actionSave_As" << int(FileDialogKind::Save) << "Save File As...";
    QTest::newRow("Save without a name")
        << "actionSave" << int(FileDialogKind::Save) << "Save File...";
}

void TestFileActions::dialogs() {
    QFETCH(QString, action);
    QFETCH(int, kind);
    QFETCH(QString, caption);
    writeAll(path("chosen.cy22150.bin"), FileBytes::encode(stableFile()));
    answer(path("chosen.cy22150.bin"));
    const bool saving = kind == int(FileDialogKind::Save);
    if (saving)
        reply(true);  // the file exists
    fixture_->window->findChild<QAction*>(action)->trigger();
    QCOMPARE(calls_.size(), 1);
    QCOMPARE(questions_.size(), saving ? 1 : 0);
    QCOMPARE(int(calls_[0].kind), kind);
    QCOMPARE(calls_[0].parent, static_cast<QWidget*>(fixture_->window.get()));
    QCOMPARE(calls_[0].caption, caption);
    QCOMPARE(calls_[0].directory, QDir::homePath());
    QCOMPARE(calls_[0].filter, QString("CY22150 files (*.cy22150.bin)"));
    QCOMPARE(session().currentFileName, path("chosen.cy22150.bin"));
}

// Without a replacement the actions show Qt's own file dialog; a user picks a file in it.
void TestFileActions::standardDialogByDefault() {
    writeAll(path("picked.cy22150.bin"), FileBytes::encode(stableFile()));
    setFileNameProvider({});
    bool answered = false;
    int ticksSinceAnswer = 0;
    QString title, directory;
    QStringList filters;
    QWidget* parent = nullptr;
    // The dialog runs its own event loop; the timer answers it from inside.
    QTimer answerer;
    answerer.setInterval(10);
    connect(&answerer, &QTimer::timeout, [&] {
        QFileDialog* seen = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<QFileDialog*>(w); dialog && dialog->isVisible())
                seen = dialog;
        }
        if (!seen)
            return;
        if (answered) {
            // Still open long after the answer: give up rather than hang the suite.
            if (++ticksSinceAnswer > 200)
                seen->reject();
            return;
        }
        answered = true;
        title = seen->windowTitle();
        directory = seen->directory().absolutePath();
        filters = seen->nameFilters();
        parent = seen->parentWidget();
        // Type the name as a user does: selectFile() leaves the name field alone while that
        // field has the focus, which depends on when the dialog gets activated.
        auto* name = seen->findChild<QLineEdit*>("fileNameEdit");
        QVERIFY(name);
        name->setText(path("picked.cy22150.bin"));
        static_cast<QDialog*>(seen)->accept();  // as the Open button does
    });
    answerer.start();
    ui().actionLoad->trigger();
    QVERIFY(answered);
    QCOMPARE(title, QString("Load File..."));
    QCOMPARE(directory, QDir(QDir::homePath()).absolutePath());
    QCOMPARE(filters, QStringList{"CY22150 files (*.cy22150.bin)"});
    QCOMPARE(parent, static_cast<QWidget*>(fixture_->window.get()));
    QCOMPARE(session().currentFileName, path("picked.cy22150.bin"));
    QCOMPARE(status(), "Info: " + path("picked.cy22150.bin") + " successfully loaded.");
}

// A cancelled dialog empties the remembered name and neither reads nor writes anything.
void TestFileActions::cancelledDialog_data() {
    QTest::addColumn<QString>("action");
    QTest::newRow("Load") << "actionLoad";
    QTest::newRow("Save As") << "actionSave_As";
    QTest::newRow("Save without a name") << "actionSave";
}

void TestFileActions::cancelledDialog() {
    QFETCH(QString, action);
    session().currentFileName = "stale";
    if (action == "actionSave")
        session().currentFileName.clear();
    const QStringList before = widgetStates(fixture_->window.get());
    const RegisterImage image = session().image;
    ui().statusBar->showMessage("earlier message");
    answer(QString());
    fixture_->window->findChild<QAction*>(action)->trigger();
    QCOMPARE(calls_.size(), 1);
    QCOMPARE(status(), QString("Error: Filename is empty!"));
    QVERIFY(session().currentFileName.isEmpty());
    QVERIFY(image.bytes == session().image.bytes);
    QCOMPARE(widgetStates(fixture_->window.get()), before);
    QVERIFY(fixture_->usb->transfers().empty());
    QVERIFY(QDir(dir_->path()).isEmpty());
}

void TestFileActions::saveWritesEveryField() {
    // The options through their widgets: the extension's own handler runs, the F2 enable handler
    // solves once, which is why the image and the targets are set afterwards.
    ui().cbPLL_extend->setChecked(true);
    ui().cbF1_pref->setChecked(false);
    ui().cbF2_enable->setChecked(true);
    ui().cbF2_pref->setChecked(true);
    ui().sbFreference->setValue(14318000);
    ui().leF1->setText("  25000000.5 ");
    ui().leF2->setText("not a number");
    for (int i = 0; i < 256; ++i)
        session().image[i] = quint8(255 - i);
    session().solver.targetF1 = 33333333.25;
    session().solver.targetF2 = -1;
    fixture_->usb->resetTransfers();

    saveAs(path("state"));

    const QString saved = path("state.cy22150.bin");
    QCOMPARE(status(), "Info: " + saved + " successfully saved.");
    const QByteArray bytes = readAll(saved);
    QCOMPARE(bytes.size(), 304);
    QCOMPARE(bytes.left(4), QByteArray::fromHex("00000100"));
    for (int i = 0; i < 256; ++i)
        QCOMPARE(int(quint8(bytes[4 + i])), 255 - i);
    QCOMPARE(FileBytes::readDouble(bytes, 260), 14318000.0);
    QCOMPARE(FileBytes::readBigEndian(bytes, 268, 4), quint64(8 | 2 | 1));
    QCOMPARE(FileBytes::readDouble(bytes, 272), 25000000.5);
    QCOMPARE(FileBytes::readDouble(bytes, 280), 0.0);
    QCOMPARE(FileBytes::readDouble(bytes, 288), 33333333.25);
    QCOMPARE(FileBytes::readDouble(bytes, 296), -1.0);
    QVERIFY(fixture_->usb->transfers().empty());  // saving never touches the chip
}

void TestFileActions::saveThenLoadRestoresEverything() {
    // State A, saved.
    ui().cbPLL_extend->setChecked(true);
    ui().cbF2_enable->setChecked(true);
    ui().cbF1_pref->setChecked(false);
    ui().cbF2_pref->setChecked(true);
    ui().sbFreference->setValue(12000000);
    ui().leF1->setText(text12(30000000));
    ui().leF2->setText(text12(7500000.125));
    RegisterFileContents a = stableFile();
    session().image.bytes = a.registers;
    session().solver.targetF1 = 29999999.5;
    session().solver.targetF2 = 7500000.25;
    saveAs(path("a.cy22150.bin"));
    QCOMPARE(status(), "Info: " + path("a.cy22150.bin") + " successfully saved.");

    // State B, different in every field.
    ui().cbPLL_extend->setChecked(false);
    ui().cbF2_enable->setChecked(false);
    ui().cbF1_pref->setChecked(true);
    ui().cbF2_pref->setChecked(false);
    ui().cbF2_pref->setEnabled(false);
    ui().leF2->setEnabled(false);
    ui().sbFreference->setValue(20000000);
    ui().leF1->setText(text12(1000000));
    ui().leF2->setText(text12(2000000));
    session().image.bytes.fill(0x5A);
    session().solver.targetF1 = 1;
    session().solver.targetF2 = 2;

    load(path("a.cy22150.bin"));

    QVERIFY(session().image.bytes == a.registers);
    QCOMPARE(ui().sbFreference->value(), 12000000);
    QCOMPARE(session().fRef, 12000000.0);
    QCOMPARE(ui().cbPLL_extend->isChecked(), true);
    QCOMPARE(session().pllLowLimit, 25000000);
    QCOMPARE(session().pllHighLimit, 450000000);
    QCOMPARE(ui().cbF1_pref->isChecked(), false);
    QCOMPARE(ui().cbF2_pref->isChecked(), true);
    QCOMPARE(ui().cbF2_enable->isChecked(), true);
    QCOMPARE(ui().leF2->isEnabled(), true);
    QCOMPARE(ui().cbF2_pref->isEnabled(), true);
    QCOMPARE(ui().leF1->text(), text12(30000000));
    QCOMPARE(ui().leF2->text(), text12(7500000.125));
    QCOMPARE(session().solver.targetF1, 29999999.5);
    QCOMPARE(session().solver.targetF2, 7500000.25);
    QCOMPARE(session().currentFileName, path("a.cy22150.bin"));
    QCOMPARE(fixture_->form().updatingWidgets, false);
    // The grid shows the loaded image.
    QCOMPARE(ui().leVal05->text(), QString("0x10"));
    QCOMPARE(ui().sbPB->value(), 16);
}

void TestFileActions::loadedFlags_data() {
    QTest::addColumn<int>("flags");
    for (int flags = 0; flags < 16; ++flags)
        QTest::addRow("flags %d", flags) << flags;
}

// From the start-up state (normal range, F1 preferred, F2 disabled) every combination of the four
// options arrives in the widgets, with the enabling of leF2 and cbF2_pref done by the load itself.
void TestFileActions::loadedFlags() {
    QFETCH(int, flags);
    RegisterFileContents file = stableFile();
    file.flags = flags;
    const QString iterations = ui().lbIterations->text();
    loadBytes(FileBytes::encode(file));

    const bool f2 = flags & 1;
    QCOMPARE(ui().cbPLL_extend->isChecked(), bool(flags & 8));
    QCOMPARE(ui().cbF1_pref->isChecked(), bool(flags & 4));
    QCOMPARE(ui().cbF2_pref->isChecked(), bool(flags & 2));
    QCOMPARE(ui().cbF2_enable->isChecked(), f2);
    QCOMPARE(ui().leF2->isEnabled(), f2);
    QCOMPARE(ui().cbF2_pref->isEnabled(), f2);
    QCOMPARE(session().pllLowLimit, flags & 8 ? 25000000 : 100000000);
    QCOMPARE(session().pllHighLimit, flags & 8 ? 450000000 : 400000000);
    // The F2 enable handler stayed out: no solve, and leF2 keeps the file's number.
    QCOMPARE(ui().leF2->text(), text12(file.f2Number));
    QCOMPARE(ui().lbIterations->text(), iterations);
    verifyWrites(GridOrder + CoreOrder, file);
}

// The load shows the number right-aligned in twelve characters; the frequency refresh after it
// then fills a zero target with LCLK1's frequency, here the 10 MHz reference.
void TestFileActions::zeroF1NumberIsShownRightAligned() {
    RegisterFileContents file = stableFile();
    file.f1Number = 0;
    QSignalSpy texts(ui().leF1, &QLineEdit::textChanged);
    loadBytes(FileBytes::encode(file));
    QVERIFY(!texts.isEmpty());
    QCOMPARE(texts.first().first().toString(), QString("     0.00000"));
    QCOMPARE(ui().leF1->text(), text12(10000000));
}

void TestFileActions::fractionalReferenceIsTruncated_data() {
    QTest::addColumn<int>("shownBefore");
    QTest::newRow("the box shows another value") << 20000000;
    // The box's value does not change, so its slot does not run: the load itself must drop the
    // fraction.
    QTest::newRow("the box already shows the whole part") << 14318180;
}

// A reference with a fraction of a hertz loads as the box shows it, in whole hertz; the window
// computes with that value and saves it again, without the fraction.
void TestFileActions::fractionalReferenceIsTruncated() {
    QFETCH(int, shownBefore);
    ui().sbFreference->setValue(shownBefore);
    RegisterFileContents file = stableFile();
    file.fRef = 14318180.9;
    loadBytes(FileBytes::encode(file), "crystal.cy22150.bin");
    QCOMPARE(status(), "Info: " + path("crystal.cy22150.bin") + " successfully loaded.");
    QCOMPARE(ui().sbFreference->value(), 14318180);
    QCOMPARE(session().fRef, 14318180.0);
    QVERIFY(session().image.bytes == file.registers);

    saveAs(path("again.cy22150.bin"));
    const QByteArray saved = readAll(path("again.cy22150.bin"));
    QCOMPARE(saved.size(), RegisterFileSize);
    QCOMPARE(FileBytes::readDouble(saved, 260), 14318180.0);
}

void TestFileActions::extension_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("written");
    for (const char* action : {"actionSave_As", "actionSave"}) {
        const QString a = action;
        QTest::addRow("%s, missing", action) << a << "name"
                                             << "name.cy22150.bin";
        QTest::addRow("%s, present", action) << a << "name.cy22150.bin"
                                             << "name.cy22150.bin";
        QTest::addRow("%s, capitals", action) << a << "NAME.CY22150.BIN"
                                              << "NAME.CY22150.BIN";
        QTest::addRow("%s, mixed case", action) << a << "n.Cy22150.Bin"
                                                << "n.Cy22150.Bin";
        QTest::addRow("%s, other extension", action) << a << "n.bin"
                                                     << "n.bin.cy22150.bin";
        QTest::addRow("%s, extension inside", action) << a << "n.cy22150.bin.txt"
                                                      << "n.cy22150.bin.txt.cy22150.bin";
    }
}

void TestFileActions::extension() {
    QFETCH(QString, action);
    QFETCH(QString, chosen);
    QFETCH(QString, written);
    answer(path(chosen));
    fixture_->window->findChild<QAction*>(action)->trigger();
    QCOMPARE(session().currentFileName, path(written));
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files), QStringList{written});
    QCOMPARE(readAll(path(written)).size(), 304);
    QCOMPARE(status(), "Info: " + path(written) + " successfully saved.");
}

// The question comes after the ending is added and names that file; the dialog's own name may be
// another, existing file that is not touched. Declined, nothing is written and the remembered
// name stays as it was.
void TestFileActions::replaceQuestion_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("remembered");  // before the action; empty: none
    QTest::addColumn<QString>("typed");       // the dialog's answer; empty: no dialog
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<bool>("replace");
    QTest::addColumn<QString>("asked");    // the file the question names; empty: none
    QTest::addColumn<QString>("written");  // empty: none
    QTest::addColumn<QString>("rememberedAfter");
    const QString saveAs = "actionSave_As";
    const QString save = "actionSave";
    QTest::newRow("Save As, only the typed name exists")
        << saveAs << ""
        << "x.txt" << QStringList{"x.txt"} << false << ""
        << "x.txt.cy22150.bin"
        << "x.txt.cy22150.bin";
    QTest::newRow("Save As, the file with the ending exists, replaced")
        << saveAs << ""
        << "x.txt" << QStringList{"x.txt", "x.txt.cy22150.bin"} << true << "x.txt.cy22150.bin"
        << "x.txt.cy22150.bin"
        << "x.txt.cy22150.bin";
    QTest::newRow("Save As, declined")
        << saveAs << "before.cy22150.bin"
        << "x" << QStringList{"x.cy22150.bin"} << false << "x.cy22150.bin"
        << ""
        << "before.cy22150.bin";
    QTest::newRow("Save As, typed with the ending")
        << saveAs << ""
        << "y.CY22150.BIN" << QStringList{"y.CY22150.BIN"} << true << "y.CY22150.BIN"
        << "y.CY22150.BIN"
        << "y.CY22150.BIN";
    QTest::newRow("Save without a name, declined")
        << save << ""
        << "z" << QStringList{"z.cy22150.bin"} << false << "z.cy22150.bin"
        << ""
        << "";
    QTest::newRow("Save without a name, replaced")
        << save << ""
        << "z" << QStringList{"z.cy22150.bin"} << true << "z.cy22150.bin"
        << "z.cy22150.bin"
        << "z.cy22150.bin";
    QTest::newRow("Save to the remembered name")
        << save << "r.cy22150.bin"
        << "" << QStringList{"r.cy22150.bin"} << false << ""
        << "r.cy22150.bin"
        << "r.cy22150.bin";
    QTest::newRow("Save, the remembered name gains the ending, declined")
        << save << "plain"
        << "" << QStringList{"plain", "plain.cy22150.bin"} << false << "plain.cy22150.bin"
        << ""
        << "plain";
}

void TestFileActions::replaceQuestion() {
    QFETCH(QString, action);
    QFETCH(QString, remembered);
    QFETCH(QString, typed);
    QFETCH(QStringList, existing);
    QFETCH(bool, replace);
    QFETCH(QString, asked);
    QFETCH(QString, written);
    QFETCH(QString, rememberedAfter);
    const QByteArray old = "old";
    for (const QString& name : existing)
        writeAll(path(name), old);
    session().currentFileName = remembered.isEmpty() ? QString() : path(remembered);
    if (!typed.isEmpty())
        answer(path(typed));
    if (!asked.isEmpty())
        reply(replace);
    fixture_->window->findChild<QAction*>(action)->trigger();

    QCOMPARE(calls_.size(), typed.isEmpty() ? 0 : 1);
    QCOMPARE(questions_.size(), asked.isEmpty() ? 0 : 1);
    if (!asked.isEmpty()) {
        QCOMPARE(questions_[0].fileName, path(asked));
        QCOMPARE(questions_[0].caption,
                 QString(action == "actionSave_As" ? "Save File As..." : "Save File..."));
        QCOMPARE(questions_[0].parent, static_cast<QWidget*>(fixture_->window.get()));
    }
    for (const QString& name : existing)
        if (name != written)
            QCOMPARE(readAll(path(name)), old);
    if (written.isEmpty()) {
        QCOMPARE(QDir(dir_->path()).entryList(QDir::Files).size(), existing.size());
        QCOMPARE(status(), QString("Info: Nothing was saved."));
    } else {
        QCOMPARE(readAll(path(written)).size(), 304);
        QCOMPARE(status(), "Info: " + path(written) + " successfully saved.");
    }
    QCOMPARE(session().currentFileName,
             rememberedAfter.isEmpty() ? QString() : path(rememberedAfter));
}

// Qt's own save dialog, typed into as a user does: the one question is about the file written.
void TestFileActions::standardSaveDialogAsksAboutTheWrittenFile() {
    writeAll(path("x.txt"), "text");
    writeAll(path("x.txt.cy22150.bin"), "old");
    setFileNameProvider({});
    setReplaceQuestion({});
    QStringList questions;
    bool typed = false;
    QTimer answerer;
    answerer.setInterval(10);
    connect(&answerer, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->isVisible())
                continue;
            if (auto* box = qobject_cast<QMessageBox*>(w)) {
                questions << box->text();
                box->button(QMessageBox::Yes)->click();
                return;
            }
            auto* dialog = qobject_cast<QFileDialog*>(w);
            if (dialog && !typed) {
                typed = true;
                auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
                QVERIFY(name);
                name->setText(path("x.txt"));
                static_cast<QDialog*>(dialog)->accept();  // as the Save button does
                return;
            }
            if (dialog && questions.size() > 20)
                dialog->reject();  // an answer that did not take: end rather than hang
        }
    });
    answerer.start();
    ui().actionSave_As->trigger();
    answerer.stop();
    QVERIFY(typed);
    QCOMPARE(questions, QStringList{path("x.txt.cy22150.bin") +
                                    " already exists.\nDo you want to replace it?"});
    QCOMPARE(readAll(path("x.txt")), QByteArray("text"));
    QCOMPARE(readAll(path("x.txt.cy22150.bin")).size(), 304);
}

void TestFileActions::saveAfterLoadUsesLoadedName() {
    RegisterFileContents file = stableFile();
    loadBytes(FileBytes::encode(file), "plain");  // the load takes the name as it is
    QCOMPARE(status(), "Info: " + path("plain") + " successfully loaded.");
    ui().actionSave->trigger();
    QCOMPARE(calls_.size(), 1);  // only the Load asked
    QCOMPARE(session().currentFileName, path("plain.cy22150.bin"));
    QCOMPARE(status(), "Info: " + path("plain.cy22150.bin") + " successfully saved.");
    QCOMPARE(readAll(path("plain.cy22150.bin")), FileBytes::encode(file));
}

void TestFileActions::cancelledLoadMakesSaveAsk() {
    saveAs(path("first"));
    ui().actionSave->trigger();  // the remembered name: no dialog
    QCOMPARE(calls_.size(), 1);

    answer(QString());
    ui().actionLoad->trigger();
    QCOMPARE(status(), QString("Error: Filename is empty!"));
    QVERIFY(session().currentFileName.isEmpty());

    answer(path("second"));
    ui().actionSave->trigger();
    QCOMPARE(calls_.size(), 3);
    QCOMPARE(calls_.last().caption, QString("Save File..."));
    QCOMPARE(session().currentFileName, path("second.cy22150.bin"));
    QVERIFY(QFile::exists(path("second.cy22150.bin")));
}

void TestFileActions::refusedFile_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");
    const RegisterFileContents good = stableFile();
    const QByteArray goodBytes = FileBytes::encode(good);
    const QString early = "the file ends before its last field";

    QByteArray shortBlock = goodBytes;
    shortBlock.remove(4, 16);
    shortBlock.replace(0, 4, QByteArray::fromHex("000000f0"));
    QTest::newRow("short block") << shortBlock
                                 << "the register block holds only 240 bytes instead of 256";
    QTest::newRow("truncated in the block") << goodBytes.left(100) << early;
    QByteArray hostile = goodBytes;
    hostile.replace(0, 4, QByteArray::fromHex("fffffff0"));
    QTest::newRow("huge block length") << hostile << early;

    auto with = [&](void (*set)(RegisterFileContents&)) {
        RegisterFileContents c = good;
        set(c);
        return FileBytes::encode(c);
    };
    QTest::newRow("fRef NaN") << with([](RegisterFileContents& c) {
        c.fRef = std::numeric_limits<double>::quiet_NaN();
    }) << "the reference frequency is not a finite number";
    QTest::newRow("fRef too large") << with([](RegisterFileContents& c) { c.fRef = 1e10; })
                                    << "the reference frequency 1e+10 Hz is out of range";
    // sbFreference shows whole hertz from 1 MHz to 200 MHz; the window computes with what it shows.
    QTest::newRow("fRef below the spin box") << with([](RegisterFileContents& c) { c.fRef = 0.4; })
                                             << "the reference frequency 0.4 Hz is out of range";
    QTest::newRow("F1 infinite") << with([](RegisterFileContents& c) {
        c.f1Number = std::numeric_limits<double>::infinity();
    }) << "the F1 frequency is not a finite number";
    QTest::newRow("targetF2 NaN") << with([](RegisterFileContents& c) {
        c.targetF2 = std::numeric_limits<double>::quiet_NaN();
    }) << "the F2 target is not a finite number";
}

// A refused file leaves the image, every widget, the solver's targets and the chip as they were.
void TestFileActions::refusedFile() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    session().solver.targetF1 = 123;
    session().currentFileName = path("kept.cy22150.bin");
    const RegisterImage image = session().image;
    const QStringList widgets = widgetStates(fixture_->window.get());
    const double fRef = session().fRef;
    const auto chipRegisters = fixture_->chip->registers();

    loadBytes(bytes, "bad.cy22150.bin");
    // The next Save goes where it went before, never over the refused file.
    QCOMPARE(session().currentFileName, path("kept.cy22150.bin"));

    QCOMPARE(status(),
             "Error: " + path("bad.cy22150.bin") + " could not be loaded: " + reason + ".");
    QVERIFY(image.bytes == session().image.bytes);
    QCOMPARE(widgetStates(fixture_->window.get()), widgets);
    QCOMPARE(session().fRef, fRef);
    QCOMPARE(session().solver.targetF1, 123.0);
    QVERIFY(fixture_->usb->transfers().empty());
    QVERIFY(fixture_->chip->registers() == chipRegisters);
    QCOMPARE(fixture_->form().updatingWidgets, false);
}

void TestFileActions::unreadableFile_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");  // empty: the system's own words
    QTest::newRow("missing") << "missing.cy22150.bin" << QString();
    QTest::newRow("pipe") << "pipe.cy22150.bin"
                          << "it is not a regular file";
    QTest::newRow("directory") << "dir.cy22150.bin"
                               << "it is not a regular file";
    QTest::newRow("line feed in the name") << "two\nlines.cy22150.bin" << QString();
}

// Nothing is read from what is not a regular file: a pipe would block the window.
void TestFileActions::unreadableFile() {
    QFETCH(QString, name);
    QFETCH(QString, reason);
    QCOMPARE(::mkfifo(QFile::encodeName(path("pipe.cy22150.bin")).constData(), 0600), 0);
    QVERIFY(QDir(dir_->path()).mkdir("dir.cy22150.bin"));
    session().currentFileName.clear();
    const RegisterImage image = session().image;
    const QStringList widgets = widgetStates(fixture_->window.get());
    load(path(name));
    // The status line stays one line: a line feed in the name shows as its control picture.
    const QString shown = path(name).replace(QChar('\n'), QChar(0x240A));
    const QString prefix = "Error: " + shown + " could not be loaded: ";
    QVERIFY2(status().startsWith(prefix), qPrintable(status()));
    if (reason.isEmpty())
        QVERIFY(status().size() > prefix.size() + 1);  // a reason follows
    else
        QCOMPARE(status(), prefix + reason + ".");
    QVERIFY(image.bytes == session().image.bytes);
    QCOMPARE(widgetStates(fixture_->window.get()), widgets);
    QVERIFY(fixture_->usb->transfers().empty());
    QCOMPARE(session().currentFileName, QString());
}

void TestFileActions::failedSaveOpen_data() {
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("target");
    QTest::newRow("directory does not exist") << "no/such/dir/f"
                                              << "no/such/dir/f.cy22150.bin";
    QTest::newRow("name of a directory") << "taken.cy22150.bin"
                                         << "taken.cy22150.bin";
}

void TestFileActions::failedSaveOpen() {
    QFETCH(QString, chosen);
    QFETCH(QString, target);
    QVERIFY(QDir(dir_->path()).mkdir("taken.cy22150.bin"));
    saveAs(path(chosen));
    const QString prefix = "Error: " + path(target) + " could not be saved: ";
    QVERIFY2(status().startsWith(prefix), qPrintable(status()));
    QVERIFY(status().size() > prefix.size() + 1);
    QVERIFY(!QFileInfo(path(target)).isFile());
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files), QStringList());
}

// A write that fails (here the process may write no file longer than 100 bytes, which also
// binds root) reports the error and leaves the earlier file as it was, without stray files.
void TestFileActions::failedSaveWriteKeepsOldFile() {
    const QByteArray old(1000, 'o');
    writeAll(path("kept.cy22150.bin"), old);

    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 100;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    reply(true);
    saveAs(path("kept.cy22150.bin"));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    const QString prefix = "Error: " + path("kept.cy22150.bin") + " could not be saved: ";
    QVERIFY2(status().startsWith(prefix), qPrintable(status()));
    QCOMPARE(readAll(path("kept.cy22150.bin")), old);
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{"kept.cy22150.bin"});
}

// The load writes the eleven grid registers in grid order (the grid refresh), then the seven
// core registers. Nothing else reaches the chip: the reference and range handlers only compute,
// the diagram refresh and the frequency refresh write nothing, and the solver does not run.
void TestFileActions::loadWritesGridThenCoreRegisters() {
    RegisterFileContents file = stableFile();
    file.flags = 8 | 1;    // the range and F2 enable handlers see a change
    file.fRef = 16000000;  // and so does the reference handler
    fixture_->chip->setRegisterValue(0x10, 0xEE);
    loadBytes(FileBytes::encode(file));
    verifyWrites(GridOrder + CoreOrder, file);
    for (int reg = 0; reg < 256; ++reg) {
        const bool written = GridOrder.contains(reg);
        const int expected = written       ? file.registers[size_t(reg)]
                             : reg == 0x10 ? 0xEE
                             : reg == 0x13 ? 0x40
                                           : 0;
        QCOMPARE(int(fixture_->chip->registerValue(reg)), expected);
    }
}

void TestFileActions::statusAfterLoad_data() {
    QTest::addColumn<int>("flags");
    QTest::addColumn<int>("register42");
    QTest::addColumn<int>("failingTransfer");
    QTest::addColumn<QString>("expected");  // "success" stands for the success message
    // Q counter 0 puts the PLL at 200 MHz, Q counter 8 (Qtotal 10) at 40 MHz.
    QTest::newRow("no report: success stays") << 0 << 0x00 << -1 << "success";
    QTest::newRow("low PLL warning") << 0 << 0x08 << -1 << "Warning: unstable LOW PLL frequency!";
    QTest::newRow("40 MHz is stable in the extended range") << 8 << 0x08 << -1 << "success";
    // Transfer 34 is the write of 0x47 by the last core push.
    QTest::newRow("failed chip write") << 0 << 0x00 << 34 << "Error: simulated failure";
    // Transfer 4 is the grid refresh's write of 0x12; later refreshes clear the bar, the failure
    // comes back at the end.
    QTest::newRow("failed grid write") << 0 << 0x00 << 4 << "Error: simulated failure";
}

void TestFileActions::statusAfterLoad() {
    QFETCH(int, flags);
    QFETCH(int, register42);
    QFETCH(int, failingTransfer);
    QFETCH(QString, expected);
    RegisterFileContents file = stableFile();
    file.flags = flags;
    file.registers[0x42] = quint8(register42);
    if (failingTransfer >= 0)
        fixture_->usb->injectFault(failingTransfer, SimFault::failure(-1, "simulated failure"));
    loadBytes(FileBytes::encode(file));
    if (expected == "success")
        expected = "Info: " + path("file.cy22150.bin") + " successfully loaded.";
    QCOMPARE(status(), expected);
    QVERIFY(session().image.bytes == file.registers);  // a failed write undoes nothing
}

// `vantrel FILE`: the start-up scan as without a file, then the file loaded as File > Load loads
// it, with its writes; a refused file changes nothing the scan left.
void TestFileActions::fileNamedAtStartUp_data() {
    QTest::addColumn<QByteArray>("bytes");  // empty: no such file
    QTest::addColumn<bool>("loads");
    QTest::newRow("register file") << FileBytes::encode(stableFile()) << true;
    QTest::newRow("missing file") << QByteArray() << false;
    QTest::newRow("not a register file") << QByteArray(304, 'x') << false;
}

void TestFileActions::fileNamedAtStartUp() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, loads);
    const QString name = path("board.cy22150.bin");
    if (!bytes.isEmpty())
        writeAll(name, bytes);
    const std::vector<SimTransfer> scanOnly = fixture_->startUpTransfers;
    const RegisterImage chipImage = session().image;
    fixture_ = std::make_unique<WindowFixture>();
    fixture_->open(name);

    const std::vector<SimTransfer>& seen = fixture_->startUpTransfers;
    const size_t loadTransfers = loads ? 2 * size_t(GridOrder.size() + CoreOrder.size()) : 0;
    QCOMPARE(seen.size(), scanOnly.size() + loadTransfers);
    for (size_t i = 0; i < scanOnly.size(); ++i) {
        QCOMPARE(int(seen[i].request), int(scanOnly[i].request));
        QCOMPARE(seen[i].data, scanOnly[i].data);
    }
    const RegisterFileContents file = stableFile();
    const QList<int> loadOrder = GridOrder + CoreOrder;
    for (int i = 0; loads && i < loadOrder.size(); ++i) {
        const quint8 reg = quint8(loadOrder[i]);
        QCOMPARE(seen[scanOnly.size() + size_t(2 * i)].data,
                 (std::vector<quint8>{reg, file.registers[reg]}));
    }

    if (loads) {
        QCOMPARE(status(), QString("Info: %1 successfully loaded.").arg(name));
        QCOMPARE(session().currentFileName, name);
        QVERIFY(session().image.bytes == file.registers);
    } else {
        QVERIFY2(status().startsWith(QString("Error: %1 could not be loaded: ").arg(name)),
                 qPrintable(status()));
        QVERIFY(session().currentFileName.isEmpty());
        QVERIFY(session().image.bytes == chipImage.bytes);
    }
}

QTEST_MAIN(TestFileActions)
#include "tst_fileactions.moc"
