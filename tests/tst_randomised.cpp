// SPDX-License-Identifier: MIT
// Thousands of random user actions on the real window over a healthy simulated adapter. After
// every action the register image, the grid, the block diagram, the frequency display and the
// chip must agree, and actions with a known effect must have had exactly that effect.
//
// The run follows a seed: VANTREL_RANDOM_SEED replays another one, VANTREL_RANDOM_ACTIONS sets
// the number of actions per row and VANTREL_RANDOM_TRACE=1 prints every action before it runs
// (for a crash, where no failure message comes). A failure names the seed, the row and the
// action.

#include "app/filecommands.h"
#include "common/printabletext.h"
#include "frequency/typedfrequency.h"
#include "views/mainwindowform.h"
#include "windowfixture.h"

#include <QAbstractItemView>
#include <QTemporaryDir>
#include <QtTest>

#include <array>
#include <deque>
#include <functional>
#include <map>
#include <random>

namespace {
constexpr quint32 DefaultSeed = 20261207;
constexpr int DefaultActionCount = 2000;
constexpr int HistoryLength = 6;

// The eleven registers of the grid, top to bottom; row k's widgets carry k as two digits.
constexpr std::array<int, 11> GridRegisters = {0x09, 0x0C, 0x12, 0x13, 0x40, 0x41,
                                               0x42, 0x44, 0x45, 0x46, 0x47};
constexpr std::array<int, 7> CoreWrites = {0x0C, 0x12, 0x13, 0x40, 0x41, 0x42, 0x47};

quint32 seedFromEnvironment() {
    bool ok = false;
    const quint32 seed = qEnvironmentVariable("VANTREL_RANDOM_SEED").toUInt(&ok, 0);
    return ok ? seed : DefaultSeed;
}

int actionCountFromEnvironment() {
    bool ok = false;
    const int count = qEnvironmentVariableIntValue("VANTREL_RANDOM_ACTIONS", &ok);
    return ok && count > 0 ? count : DefaultActionCount;
}

// The C++ standard fixes mt19937 to the bit, and the ranges are mapped here rather than by the
// standard library's distributions, so a seed replays the same run with any toolchain.
class Random {
public:
    explicit Random(quint32 seed) : engine_(seed) {}
    int below(int n) { return int(engine_() % quint32(n)); }
    int between(int low, int high) { return low + below(high - low + 1); }
    bool chance(int percent) { return below(100) < percent; }
    template <typename T>
    T pick(std::initializer_list<T> items) {
        return items.begin()[below(int(items.size()))];
    }

private:
    std::mt19937 engine_;
};

// The register fields, decoded here on their own so that the checks do not lean on the code
// under test.
struct Decoded {
    explicit Decoded(const RegisterImage& r) : r(r) {}
    const RegisterImage& r;
    int xdrv() const { return (r[0x12] >> 3) & 3; }
    int capload() const { return r[0x13]; }
    int pump() const { return (r[0x40] >> 2) & 7; }
    int pb() const { return ((r[0x40] & 3) << 8) | r[0x41]; }
    bool po() const { return r[0x42] & 0x80; }
    int q() const { return r[0x42] & 0x7F; }
    int div1n() const { return r[0x0C] & 0x7F; }
    int div2n() const { return r[0x47] & 0x7F; }
    bool div1FromRef() const { return r[0x0C] & 0x80; }
    bool div2FromRef() const { return r[0x47] & 0x80; }
    bool outputEnabled(int i) const { return (r[0x09] >> i) & 1; }
    int code(int i) const {
        const int word = (r[0x44] << 10) | (r[0x45] << 2) | (r[0x46] >> 6);
        return (word >> (15 - 3 * i)) & 7;
    }
};

QString hex(int value) {
    return QString::asprintf("0x%02X", value);
}

QString hz(double value) {
    return QString::asprintf("%12.5f Hz", value);
}

// QObject::receivers() is protected; a member pointer taken in a derived class reaches it.
struct ReceiverCount : QObject {
    static int of(const QObject* object, const char* signal) {
        return (object->*(&ReceiverCount::receivers))(signal);
    }
};

void click(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

// What a register file holds that a load must bring back.
struct SavedState {
    RegisterImage image;
    double fRef = 0;
    bool pllExtended = false;
    bool f1Preferred = false;
    bool f2Preferred = false;
    bool f2Enabled = false;
};
}  // namespace

// One window, one simulated adapter and chip, and a stream of random actions on them.
class RandomRun {
public:
    RandomRun(quint32 seed, bool randomChip) : random_(seed) {
        if (randomChip)
            for (int reg = 0; reg < SimCy22150::RegisterCount; ++reg)
                f_.chip->setRegisterValue(reg, quint8(random_.below(256)));
        setFileNameProvider([this](FileDialogKind, QWidget*, const QString&, const QString&,
                                   const QString&) { return dialogAnswer_; });
    }
    ~RandomRun() { setFileNameProvider({}); }

    // Builds and shows the window and checks its first state. Returns a problem, or nothing.
    QString start() {
        MainWindow& w = f_.open();
        showMainWindow(w);
        if (!QTest::qWaitForWindowExposed(&w))
            return "the window was never exposed";
        w.activateWindow();
        if (!QTest::qWaitForWindowActive(&w))
            return "the window never became active, so focus cannot move";
        if (!f_.session().adapter.handle)
            return "the start-up scan opened no adapter";
        if (!dir_.isValid())
            return "no temporary directory for the register files";
        return consistencyProblems();
    }

    // Runs one random action and checks the window afterwards.
    QString step() {
        ui_ = &f_.ui();
        before_ = f_.session().image;
        focusAtStart_ = QApplication::focusWidget();
        f_.usb->resetTransfers();

        QString problem = randomAction();
        if (problem.isEmpty())
            problem = writesOnlyGridRegisters();
        if (problem.isEmpty())
            problem = consistencyProblems();
        // Let the event loop run between actions, as it does between a user's clicks: the window
        // repaints what changed.
        QCoreApplication::processEvents();
        history_.push_back(description_);
        if (int(history_.size()) > HistoryLength)
            history_.pop_front();
        return problem;
    }

    const QString& description() const { return description_; }
    QString history() const {
        QStringList lines;
        for (const QString& d : history_)
            lines << d;
        return lines.join("\n    ");
    }

private:
    using Writes = std::vector<std::pair<int, int>>;

    void describe(const QString& what) {
        description_ = what;
        if (qEnvironmentVariableIntValue("VANTREL_RANDOM_TRACE"))
            qInfo().noquote() << "action:" << what;
    }

    // A target field that had focus finishes its edit when focus leaves it, and its solve then
    // changes and writes registers of its own: the exact effect of an action that moves focus is
    // known only when no target field had it, or when the action works in that very field.
    bool exact(const QWidget* workingIn = nullptr) const {
        const bool inTarget = focusAtStart_ == ui_->leF1 || focusAtStart_ == ui_->leF2;
        return !inTarget || focusAtStart_ == workingIn;
    }

    Writes gridWrites() const {
        Writes w;
        for (int reg : GridRegisters)
            w.emplace_back(reg, f_.session().image[reg]);
        return w;
    }

    QString imageChangedOnly(std::initializer_list<int> registers) const {
        const RegisterImage& now = f_.session().image;
        for (int reg = 0; reg < RegisterImage::Size; ++reg) {
            if (std::find(registers.begin(), registers.end(), reg) != registers.end())
                continue;
            if (now[reg] != before_[reg])
                return QString("register %1 changed from %2 to %3")
                    .arg(hex(reg), hex(before_[reg]), hex(now[reg]));
        }
        return {};
    }

    QString expectWrites(const Writes& expected) const {
        const Writes actual = f_.writes();
        if (actual == expected)
            return {};
        auto text = [](const Writes& w) {
            QStringList items;
            for (auto [reg, value] : w)
                items << hex(reg) + "=" + hex(value);
            return "[" + items.join(" ") + "]";
        };
        return QString("writes %1, expected %2").arg(text(actual), text(expected));
    }

    // The mix of actions, in parts of 200. An Open or a Scan reads all 256 registers with a
    // progress repaint per byte, a hundred times the cost of an edit, so they come rarely.
    QString randomAction() {
        int roll = random_.below(200);
        const std::pair<int, QString (RandomRun::*)()> mix[] = {
            {44, &RandomRun::clickBitBox},      {12, &RandomRun::clickOutputButton},
            {10, &RandomRun::clickDivSource},   {8, &RandomRun::clickPo},
            {20, &RandomRun::chooseMatrixItem}, {28, &RandomRun::changeRegisterSpinBox},
            {8, &RandomRun::changeReference},   {26, &RandomRun::typeTarget},
            {20, &RandomRun::toggleOption},     {22, &RandomRun::fileAction},
            {2, &RandomRun::usbAction},
        };
        for (const auto& [share, action] : mix) {
            if (roll < share)
                return (this->*action)();
            roll -= share;
        }
        return "the action mix does not add up to 200";
    }

    // --- the register grid ---

    QString clickBitBox() {
        const int row = random_.below(int(GridRegisters.size()));
        const int bit = random_.below(8);
        const int reg = GridRegisters[std::size_t(row)];
        auto* box = f_.window->findChild<QCheckBox*>(QString::asprintf("cb%02d%d", row, bit));
        const bool byKey = random_.chance(25);
        describe(QString("%1 bit %2 of register %3 (%4)")
                     .arg(byKey ? "Space on" : "click on")
                     .arg(bit)
                     .arg(hex(reg), box->objectName()));
        if (byKey) {
            box->setFocus(Qt::TabFocusReason);
            QTest::keyClick(box, Qt::Key_Space);
        } else {
            click(box);
        }
        if (!exact())
            return {};
        const int expected = before_[reg] ^ (1 << bit);
        if (f_.session().image[reg] != expected)
            return QString("register %1 holds %2, expected %3")
                .arg(hex(reg), hex(f_.session().image[reg]), hex(expected));
        // Only the toggled register differs from its value field, so it alone is written.
        QString problem = imageChangedOnly({reg});
        return problem.isEmpty() ? expectWrites({{reg, expected}}) : problem;
    }

    // --- the block diagram ---

    QString clickOutputButton() {
        QPushButton* buttons[] = {ui_->pbLCLK1, ui_->pbLCLK2, ui_->pbLCLK3,
                                  ui_->pbLCLK4, ui_->pbCLK5,  ui_->pbCLK6};
        const int output = random_.below(6);
        describe("click on " + buttons[output]->objectName());
        click(buttons[output]);
        if (!exact())
            return {};
        const int expected = before_[0x09] ^ (1 << output);
        if (f_.session().image[0x09] != expected)
            return QString("register 0x09 holds %1, expected %2")
                .arg(hex(f_.session().image[0x09]), hex(expected));
        Writes expectedWrites = gridWrites();
        expectedWrites.emplace_back(0x09, expected);
        QString problem = imageChangedOnly({0x09});
        return problem.isEmpty() ? expectWrites(expectedWrites) : problem;
    }

    // A click selects the clicked button; an arrow key selects the other button of the pair, or
    // nothing at the end of the pair; Space selects the focused one again.
    QString clickDivSource() {
        QRadioButton* buttons[] = {ui_->rbDIV1CLK_ref, ui_->rbDIV1CLK_PLL, ui_->rbDIV2CLK_ref,
                                   ui_->rbDIV2CLK_PLL};
        const int which = random_.below(4);
        QRadioButton* button = buttons[which];
        const bool byKey = random_.chance(30);
        if (byKey) {
            const Qt::Key key = random_.pick({Qt::Key_Up, Qt::Key_Down, Qt::Key_Space});
            describe(
                QString("key %1 on %2").arg(QKeySequence(key).toString(), button->objectName()));
            button->setFocus(Qt::TabFocusReason);
            QTest::keyClick(button, key);
        } else {
            describe("click on " + button->objectName());
            click(button);
        }
        if (!exact())
            return {};
        if (byKey && f_.writes().empty())
            return imageChangedOnly({});
        const int reg = which < 2 ? 0x0C : 0x47;
        const bool fromReference = buttons[which < 2 ? 0 : 2]->isChecked();
        if (!byKey && fromReference != (which % 2 == 0))
            return button->objectName() + " is not selected after its click";
        const int expected = (before_[reg] & 0x7F) | (fromReference ? 0x80 : 0);
        if (f_.session().image[reg] != expected)
            return QString("register %1 holds %2, expected %3")
                .arg(hex(reg), hex(f_.session().image[reg]), hex(expected));
        // Written twice: in the grid refresh and on its own.
        Writes expectedWrites = gridWrites();
        expectedWrites.emplace_back(reg, expected);
        QString problem = imageChangedOnly({reg});
        return problem.isEmpty() ? expectWrites(expectedWrites) : problem;
    }

    QString clickPo() {
        describe("click on cbPO");
        click(ui_->cbPO);
        if (!exact())
            return {};
        const int expected = before_[0x42] ^ 0x80;
        if (f_.session().image[0x42] != expected)
            return QString("register 0x42 holds %1, expected %2")
                .arg(hex(f_.session().image[0x42]), hex(expected));
        Writes expectedWrites = gridWrites();
        expectedWrites.emplace_back(0x42, expected);
        QString problem = imageChangedOnly({0x42});
        return problem.isEmpty() ? expectWrites(expectedWrites) : problem;
    }

    QString chooseMatrixItem() {
        QComboBox* boxes[] = {ui_->cbMatrix_LCLK1, ui_->cbMatrix_LCLK2, ui_->cbMatrix_LCLK3,
                              ui_->cbMatrix_LCLK4, ui_->cbMatrix_CLK5,  ui_->cbMatrix_CLK6};
        const int output = random_.below(6);
        QComboBox* box = boxes[output];
        if (random_.chance(60)) {
            const int item = random_.below(8);
            describe(QString("choose item %1 \"%2\" in the list of %3")
                         .arg(item)
                         .arg(box->itemText(item), box->objectName()));
            box->setFocus(Qt::MouseFocusReason);
            box->showPopup();
            QAbstractItemView* view = box->view();
            const QRect rect = view->visualRect(view->model()->index(item, 0));
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
            if (view->isVisible()) {
                box->hidePopup();
                return "the list stayed open after the click on an item";
            }
            if (box->currentIndex() != item)
                return QString("%1 shows item %2 after item %3 was chosen")
                    .arg(box->objectName())
                    .arg(box->currentIndex())
                    .arg(item);
        } else {
            const Qt::Key key = random_.pick({Qt::Key_Up, Qt::Key_Down, Qt::Key_Home, Qt::Key_End});
            describe(QString("key %1 on %2").arg(QKeySequence(key).toString(), box->objectName()));
            box->setFocus(Qt::TabFocusReason);
            QTest::keyClick(box, key);
        }
        if (!exact())
            return {};
        const int code = box->currentIndex();
        const int oldCode = Decoded(before_).code(output);
        const Decoded now(f_.session().image);
        for (int i = 0; i < 6; ++i) {
            const int expected = i == output ? code : Decoded(before_).code(i);
            if (now.code(i) != expected)
                return QString("crosspoint code of output %1 is %2, expected %3")
                    .arg(i)
                    .arg(now.code(i))
                    .arg(expected);
        }
        if ((f_.session().image[0x46] & 0x3F) != (before_[0x46] & 0x3F))
            return "the low six bits of register 0x46 changed";
        QString problem = imageChangedOnly({0x44, 0x45, 0x46});
        if (!problem.isEmpty())
            return problem;
        if (code == oldCode)
            return expectWrites({});
        Writes expectedWrites = {{0x44, f_.session().image[0x44]},
                                 {0x45, f_.session().image[0x45]},
                                 {0x46, f_.session().image[0x46]}};
        for (const auto& w : gridWrites())
            expectedWrites.push_back(w);
        return expectWrites(expectedWrites);
    }

    // Up or down by keys, a page, a typed number or a value set by the program.
    void changeSpinBox(QSpinBox* box) {
        const int method = random_.below(4);
        box->setFocus(Qt::TabFocusReason);
        if (method == 0) {
            const int presses = random_.between(1, 3);
            const Qt::Key key = random_.pick({Qt::Key_Up, Qt::Key_Down});
            describe(QString("%1 x key %2 on %3")
                         .arg(presses)
                         .arg(QKeySequence(key).toString(), box->objectName()));
            for (int i = 0; i < presses; ++i)
                QTest::keyClick(box, key);
        } else if (method == 1) {
            const Qt::Key key = random_.pick({Qt::Key_PageUp, Qt::Key_PageDown});
            describe(QString("key %1 on %2").arg(QKeySequence(key).toString(), box->objectName()));
            QTest::keyClick(box, key);
        } else if (method == 2) {
            const int span = box->maximum() - box->minimum();
            const QString text = random_.chance(10)
                                     ? QString("-x")
                                     : QString::number(box->minimum() - span / 10 +
                                                       random_.below(span + span / 5 + 1));
            const bool viaTab = random_.chance(30);
            describe(QString("type \"%1\" into %2, then %3")
                         .arg(text, box->objectName(), viaTab ? "Tab" : "Return"));
            QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(box, text);
            QTest::keyClick(box, viaTab ? Qt::Key_Tab : Qt::Key_Return);
        } else {
            const int value = random_.between(box->minimum() - 3, box->maximum() + 3);
            describe(QString("set %1 to %2").arg(box->objectName()).arg(value));
            box->setValue(value);
        }
    }

    QString changeRegisterSpinBox() {
        QSpinBox* boxes[] = {ui_->sbXCOdrive, ui_->sbCAPLOAD, ui_->sbChargePump, ui_->sbPB,
                             ui_->sbQCounter, ui_->sbDIV1N,   ui_->sbDIV2N};
        QSpinBox* box = boxes[random_.below(7)];
        const int before = box->value();
        changeSpinBox(box);
        if (!exact())
            return {};
        // Return makes a spin box emit its value even when it did not change, so an unchanged
        // value may or may not have run the handler.
        if (box->value() == before && f_.writes().empty())
            return imageChangedOnly({});
        // Each run rewrites all seven fields from their spin boxes, then the grid and the core
        // registers go out.
        QString problem = imageChangedOnly({0x0C, 0x12, 0x13, 0x40, 0x41, 0x42, 0x47});
        if (!problem.isEmpty())
            return problem;
        Writes last = gridWrites();
        for (int reg : CoreWrites)
            last.emplace_back(reg, f_.session().image[reg]);
        const Writes actual = f_.writes();
        if (actual.size() < last.size() || actual.size() % last.size() != 0 ||
            !std::equal(last.begin(), last.end(), actual.end() - std::ptrdiff_t(last.size())))
            return expectWrites(last) + " (as the last of one or more changes)";
        return {};
    }

    QString changeReference() {
        changeSpinBox(ui_->sbFreference);
        if (!exact())
            return {};
        // The reference changes frequencies only: no register, no write.
        QString problem = imageChangedOnly({});
        return problem.isEmpty() ? expectWrites({}) : problem;
    }

    // --- targets and options ---

    QString targetText() {
        switch (random_.below(6)) {
            case 0:  // a frequency the tool can make or come close to, in Hz, kHz or MHz
                if (random_.chance(25))
                    return QString::number(random_.between(100, 400000)) +
                           random_.pick({"k", "K", "M"});
                return QString::number(random_.between(100000, 400000000)) +
                       (random_.chance(50) ? QString(".%1").arg(random_.below(100000)) : "");
            case 1:
                return random_.pick({"0", "0.0", "  0.00000", "-0"});
            case 2:  // not a number
                return random_.pick({"", "abc", "1e", "--5", "12 MHz", "0x10", ".", "1,5"});
            case 3:
                return random_.pick({"1e300", "1e12", "999999999999", "inf", "1e400"});
            case 4:
                return random_.pick({"1e-300", "0.0001", "1", "3.5", "250000"});
            default:
                return random_.pick({" 25000000 ", "-5000000", "nan", "100000000", "12000000"});
        }
    }

    QString typeTarget() {
        QLineEdit* field = random_.chance(65) ? ui_->leF1 : ui_->leF2;
        const QString text = targetText();
        const bool replace = random_.chance(85);
        const int commit = random_.below(10);  // 0..5 Return, 6..7 Tab, 8..9 click on lePLL
        const char* commitText = commit < 6 ? "Return" : commit < 8 ? "Tab" : "click on lePLL";
        describe(QString("%1 \"%2\" %3 %4, then %5")
                     .arg(replace ? "type" : "append", text, replace ? "into" : "to",
                          field->objectName() + (field->isEnabled() ? "" : " (disabled)"),
                          commitText));
        const QString before = field->text();
        click(field);
        if (replace)
            QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        else
            QTest::keyClick(field, Qt::Key_End);
        if (text.isEmpty())
            QTest::keyClick(field, Qt::Key_Delete);
        QTest::keyClicks(field, text);
        const QString entered = field->text();
        if (!field->isEnabled() && entered != before)
            return "typing changed the disabled " + field->objectName();
        if (commit < 6)
            QTest::keyClick(field, Qt::Key_Return);
        else if (commit < 8)
            QTest::keyClick(field, Qt::Key_Tab);
        else
            click(ui_->lePLL);

        // Text that is no number at all in the edited field stops the handler before anything
        // is solved or written; one that is no frequency either is refused, with its reason.
        bool number = false;
        entered.trimmed().toDouble(&number);
        bool ok = false;
        const bool refused = !readTargetField(entered, &ok);
        if (refused && field->isEnabled())
            allowedError_ =
                QString(
                    "Error: the target \"%1\" of %2 is not a frequency in Hz (a k "
                    "or M suffix may follow the number); it stays as it was.")
                    .arg(printableText(entered.trimmed()), field == ui_->leF1 ? "F1" : "F2");
        if (!field->isEnabled() || (!refused && (number || ok)) || !exact(field))
            return {};
        QString problem = imageChangedOnly({});
        return problem.isEmpty() ? expectWrites({}) : problem;
    }

    QString toggleOption() {
        QCheckBox* boxes[] = {ui_->cbF2_enable, ui_->cbF1_pref, ui_->cbF2_pref, ui_->cbPLL_extend};
        QCheckBox* box = boxes[random_.below(4)];
        const bool wasChecked = box->isChecked();
        const bool byKey = random_.chance(25);
        describe(QString("%1 %2%3").arg(byKey ? "Space on" : "click on", box->objectName(),
                                        box->isEnabled() ? "" : " (disabled)"));
        if (byKey) {
            box->setFocus(Qt::TabFocusReason);
            QTest::keyClick(box, Qt::Key_Space);
        } else {
            click(box);
        }
        if (box->isChecked() == wasChecked && box->isEnabled())
            return box->objectName() + " did not change";
        if (box == ui_->cbPLL_extend && exact()) {
            // The range takes effect at the next refresh or solve: nothing changes now.
            QString problem = imageChangedOnly({});
            return problem.isEmpty() ? expectWrites({}) : problem;
        }
        return {};
    }

    // --- files ---

    QString newFileName() {
        const QString base = dir_.filePath(QString("state-%1").arg(fileCounter_++));
        switch (random_.below(3)) {
            case 0:
                return base;  // the extension is appended
            case 1:
                return base + ".cy22150.bin";
            default:
                return base + ".CY22150.BIN";  // accepted as it is
        }
    }

    static QString withExtension(const QString& name) {
        return name.endsWith(".cy22150.bin", Qt::CaseInsensitive) ? name : name + ".cy22150.bin";
    }

    SavedState currentState() const {
        SavedState state;
        state.image = f_.session().image;
        state.fRef = f_.session().fRef;
        state.pllExtended = ui_->cbPLL_extend->isChecked();
        state.f1Preferred = ui_->cbF1_pref->isChecked();
        state.f2Preferred = ui_->cbF2_pref->isChecked();
        state.f2Enabled = ui_->cbF2_enable->isChecked();
        return state;
    }

    QString fileAction() {
        const int kind = random_.below(10);
        if (kind < 3) {
            dialogAnswer_ = random_.chance(10) ? QString() : newFileName();
            describe(dialogAnswer_.isEmpty() ? QString("Save As, dialog cancelled")
                                             : "Save As " + QFileInfo(dialogAnswer_).fileName());
            ui_->actionSave_As->trigger();
            return afterSave();
        }
        if (kind < 5) {
            // Save asks for a name only while none is remembered.
            const QString name = f_.session().currentFileName;
            dialogAnswer_ = name.isEmpty() && random_.chance(80) ? newFileName() : QString();
            describe(!name.isEmpty() ? "Save to " + QFileInfo(name).fileName()
                     : dialogAnswer_.isEmpty()
                         ? QString("Save, dialog cancelled")
                         : "Save, named " + QFileInfo(dialogAnswer_).fileName());
            ui_->actionSave->trigger();
            return afterSave();
        }
        if (saved_.empty() || random_.chance(10)) {
            dialogAnswer_.clear();
            describe("Load, dialog cancelled");
            ui_->actionLoad->trigger();
            if (ui_->statusBar->currentMessage() != "Error: Filename is empty!")
                return "a cancelled Load shows \"" + ui_->statusBar->currentMessage() + "\"";
            QString problem = imageChangedOnly({});
            return problem.isEmpty() ? expectWrites({}) : problem;
        }
        auto file = saved_.begin();
        std::advance(file, random_.below(int(saved_.size())));
        dialogAnswer_ = file->first;
        describe("Load " + QFileInfo(file->first).fileName());
        ui_->actionLoad->trigger();
        return afterLoad(file->second);
    }

    QString afterSave() {
        if (dialogAnswer_.isEmpty() && f_.session().currentFileName.isEmpty()) {
            if (ui_->statusBar->currentMessage() != "Error: Filename is empty!")
                return "a cancelled Save shows \"" + ui_->statusBar->currentMessage() + "\"";
        } else {
            const QString name = f_.session().currentFileName;
            if (!dialogAnswer_.isEmpty() && name != withExtension(dialogAnswer_))
                return QString("saved as %1 for the answer %2").arg(name, dialogAnswer_);
            if (QFileInfo(name).size() != 304)
                return QString("%1 holds %2 bytes, not 304").arg(name).arg(QFileInfo(name).size());
            const QString message = "Info: " + name + " successfully saved.";
            if (ui_->statusBar->currentMessage() != message)
                return "the status bar shows \"" + ui_->statusBar->currentMessage() + "\"";
            saved_[name] = currentState();
        }
        // Saving touches neither the image nor the chip.
        QString problem = imageChangedOnly({});
        return problem.isEmpty() ? expectWrites({}) : problem;
    }

    QString afterLoad(const SavedState& state) {
        const Session& s = f_.session();
        for (int reg = 0; reg < RegisterImage::Size; ++reg)
            if (s.image[reg] != state.image[reg])
                return QString("after the load register %1 holds %2, the file %3")
                    .arg(hex(reg), hex(s.image[reg]), hex(state.image[reg]));
        if (s.fRef != state.fRef)
            return QString("after the load fRef is %1, the file held %2")
                .arg(s.fRef, 0, 'f', 1)
                .arg(state.fRef, 0, 'f', 1);
        if (ui_->cbPLL_extend->isChecked() != state.pllExtended ||
            ui_->cbF1_pref->isChecked() != state.f1Preferred ||
            ui_->cbF2_pref->isChecked() != state.f2Preferred ||
            ui_->cbF2_enable->isChecked() != state.f2Enabled)
            return "the option check boxes differ from the file's flags";
        // The load writes every grid register, then the core registers once more.
        Writes expected = gridWrites();
        for (int reg : CoreWrites)
            expected.emplace_back(reg, s.image[reg]);
        return expectWrites(expected);
    }

    // --- USB ---

    QString usbAction() {
        if (random_.chance(50)) {
            describe("USB Scan");
            ui_->actionScan->trigger();
            if (!f_.session().adapter.handle)
                return "the scan opened no adapter";
            if (f_.session().image[0x13] != 0x40)
                return "the scan left CAPLOAD at " + hex(f_.session().image[0x13]);
            return {};
        }
        describe("USB Open");
        ui_->actionOpen->trigger();
        if (!f_.session().adapter.handle)
            return "Open left no adapter open";
        // Open reads all 256 registers into the image.
        for (int reg = 0; reg < RegisterImage::Size; ++reg)
            if (f_.session().image[reg] != f_.chip->registerValue(reg))
                return QString("after Open register %1 holds %2, the chip %3")
                    .arg(hex(reg), hex(f_.session().image[reg]), hex(f_.chip->registerValue(reg)));
        return {};
    }

    // --- the checks after every action ---

    // Only the eleven registers of the grid ever reach the chip.
    QString writesOnlyGridRegisters() const {
        for (auto [reg, value] : f_.writes()) {
            Q_UNUSED(value);
            if (std::find(GridRegisters.begin(), GridRegisters.end(), reg) == GridRegisters.end())
                return "register " + hex(reg) + " was written";
        }
        return {};
    }

    QString consistencyProblems() const;

    WindowFixture f_;
    Random random_;
    QTemporaryDir dir_;
    MainWindowForm* ui_ = nullptr;
    RegisterImage before_;
    const QWidget* focusAtStart_ = nullptr;
    QString description_ = "start-up";
    std::deque<QString> history_;
    QString dialogAnswer_;
    QString allowedError_;  // the refusal of the last target typed that is no frequency
    int fileCounter_ = 0;
    std::map<QString, SavedState> saved_;
};

// Image, grid, diagram, frequencies, options and chip agree with each other, every family widget
// has exactly one connection to its slot, and no failure has been reported.
QString RandomRun::consistencyProblems() const {
    const Session& s = f_.session();
    const RegisterImage& r = s.image;
    const Decoded d(r);
    MainWindowForm& ui = f_.ui();
    QStringList problems;
    auto expect = [&](bool ok, const QString& what) {
        if (!ok)
            problems << what;
    };
    auto expectValue = [&](const QSpinBox* box, int expected) {
        expect(box->value() == expected, QString("%1 shows %2, the image gives %3")
                                             .arg(box->objectName())
                                             .arg(box->value())
                                             .arg(expected));
        expect(box->minimum() <= box->value() && box->value() <= box->maximum(),
               box->objectName() + " is outside its range");
    };
    auto oneConnection = [&](const QObject* widget, const char* signal) {
        const int count = ReceiverCount::of(widget, signal);
        expect(count == 1, QString("%1 has %2 connections").arg(widget->objectName()).arg(count));
    };

    for (std::size_t row = 0; row < GridRegisters.size(); ++row) {
        const int reg = GridRegisters[row];
        const auto* field =
            f_.window->findChild<QLineEdit*>(QString::asprintf("leVal%02d", int(row)));
        expect(
            field->text() == hex(r[reg]),
            QString("%1 shows %2, the image holds %3").arg(hex(reg), field->text(), hex(r[reg])));
        for (int bit = 0; bit < 8; ++bit) {
            const auto* box =
                f_.window->findChild<QCheckBox*>(QString::asprintf("cb%02d%d", int(row), bit));
            expect(box->isChecked() == bool((r[reg] >> bit) & 1),
                   QString("%1 disagrees with bit %2 of %3")
                       .arg(box->objectName())
                       .arg(bit)
                       .arg(hex(reg)));
            oneConnection(box, SIGNAL(toggled(bool)));
        }
        expect(f_.chip->registerValue(reg) == r[reg],
               QString("the chip holds %1 in register %2, the image %3")
                   .arg(hex(f_.chip->registerValue(reg)), hex(reg), hex(r[reg])));
    }

    expectValue(ui.sbXCOdrive, d.xdrv());
    expectValue(ui.sbCAPLOAD, d.capload());
    expectValue(ui.sbChargePump, d.pump());
    expectValue(ui.sbPB, d.pb());
    expectValue(ui.sbQCounter, d.q());
    // A divider below the spin box's minimum shows as 4; the display divides by the image's.
    expectValue(ui.sbDIV1N, qBound(4, d.div1n(), 127));
    expectValue(ui.sbDIV2N, qBound(4, d.div2n(), 127));
    expect(s.div1N == d.div1n(),
           QString("div1N is %1, the image gives %2").arg(s.div1N).arg(d.div1n()));
    expect(s.div2N == d.div2n(),
           QString("div2N is %1, the image gives %2").arg(s.div2N).arg(d.div2n()));
    for (QSpinBox* box : {ui.sbXCOdrive, ui.sbCAPLOAD, ui.sbChargePump, ui.sbPB, ui.sbQCounter,
                          ui.sbDIV1N, ui.sbDIV2N})
        oneConnection(box, SIGNAL(valueChanged(int)));

    const QComboBox* boxes[] = {ui.cbMatrix_LCLK1, ui.cbMatrix_LCLK2, ui.cbMatrix_LCLK3,
                                ui.cbMatrix_LCLK4, ui.cbMatrix_CLK5,  ui.cbMatrix_CLK6};
    const QPushButton* buttons[] = {ui.pbLCLK1, ui.pbLCLK2, ui.pbLCLK3,
                                    ui.pbLCLK4, ui.pbCLK5,  ui.pbCLK6};
    for (int i = 0; i < 6; ++i) {
        expect(boxes[i]->currentIndex() == d.code(i), QString("%1 shows item %2, the image code %3")
                                                          .arg(boxes[i]->objectName())
                                                          .arg(boxes[i]->currentIndex())
                                                          .arg(d.code(i)));
        expect(buttons[i]->isChecked() == d.outputEnabled(i),
               buttons[i]->objectName() + " disagrees with register 0x09");
        oneConnection(boxes[i], SIGNAL(currentIndexChanged(int)));
        oneConnection(buttons[i], SIGNAL(toggled(bool)));
    }
    expect(ui.rbDIV1CLK_ref->isChecked() == d.div1FromRef() &&
               ui.rbDIV1CLK_PLL->isChecked() == !d.div1FromRef(),
           "the DIV1 source buttons disagree with DIV1SRC");
    expect(ui.rbDIV2CLK_ref->isChecked() == d.div2FromRef() &&
               ui.rbDIV2CLK_PLL->isChecked() == !d.div2FromRef(),
           "the DIV2 source buttons disagree with DIV2SRC");
    expect(ui.cbPO->isChecked() == d.po(), "cbPO disagrees with PO");

    // The frequency display follows every change.
    const int reference = ui.sbFreference->value();
    expect(s.fRef == reference, QString("fRef is %1, sbFreference %2").arg(s.fRef).arg(reference));
    const double pTotal = (d.po() ? 1 : 0) + (4 + d.pb()) * 2;
    const double fPll = double(reference) * pTotal / (d.q() + 2);
    expect(ui.lePLL->text() == hz(fPll),
           QString("lePLL shows %1, the image gives %2").arg(ui.lePLL->text(), hz(fPll)));
    const double div1Clk = d.div1FromRef() ? s.fRef : fPll;
    const double div2Clk = d.div2FromRef() ? s.fRef : fPll;
    const double sources[] = {s.fRef,
                              div1Clk / d.div1n(),
                              div1Clk * 0.5,
                              div1Clk / 3,
                              div2Clk / d.div2n(),
                              div2Clk * 0.5,
                              div2Clk * 0.25,
                              0};
    const QLineEdit* outputs[] = {ui.leLCLK1, ui.leLCLK2, ui.leLCLK3,
                                  ui.leLCLK4, ui.leCLK5,  ui.leCLK6};
    for (int i = 0; i < 6; ++i) {
        const QString expected = hz(sources[d.code(i)]);
        expect(outputs[i]->text() == expected,
               QString("%1 shows %2, the image gives %3")
                   .arg(outputs[i]->objectName(), outputs[i]->text(), expected));
    }

    const bool extended = ui.cbPLL_extend->isChecked();
    expect(s.pllLowLimit == (extended ? 25000000 : 100000000) &&
               s.pllHighLimit == (extended ? 450000000 : 400000000),
           "the PLL limits disagree with cbPLL_extend");
    const bool f2 = ui.cbF2_enable->isChecked();
    expect(ui.leF2->isEnabled() == f2 && ui.cbF2_pref->isEnabled() == f2,
           "leF2 or cbF2_pref is enabled against cbF2_enable");
    expect(f2 || !ui.cbF2_pref->isChecked(), "F2 preferred while F2 is disabled");

    expect(!f_.form().updatingWidgets, "updatingWidgets stayed set");
    expect(!f_.form().firstRefresh, "firstRefresh is set again");
    const QString message = ui.statusBar->currentMessage();
    expect(!message.startsWith("Error: ") || message == "Error: Filename is empty!" ||
               message == allowedError_,
           "the status bar reports \"" + message + "\"");
    return problems.join("; ");
}

namespace {
QtMessageHandler previousHandler = nullptr;

// The offscreen platform says at every list popup that it cannot raise a window or grab the
// keyboard; hundreds of those lines would bury anything that matters.
void dropPlatformNotices(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && text.startsWith("This plugin does not support"))
        return;
    previousHandler(type, context, text);
}
}  // namespace

class TestRandomised : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { previousHandler = qInstallMessageHandler(dropPlatformNotices); }
    void cleanupTestCase() { qInstallMessageHandler(previousHandler); }
    void randomActions_data();
    void randomActions();
};

void TestRandomised::randomActions_data() {
    QTest::addColumn<bool>("randomChip");
    // The chip as it powers up in the fixture (all zero), and a chip full of arbitrary bytes:
    // dividers below 4, code 7 and odd fixed bits from the first read on.
    QTest::newRow("zeroed chip") << false;
    QTest::newRow("random chip") << true;
}

void TestRandomised::randomActions() {
    QFETCH(bool, randomChip);
    const quint32 seed = seedFromEnvironment();
    const int count = actionCountFromEnvironment();
    const QString replay =
        QString("replay: VANTREL_RANDOM_SEED=%1 tst_randomised \"randomActions:%2\"")
            .arg(seed)
            .arg(QTest::currentDataTag());
    qInfo("seed %u, %d actions", seed, count);

    RandomRun run(seed, randomChip);
    const QString startProblem = run.start();
    QVERIFY2(startProblem.isEmpty(), qPrintable(startProblem + "\n" + replay));
    for (int n = 1; n <= count; ++n) {
        const QString problem = run.step();
        if (!problem.isEmpty())
            QFAIL(qPrintable(QString("seed %1, action %2 of %3: %4\n  %5\n  the last actions:\n    "
                                     "%6\n  %7")
                                 .arg(seed)
                                 .arg(n)
                                 .arg(count)
                                 .arg(run.description(), problem, run.history(), replay)));
    }
}

QTEST_MAIN(TestRandomised)
#include "tst_randomised.moc"
