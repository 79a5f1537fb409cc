// SPDX-License-Identifier: MIT
#include "frequency/frequencymodel.h"
#include "views/mainwindowform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolBar>
#include <QTranslator>
#include <QtTest>

#include <memory>

namespace {

// One register row of the grid: address, row title and bit labels from bit 7 down to bit 0.
struct RegisterRow {
    int address;
    QString title;
    QStringList bits;
};

const QList<RegisterRow> kRegisterRows = {
    {0x09, "CLKOE", {"0", "0", "CLK6", "CLK5", "LCLK4", "LCLK3", "LCLK2", "LCLK1"}},
    {0x0C,
     "DIV1SRC / DIV1N",
     {"DIV1SRC", "DIV1N_6", "DIV1N_5", "DIV1N_4", "DIV1N_3", "DIV1N_2", "DIV1N_1", "DIV1N_0"}},
    {0x12, "XCO drive", {"0", "0", "1", "XDRV_1", "XDRV_0", "0", "0", "0"}},
    {0x13, "CAPLOAD", {"CPL_7", "CPL_6", "CPL_5", "CPL_4", "CPL_3", "CPL_2", "CPL_1", "CPL_0"}},
    {0x40, "Charge / PB", {"1", "1", "0", "PUMP_2", "PUMP_1", "PUMP_0", "PB_9", "PB_8"}},
    {0x41, "PB", {"PB_7", "PB_6", "PB_5", "PB_4", "PB_3", "PB_2", "PB_1", "PB_0"}},
    {0x42, "PO / Q Counter", {"PO", "Q_6", "Q_5", "Q_4", "Q_3", "Q_2", "Q_1", "Q_0"}},
    {0x44,
     "Matrix 1",
     {"LCLK1_2", "LCLK1_1", "LCLK1_0", "LCLK2_2", "LCLK2_1", "LCLK2_0", "LCLK3_2", "LCLK3_1"}},
    {0x45,
     "Matrix 2",
     {"LCLK3_0", "LCLK4_2", "LCLK4_1", "LCLK4_0", "CLK5_2", "CLK5_1", "CLK5_0", "CLK6_2"}},
    {0x46, "Matrix 3", {"CLK6_1", "CLK6_0", "1", "1", "1", "1", "1", "1"}},
    {0x47,
     "DIV2SRC / DIV2N",
     {"DIV2SRC", "DIV2N_6", "DIV2N_5", "DIV2N_4", "DIV2N_3", "DIV2N_2", "DIV2N_1", "DIV2N_0"}},
};

// The separator lines below register rows 0 to 9, columns 0 to 10 (the numbers of line_N).
const QList<QList<int>> kGridSeparators = {
    {4, 12, 3, 2, 5, 6, 7, 8, 9, 10, 11},
    {26, 32, 27, 34, 28, 29, 30, 24, 31, 25, 33},
    {37, 45, 35, 38, 36, 44, 43, 40, 39, 41, 42},
    {48, 56, 51, 46, 47, 49, 55, 52, 53, 54, 50},
    {59, 67, 58, 65, 61, 63, 60, 62, 64, 66, 57},
    {70, 78, 73, 76, 69, 72, 77, 75, 71, 74, 68},
    {81, 89, 86, 87, 84, 80, 88, 79, 85, 82, 83},
    {99, 100, 92, 97, 96, 91, 94, 95, 90, 93, 98},
    {110, 111, 101, 103, 105, 104, 102, 106, 109, 107, 108},
    {121, 122, 120, 112, 119, 115, 114, 118, 113, 116, 117},
};

const QStringList kOutputs = {"LCLK1", "LCLK2", "LCLK3", "LCLK4", "CLK5", "CLK6"};

const QStringList kMatrixItems = {"F ref",         "DIV1CLK/DIV1N", "DIV1CLK/2", "DIV1CLK/3",
                                  "DIV2CLK/DIV2N", "DIV2CLK/2",     "DIV2CLK/4", "UNDEFINED!"};

// The separator lines below outputs 0 to 4 of the matrix panel, columns 0 to 2.
const QList<QStringList> kMatrixSeparators = {
    {"line_21", "line_22", "line_23"},    {"line_123", "line_124", "line_125"},
    {"line_126", "line_127", "line_128"}, {"line_129", "line_130", "line_131"},
    {"line", "line_19", "line_20"},
};

// centralWidget's children from bottom to top.
const QStringList kStackingOrder = {
    "USBcomboBox",
    "lineTOP",
    "LOADSAVEprogressBar",
    "gridLayoutWidget",
    "lbMatrix",
    "gridLayoutWidget_2",
    "lineFref1",
    "lbDIV1N",
    "lineDIV1N_out",
    "lineFref7",
    "linePLL1",
    "lbPLL",
    "lbFreference",
    "lbDIV2N",
    "lineDIV2N_out",
    "lineFref5",
    "linePLL5",
    "lineFref3",
    "lineFref4",
    "lineFref2",
    "linePLL6",
    "linePLL3",
    "lineFref6",
    "linePLL2",
    "lbDIV1CLK",
    "lbDIV1_2",
    "lbDIV1_3",
    "lbDIV2_2",
    "lbDIV2_4",
    "lbDIV2CLK",
    "lineDIV2N_4_out",
    "lineDIV2N_2_out",
    "lineDIV1N_3_out",
    "lineDIV1N_2_out",
    "lbXCODRV",
    "lbCAPLOAD",
    "lbChargePump",
    "sbChargePump",
    "lbPB_PO",
    "lbQCounter",
    "cbPO",
    "linePLL4",
    "bgDIV1CLK",
    "bgDIV2CLK",
    "sbFreference",
    "sbXCOdrive",
    "sbCAPLOAD",
    "sbQCounter",
    "sbPB",
    "lbF1",
    "lbF2",
    "lbFpll",
    "leF1",
    "leF2",
    "lePLL",
    "cbF1_pref",
    "cbF2_pref",
    "cbF2_enable",
    "cbPLL_extend",
    "sbDIV1N",
    "sbDIV2N",
    "lbIterations",
    "DeviceAddresscomboBox",
};

// The drawn wires of the block diagram.
struct Wire {
    QString name;
    bool horizontal;
    QRect geometry;
    int lineWidth;
};

const QList<Wire> kWires = {
    {"lineFref1", true, {120, 90, 241, 21}, 2},
    {"lineFref2", true, {146, 96, 8, 8}, 8},
    {"lineFref3", false, {140, 100, 21, 361}, 2},
    {"lineFref4", true, {146, 226, 8, 8}, 8},
    {"lineFref5", true, {150, 450, 51, 21}, 2},
    {"lineFref6", false, {50, 130, 31, 36}, 2},
    {"lineFref7", true, {150, 220, 51, 21}, 2},
    {"linePLL1", true, {120, 300, 51, 21}, 2},
    {"linePLL2", true, {166, 306, 8, 8}, 8},
    {"linePLL3", false, {160, 270, 21, 431}, 2},
    {"linePLL4", true, {166, 496, 8, 8}, 8},
    {"linePLL5", true, {170, 490, 31, 21}, 2},
    {"linePLL6", true, {170, 260, 31, 21}, 2},
    {"lineDIV1N_out", true, {330, 200, 31, 21}, 2},
    {"lineDIV1N_2_out", true, {330, 240, 31, 21}, 2},
    {"lineDIV1N_3_out", true, {330, 280, 31, 21}, 2},
    {"lineDIV2N_out", true, {330, 430, 31, 21}, 2},
    {"lineDIV2N_2_out", true, {330, 470, 31, 21}, 2},
    {"lineDIV2N_4_out", true, {330, 510, 31, 21}, 2},
};

// Labels drawn as boxes of the diagram and the frequency strip.
struct BoxLabel {
    QString name;
    QRect geometry;
    QString text;
    Qt::Alignment alignment;
};

constexpr Qt::Alignment kTopCentre = Qt::AlignTop | Qt::AlignHCenter;
constexpr Qt::Alignment kBottomLeft = Qt::AlignBottom | Qt::AlignLeft;
constexpr Qt::Alignment kRightCentre = Qt::AlignRight | Qt::AlignVCenter;

const QList<BoxLabel> kBoxLabels = {
    {"lbMatrix", {360, 70, 206, 531}, "Matrix", kTopCentre},
    {"lbFreference", {10, 70, 111, 61}, "F reference", kTopCentre},
    {"lbPLL", {10, 165, 111, 391}, "PLL", kTopCentre},
    {"lbXCODRV", {30, 200, 71, 61}, "XCO drive", kTopCentre},
    {"lbCAPLOAD", {30, 270, 71, 61}, "CAPLOAD", kTopCentre},
    {"lbChargePump", {30, 335, 71, 61}, "ChargePump", kTopCentre},
    {"lbPB_PO", {30, 400, 71, 61}, " PB", Qt::AlignTop | Qt::AlignLeft},
    {"lbQCounter", {30, 465, 71, 61}, "Q Counter", kTopCentre},
    {"lbDIV1CLK", {200, 170, 41, 141}, "DIV1\nCLK", kTopCentre},
    {"lbDIV1N", {240, 170, 91, 61}, "DIV1N", kTopCentre},
    {"lbDIV1_2", {240, 230, 91, 41}, "\n/2", kTopCentre},
    {"lbDIV1_3", {240, 270, 91, 41}, "\n/3", kTopCentre},
    {"lbDIV2CLK", {200, 400, 41, 141}, "DIV2\nCLK", kTopCentre},
    {"lbDIV2N", {240, 400, 91, 61}, "DIV2N", kTopCentre},
    {"lbDIV2_2", {240, 460, 91, 41}, "\n/2", kTopCentre},
    {"lbDIV2_4", {240, 500, 91, 41}, "\n/4", kTopCentre},
    {"lbFpll", {10, 700, 186, 51}, "Fpll: (2*(PB+4)+PO) * Fref / (Q+2)", kBottomLeft},
    {"lbF1", {195, 700, 186, 51}, "F1: DIV1CLK /DIV1N | /2 | /3", kBottomLeft},
    {"lbF2", {380, 700, 186, 51}, "F2: DIV2CLK /DIV2N | /2 | /4", kBottomLeft},
};

struct SpinBox {
    QString name;
    QRect geometry;
    int minimum, maximum, step, value;
};

const QList<SpinBox> kSpinBoxes = {
    // The core refuses register files whose reference the spin box cannot show.
    {"sbFreference", {20, 100, 91, 25}, ReferenceMinimumHz, ReferenceMaximumHz, 1000, 10000000},
    {"sbXCOdrive", {35, 230, 61, 22}, 0, 3, 1, 0},
    {"sbCAPLOAD", {35, 300, 61, 22}, 0, 255, 1, 0},
    {"sbChargePump", {35, 365, 61, 22}, 0, 7, 1, 0},
    {"sbPB", {35, 430, 61, 22}, 0, 1023, 1, 0},
    {"sbQCounter", {35, 495, 61, 22}, 0, 127, 1, 0},
    {"sbDIV1N", {255, 200, 61, 21}, 4, 127, 1, 4},
    {"sbDIV2N", {255, 430, 61, 21}, 4, 127, 1, 4},
};

// Fonts the form sets: an empty family or a zero size means the parent's.
struct FontRule {
    QStringList names;
    QString family;
    int pointSize;
    int bold;  // -1: the parent's weight
    bool kerning;
};

QStringList gridBitLabelNames();

QList<FontRule> fontRules() {
    return {
        {{"USBcomboBox", "DeviceAddresscomboBox"}, "DejaVu Sans Mono", 0, -1, false},
        {{"gridLayoutWidget", "lbChargePump", "lbFpll"}, "", 8, -1, true},
        {gridBitLabelNames(), "DejaVu Sans", 8, -1, true},
        {{"lbIterations"}, "", 7, -1, true},
        {{"lbXCODRV", "lbCAPLOAD", "lbPB_PO", "lbQCounter", "lbF1", "lbF2"}, "", 10, 0, true},
        {{"lbFreference", "lbDIV1N", "lbDIV2N", "lbDIV1CLK", "lbDIV2CLK", "lbDIV1_2", "lbDIV1_3",
          "lbDIV2_2", "lbDIV2_4"},
         "",
         10,
         1,
         true},
        {{"lbMatrix"}, "", 12, 1, true},
        {{"lbPLL"}, "", 14, 1, true},
    };
}

QString rowDigits(int row) {
    return QStringLiteral("%1").arg(row, 2, 10, QLatin1Char('0'));
}

QString bitName(const char* prefix, int row, int bit) {
    return QLatin1String(prefix) + rowDigits(row) + QString::number(bit);
}

QStringList gridBitLabelNames() {
    QStringList names;
    for (int r = 0; r < kRegisterRows.size(); ++r)
        for (int b = 7; b >= 0; --b)
            names << bitName("lb", r, b);
    return names;
}

// The register grid's widgets, top row first.
QStringList gridContents() {
    QStringList names = {"lbAddr", "lbVal"};
    for (int r = 0; r < kRegisterRows.size(); ++r) {
        for (int b = 7; b >= 0; --b)
            names << bitName("lb", r, b) << bitName("cb", r, b);
        names << "lbName" + rowDigits(r) << "lbAddr" + rowDigits(r) << "leVal" + rowDigits(r);
        if (r < kGridSeparators.size())
            for (int n : kGridSeparators[r])
                names << QStringLiteral("line_%1").arg(n);
    }
    return names;
}

// The matrix panel's widgets in the order they are created.
QStringList matrixCreationOrder() {
    QStringList names = {"line_13"};
    for (const QString& x : kOutputs)
        names << "cbMatrix_" + x;
    names << "line_14"
          << "line_15"
          << "line_16"
          << "line_17"
          << "line_18";
    names << "pbLCLK1"
          << "pbCLK6"
          << "pbCLK5"
          << "pbLCLK4"
          << "pbLCLK3"
          << "pbLCLK2";
    names << kMatrixSeparators[4];
    for (int k = 0; k < 4; ++k)
        names << kMatrixSeparators[k];
    names << "leCLK6"
          << "leLCLK1"
          << "leLCLK2"
          << "leLCLK3"
          << "leLCLK4"
          << "leCLK5";
    return names;
}

// The class that an object name stands for under the naming convention.
QString classForName(const QString& name) {
    static const QHash<QString, QString> exceptions = {
        {"MainWindow", "QMainWindow"},
        {"centralWidget", "QWidget"},
        {"gridLayoutWidget", "QWidget"},
        {"gridLayoutWidget_2", "QWidget"},
        {"gridLayout", "QGridLayout"},
        {"gridLayout_2", "QGridLayout"},
        {"USBcomboBox", "QComboBox"},
        {"DeviceAddresscomboBox", "QComboBox"},
        {"LOADSAVEprogressBar", "QProgressBar"},
        {"menuBar", "QMenuBar"},
        {"mainToolBar", "QToolBar"},
        {"statusBar", "QStatusBar"},
    };
    static const QList<QPair<QString, QString>> prefixes = {
        {"cbMatrix_", "QComboBox"}, {"cb", "QCheckBox"}, {"lb", "QLabel"},
        {"le", "QLineEdit"},        {"sb", "QSpinBox"},  {"pb", "QPushButton"},
        {"rb", "QRadioButton"},     {"bg", "QGroupBox"}, {"line", "QFrame"},
        {"action", "QAction"},      {"menu", "QMenu"},
    };
    if (exceptions.contains(name))
        return exceptions.value(name);
    for (const auto& [prefix, className] : prefixes)
        if (name.startsWith(prefix))
            return className;
    return QString();
}

// Every named object of the form with the name of its parent.
struct FormObject {
    QString name;
    QString parent;
};

QList<FormObject> formObjects() {
    QList<FormObject> objects;
    auto add = [&objects](const QString& name, const QString& parent) {
        objects.append(FormObject{name, parent});
    };
    for (const char* name : {"actionLoad", "actionSave", "actionSave_As", "actionScan",
                             "actionOpen", "centralWidget", "menuBar", "mainToolBar", "statusBar"})
        add(name, "MainWindow");
    add("menuFile", "menuBar");
    add("menuUSB", "menuBar");
    for (const QString& name : kStackingOrder)
        add(name, "centralWidget");
    add("gridLayout", "gridLayoutWidget");
    for (const QString& name : gridContents())
        add(name, "gridLayoutWidget");
    add("gridLayout_2", "gridLayoutWidget_2");
    for (const QString& name : matrixCreationOrder())
        add(name, "gridLayoutWidget_2");
    add("rbDIV1CLK_ref", "bgDIV1CLK");
    add("rbDIV1CLK_PLL", "bgDIV1CLK");
    add("rbDIV2CLK_ref", "bgDIV2CLK");
    add("rbDIV2CLK_PLL", "bgDIV2CLK");
    return objects;
}

// Objects that Qt creates inside its widgets carry names of their own ("qt_spinbox_lineedit",
// the main window's "_layout").
bool isFormObjectName(const QString& name) {
    return !name.isEmpty() && !name.startsWith(QLatin1String("qt_")) &&
           !name.startsWith(QLatin1Char('_'));
}

struct Form {
    QMainWindow window;
    MainWindowForm ui;
    Form() { ui.setupUi(&window); }
};

QString policyText(const QSizePolicy& p) {
    return QStringLiteral("%1/%2").arg(int(p.horizontalPolicy())).arg(int(p.verticalPolicy()));
}

QString policyText(QSizePolicy::Policy h, QSizePolicy::Policy v) {
    return policyText(QSizePolicy(h, v));
}

// Answers every lookup with nothing but records it, and renames a few texts.
class RecordingTranslator : public QTranslator {
public:
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* sourceText, const char*,
                      int) const override {
        const QString source = QString::fromUtf8(sourceText);
        lookups.insert({QString::fromUtf8(context), source});
        return renamed.value(source);
    }
    mutable QSet<QPair<QString, QString>> lookups;
    QHash<QString, QString> renamed = {{"Vantrel - CY22150", "Vantrel (t)"},
                                       {"UNDEFINED!", "UNDEFINED (t)"},
                                       {"Load all registers from file", "Load (t)"},
                                       {"I2C device address", "Address (t)"},
                                       {"DIV1\nCLK", "DIV1 (t)"}};
};

// A window with slots named like the main window's, to see what setupUi connects by name.
class ProbeWindow : public QMainWindow {
    Q_OBJECT
public:
    int opened = 0, referenceChanges = 0, enableToggles = 0, familyCalls = 0;

private slots:
    void on_actionOpen_triggered() { ++opened; }
    void on_sbFreference_valueChanged(int) { ++referenceChanges; }
    void on_cbF2_enable_toggled(bool) { ++enableToggles; }
    void on_anycheckbox_toggled() { ++familyCalls; }
};

}  // namespace

class TestForm : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void windowFrame();
    void existingObjectNameIsKept();
    void windowIconComesFromWorkingDirectory();
    void objectKinds_data();
    void objectKinds();
    void noOtherNamedObjects();
    void recordMembersAreTheNamedObjects();
    void stackingOrder();
    void matrixCreationOrderIsFixed();
    void registerGridShape();
    void registerGridCells_data();
    void registerGridCells();
    void registerRows_data();
    void registerRows();
    void gridWalkFindsEveryRegister();
    void matrixCells_data();
    void matrixCells();
    void matrixWidgets_data();
    void matrixWidgets();
    void counts();
    void lines_data();
    void lines();
    void boxLabels_data();
    void boxLabels();
    void spinBoxes_data();
    void spinBoxes();
    void geometry_data();
    void geometry();
    void fonts_data();
    void fonts();
    void onlyListedWidgetsSetAFont();
    void lineEdits_data();
    void lineEdits();
    void buttons_data();
    void buttons();
    void initialState();
    void deviceStrip();
    void menusAndActions_data();
    void menusAndActions();
    void toolTipsAndStatusTips();
    void textsAreLookedUpInMainWindowContext();
    void retranslateSetsEmptyTextsExplicitly_data();
    void retranslateSetsEmptyTextsExplicitly();
    void connectsSlotsByName();
    void radioButtonsAreExclusiveWithinTheirBox();
    void outputButtonsToggle();
    void spinBoxLimitsUnderTyping_data();
    void spinBoxLimitsUnderTyping();
    void lineEditTyping_data();
    void lineEditTyping();

private:
    template <class T = QWidget>
    T* named(const QString& name) const {
        return form->window.findChild<T*>(name);
    }
    std::unique_ptr<Form> form;
};

void TestForm::initTestCase() {
    // The icon is looked up in the working directory, so build the form beside it.
    const QString icon = QFINDTESTDATA("../app/chip.png");
    QVERIFY(!icon.isEmpty());
    QVERIFY(QDir::setCurrent(QFileInfo(icon).absolutePath()));
    form = std::make_unique<Form>();
}

void TestForm::windowFrame() {
    QMainWindow& w = form->window;
    QCOMPARE(w.objectName(), QString("MainWindow"));
    QCOMPARE(w.windowTitle(), QString("Vantrel - CY22150"));
    QCOMPARE(w.size(), QSize(1420, 829));
    QCOMPARE(w.centralWidget(), form->ui.centralWidget);
    QCOMPARE(w.menuWidget(), form->ui.menuBar);
    QCOMPARE(w.statusBar(), form->ui.statusBar);
    QCOMPARE(w.toolBarArea(form->ui.mainToolBar), Qt::TopToolBarArea);
    QVERIFY(form->ui.mainToolBar->actions().isEmpty());
    QCOMPARE(w.findChildren<QToolBar*>().size(), 1);
}

void TestForm::existingObjectNameIsKept() {
    QMainWindow w;
    w.setObjectName("other");
    MainWindowForm ui;
    ui.setupUi(&w);
    QCOMPARE(w.objectName(), QString("other"));
}

void TestForm::windowIconComesFromWorkingDirectory() {
    const QIcon icon = form->window.windowIcon();
    QVERIFY(!icon.pixmap(QSize(64, 64)).isNull());
    QCOMPARE(icon.availableSizes(), QList<QSize>{QImageReader("chip.png").size()});

    // Without the file the window simply has no icon.
    const QString previous = QDir::currentPath();
    QTemporaryDir empty;
    QVERIFY(empty.isValid());
    QVERIFY(QDir::setCurrent(empty.path()));
    Form elsewhere;
    QVERIFY(QDir::setCurrent(previous));
    QVERIFY(elsewhere.window.windowIcon().availableSizes().isEmpty());
    QVERIFY(elsewhere.window.windowIcon().pixmap(QSize(64, 64)).isNull());
}

void TestForm::objectKinds_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parentName");
    for (const FormObject& o : formObjects())
        QTest::newRow(qPrintable(o.name)) << o.name << o.parent;
}

void TestForm::objectKinds() {
    QFETCH(QString, name);
    QFETCH(QString, parentName);
    const QList<QObject*> found = form->window.findChildren<QObject*>(name);
    QCOMPARE(found.size(), 1);
    QCOMPARE(QString(found[0]->metaObject()->className()), classForName(name));
    QCOMPARE(found[0]->parent()->objectName(), parentName);
}

void TestForm::noOtherNamedObjects() {
    QSet<QString> expected;
    for (const FormObject& o : formObjects())
        expected.insert(o.name);
    QSet<QString> actual;
    for (QObject* o : form->window.findChildren<QObject*>())
        if (isFormObjectName(o->objectName()))
            actual.insert(o->objectName());
    QCOMPARE(actual - expected, QSet<QString>());
    QCOMPARE(expected - actual, QSet<QString>());
}

void TestForm::recordMembersAreTheNamedObjects() {
    const MainWindowForm& ui = form->ui;
    const QList<QObject*> members = {
        ui.actionLoad,
        ui.actionSave_As,
        ui.actionOpen,
        ui.centralWidget,
        ui.menuBar,
        ui.menuFile,
        ui.menuUSB,
        ui.mainToolBar,
        ui.statusBar,
        ui.USBcomboBox,
        ui.DeviceAddresscomboBox,
        ui.LOADSAVEprogressBar,
        ui.gridLayout,
        ui.gridLayout_2,
        ui.lbAddr,
        ui.lbVal,
        ui.lb007,
        ui.cb000,
        ui.cb107,
        ui.lbName10,
        ui.lbAddr05,
        ui.leVal10,
        ui.line_4,
        ui.line_122,
        ui.cbMatrix_CLK5,
        ui.pbLCLK2,
        ui.leCLK6,
        ui.line,
        ui.sbFreference,
        ui.sbPB,
        ui.sbDIV2N,
        ui.cbPO,
        ui.bgDIV2CLK,
        ui.rbDIV1CLK_PLL,
        ui.lineFref6,
        ui.lePLL,
        ui.leF1,
        ui.cbF2_enable,
        ui.lbIterations,
        ui.lbPB_PO,
    };
    for (QObject* member : members) {
        QVERIFY(member);
        QCOMPARE(form->window.findChild<QObject*>(member->objectName()), member);
    }
}

void TestForm::stackingOrder() {
    QStringList order;
    for (QObject* child : form->ui.centralWidget->children())
        if (child->isWidgetType())
            order << child->objectName();
    QCOMPARE(order, kStackingOrder);
}

void TestForm::matrixCreationOrderIsFixed() {
    QStringList order;
    for (QObject* child : form->ui.gridLayoutWidget_2->children())
        if (child->isWidgetType())
            order << child->objectName();
    QCOMPARE(order, matrixCreationOrder());
}

void TestForm::registerGridShape() {
    QGridLayout* grid = form->ui.gridLayout;
    QCOMPARE(grid->parentWidget(), form->ui.gridLayoutWidget);
    QCOMPARE(grid->rowCount(), 32);
    QCOMPARE(grid->columnCount(), 11);
    QCOMPARE(grid->count(), gridContents().size());
    QCOMPARE(grid->spacing(), 6);
    QCOMPARE(grid->contentsMargins(), QMargins(0, 0, 0, 0));
    QCOMPARE(grid->sizeConstraint(), QLayout::SetNoConstraint);
}

void TestForm::registerGridCells_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("name");  // empty: the cell stays free
    auto cell = [](int row, int column, const QString& name) {
        QTest::addRow("%d,%d", row, column) << row << column << name;
    };
    cell(0, 0, QString());
    cell(0, 1, "lbAddr");
    cell(0, 2, "lbVal");
    for (int r = 0; r < kRegisterRows.size(); ++r) {
        const QString rr = rowDigits(r);
        if (r > 0)
            for (int c = 0; c < 3; ++c)
                cell(3 * r, c, QString());
        for (int b = 7; b >= 0; --b) {
            cell(3 * r, 10 - b, bitName("lb", r, b));
            cell(3 * r + 1, 10 - b, bitName("cb", r, b));
        }
        cell(3 * r + 1, 0, "lbName" + rr);
        cell(3 * r + 1, 1, "lbAddr" + rr);
        cell(3 * r + 1, 2, "leVal" + rr);
        if (r < kGridSeparators.size())
            for (int c = 0; c < 11; ++c)
                cell(3 * r + 2, c, QStringLiteral("line_%1").arg(kGridSeparators[r][c]));
    }
}

void TestForm::registerGridCells() {
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QString, name);
    QGridLayout* grid = form->ui.gridLayout;
    QLayoutItem* item = grid->itemAtPosition(row, column);
    if (name.isEmpty()) {
        QVERIFY(!item);
        return;
    }
    QVERIFY(item && item->widget());
    QCOMPARE(item->widget()->objectName(), name);
    QCOMPARE(item->alignment(), Qt::Alignment());
    int r, c, rowSpan, columnSpan;
    grid->getItemPosition(grid->indexOf(item->widget()), &r, &c, &rowSpan, &columnSpan);
    QCOMPARE(QList<int>({r, c, rowSpan, columnSpan}), QList<int>({row, column, 1, 1}));
}

void TestForm::registerRows_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("address");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("bits");
    for (int r = 0; r < kRegisterRows.size(); ++r)
        QTest::addRow("row %02d", r)
            << r << kRegisterRows[r].address << kRegisterRows[r].title << kRegisterRows[r].bits;
}

void TestForm::registerRows() {
    QFETCH(int, row);
    QFETCH(int, address);
    QFETCH(QString, title);
    QFETCH(QStringList, bits);
    const QString rr = rowDigits(row);

    const QString addressText = named<QLabel>("lbAddr" + rr)->text();
    QCOMPARE(addressText, QString::asprintf("0x%02X", address));
    QCOMPARE(named<QLabel>("lbName" + rr)->text(), title);

    QLineEdit* value = named<QLineEdit>("leVal" + rr);
    QCOMPARE(value->text(), QString("0x00"));
    QVERIFY(value->isReadOnly());
    QCOMPARE(value->maxLength(), 4);
    QCOMPARE(value->alignment(), kRightCentre);
    QCOMPARE(policyText(value->sizePolicy()), policyText(QSizePolicy::Maximum, QSizePolicy::Fixed));

    for (int b = 7; b >= 0; --b) {
        QLabel* label = named<QLabel>(bitName("lb", row, b));
        QCOMPARE(label->text(), bits[7 - b]);
        QCOMPARE(label->alignment(), Qt::AlignLeft | Qt::AlignVCenter);
        QCheckBox* box = named<QCheckBox>(bitName("cb", row, b));
        QCOMPARE(box->text(), QString());
        QVERIFY(!box->isChecked());
        QVERIFY(!box->isTristate());
        QCOMPARE(policyText(box->sizePolicy()),
                 policyText(QSizePolicy::Maximum, QSizePolicy::Fixed));
    }
}

void TestForm::gridWalkFindsEveryRegister() {
    // The grid editor finds registers by cell: rows 1, 4, 7, ..., address text in column 1,
    // value in column 2, bit 0 in the last column.
    QGridLayout* grid = form->ui.gridLayout;
    QList<int> addresses;
    for (int r = 1; r < grid->rowCount(); r += 3) {
        const int row = addresses.size();
        auto at = [&](int c) { return grid->itemAtPosition(r, c)->widget(); };
        bool ok = false;
        addresses << qobject_cast<QLabel*>(at(1))->text().toInt(&ok, 16);
        QVERIFY(ok);
        QVERIFY(qobject_cast<QLineEdit*>(at(2)));
        for (int bit = 0; bit < 8; ++bit) {
            QWidget* box = at(grid->columnCount() - 1 - bit);
            QVERIFY(qobject_cast<QCheckBox*>(box));
            QCOMPARE(box->objectName(), bitName("cb", row, bit));
        }
    }
    QCOMPARE(addresses,
             QList<int>({0x09, 0x0C, 0x12, 0x13, 0x40, 0x41, 0x42, 0x44, 0x45, 0x46, 0x47}));
}

void TestForm::matrixCells_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("columnSpan");
    QTest::addColumn<QString>("name");
    auto cell = [](int row, int column, int span, const QString& name) {
        QTest::addRow("%d,%d", row, column) << row << column << span << name;
    };
    for (int k = 0; k < kOutputs.size(); ++k) {
        cell(3 * k, 0, 1, "cbMatrix_" + kOutputs[k]);
        cell(3 * k, 1, 1, QStringLiteral("line_%1").arg(13 + k));
        cell(3 * k, 2, 1, "pb" + kOutputs[k]);
        cell(3 * k + 1, 0, 3, "le" + kOutputs[k]);
        if (k < kMatrixSeparators.size())
            for (int c = 0; c < 3; ++c)
                cell(3 * k + 2, c, 1, kMatrixSeparators[k][c]);
    }
}

void TestForm::matrixCells() {
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, columnSpan);
    QFETCH(QString, name);
    QGridLayout* grid = form->ui.gridLayout_2;
    QWidget* w = named(name);
    QVERIFY(w);
    int r, c, rowSpan, span;
    grid->getItemPosition(grid->indexOf(w), &r, &c, &rowSpan, &span);
    QCOMPARE(QList<int>({r, c, rowSpan, span}), QList<int>({row, column, 1, columnSpan}));
    QCOMPARE(grid->itemAtPosition(row, column)->alignment(), Qt::Alignment());
}

void TestForm::matrixWidgets_data() {
    QTest::addColumn<int>("k");
    QTest::addColumn<QString>("output");
    for (int k = 0; k < kOutputs.size(); ++k)
        QTest::newRow(qPrintable(kOutputs[k])) << k << kOutputs[k];
}

void TestForm::matrixWidgets() {
    QFETCH(int, k);
    QFETCH(QString, output);
    // The diagram and frequency code reach output k through these cells.
    QGridLayout* grid = form->ui.gridLayout_2;
    QCOMPARE(grid->rowCount(), 17);
    QCOMPARE(grid->columnCount(), 3);
    QCOMPARE(grid->spacing(), 6);
    QCOMPARE(grid->contentsMargins(), QMargins(0, 0, 0, 0));
    QVERIFY(k < (grid->rowCount() + 1) / 3);

    auto* combo = qobject_cast<QComboBox*>(grid->itemAtPosition(3 * k, 0)->widget());
    QVERIFY(combo);
    QCOMPARE(combo->objectName(), "cbMatrix_" + output);
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    QCOMPARE(items, kMatrixItems);
    QCOMPARE(combo->currentIndex(), 0);
    QVERIFY(!combo->isEditable());
    QCOMPARE(combo->minimumWidth(), 120);
    QCOMPARE(policyText(combo->sizePolicy()), policyText(QSizePolicy::Fixed, QSizePolicy::Fixed));

    auto* button = qobject_cast<QPushButton*>(grid->itemAtPosition(3 * k, 2)->widget());
    QVERIFY(button);
    QCOMPARE(button->objectName(), "pb" + output);
    QCOMPARE(button->text(), output);
    QVERIFY(button->isCheckable());
    QVERIFY(!button->isChecked());
    QCOMPARE(button->maximumWidth(), 40);
    QCOMPARE(policyText(button->sizePolicy()),
             policyText(QSizePolicy::Maximum, QSizePolicy::Fixed));

    auto* frequency = qobject_cast<QLineEdit*>(grid->itemAtPosition(3 * k + 1, 0)->widget());
    QVERIFY(frequency);
    QCOMPARE(frequency->objectName(), "le" + output);
}

void TestForm::counts() {
    const QList<QCheckBox*> boxes = form->ui.gridLayoutWidget->findChildren<QCheckBox*>();
    QCOMPARE(boxes.size(), 88);
    int bitLabels = 0;
    for (QLabel* label : form->ui.gridLayoutWidget->findChildren<QLabel*>())
        bitLabels += label->font().family() == QLatin1String("DejaVu Sans");
    QCOMPARE(bitLabels, 88);

    int lines = 0;
    for (QFrame* f : form->window.findChildren<QFrame*>())
        lines += QByteArray(f->metaObject()->className()) == "QFrame" &&
                 (f->frameShape() == QFrame::HLine || f->frameShape() == QFrame::VLine);
    QCOMPARE(lines, 151);

    QStringList matrixCombos;
    for (QComboBox* combo : form->window.findChildren<QComboBox*>())
        if (combo->objectName().startsWith("cbMatrix_") && combo->count() == kMatrixItems.size())
            matrixCombos << combo->objectName();
    QCOMPARE(matrixCombos.size(), 6);
}

void TestForm::lines_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("shape");
    QTest::addColumn<int>("shadow");
    QTest::addColumn<int>("lineWidth");  // 0: the default width
    QTest::addColumn<bool>("stretchesHorizontally");
    for (const Wire& wire : kWires)
        QTest::newRow(qPrintable(wire.name))
            << wire.name << int(wire.horizontal ? QFrame::HLine : QFrame::VLine)
            << int(QFrame::Plain) << wire.lineWidth << wire.horizontal;
    for (int k = 0; k < kOutputs.size(); ++k) {
        const QString name = QStringLiteral("line_%1").arg(13 + k);
        QTest::newRow(qPrintable(name))
            << name << int(QFrame::HLine) << int(QFrame::Plain) << 2 << true;
    }
    QStringList separators = {"lineTOP"};
    for (const QList<int>& row : kGridSeparators)
        for (int n : row)
            separators << QStringLiteral("line_%1").arg(n);
    for (const QStringList& row : kMatrixSeparators)
        separators << row;
    for (const QString& name : separators)
        QTest::newRow(qPrintable(name))
            << name << int(QFrame::HLine) << int(QFrame::Sunken) << 0 << false;
}

void TestForm::lines() {
    QFETCH(QString, name);
    QFETCH(int, shape);
    QFETCH(int, shadow);
    QFETCH(int, lineWidth);
    QFETCH(bool, stretchesHorizontally);
    QFrame* line = named<QFrame>(name);
    QVERIFY(line);
    QCOMPARE(int(line->frameShape()), shape);
    QCOMPARE(int(line->frameShadow()), shadow);
    if (lineWidth)
        QCOMPARE(line->lineWidth(), lineWidth);
    if (stretchesHorizontally)
        QCOMPARE(policyText(line->sizePolicy()),
                 policyText(QSizePolicy::MinimumExpanding, QSizePolicy::Fixed));
}

void TestForm::boxLabels_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<Qt::Alignment>("alignment");
    for (const BoxLabel& box : kBoxLabels)
        QTest::newRow(qPrintable(box.name)) << box.name << box.text << box.alignment;
}

void TestForm::boxLabels() {
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(Qt::Alignment, alignment);
    QLabel* label = named<QLabel>(name);
    QCOMPARE(label->text(), text);
    QCOMPARE(label->alignment(), alignment);
    QCOMPARE(label->frameShape(), QFrame::Box);
    QCOMPARE(label->frameShadow(), QFrame::Plain);
    QCOMPARE(label->lineWidth(), 1);
}

void TestForm::spinBoxes_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("value");
    for (const SpinBox& s : kSpinBoxes)
        QTest::newRow(qPrintable(s.name)) << s.name << s.minimum << s.maximum << s.step << s.value;
}

void TestForm::spinBoxes() {
    QFETCH(QString, name);
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, step);
    QFETCH(int, value);
    QSpinBox* box = named<QSpinBox>(name);
    QCOMPARE(box->minimum(), minimum);
    QCOMPARE(box->maximum(), maximum);
    QCOMPARE(box->singleStep(), step);
    QCOMPARE(box->value(), value);
    QCOMPARE(box->alignment(), kRightCentre);
}

void TestForm::geometry_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("rect");
    auto add = [](const QString& name, const QRect& rect) {
        QTest::newRow(qPrintable(name)) << name << rect;
    };
    add("menuBar", {0, 0, 1420, 30});
    add("USBcomboBox", {5, 6, 491, 21});
    add("DeviceAddresscomboBox", {500, 6, 71, 21});
    add("LOADSAVEprogressBar", {5, 30, 566, 21});
    add("lineTOP", {5, 50, 551, 16});
    add("gridLayoutWidget", {585, 5, 827, 746});
    add("gridLayoutWidget_2", {365, 100, 196, 503});
    add("lbIterations", {25, 530, 81, 21});
    add("cbPO", {63, 402, 36, 21});
    add("bgDIV1CLK", {200, 220, 21, 61});
    add("rbDIV1CLK_ref", {0, 0, 16, 21});
    add("rbDIV1CLK_PLL", {0, 40, 21, 21});
    add("bgDIV2CLK", {200, 450, 21, 61});
    add("rbDIV2CLK_ref", {0, 1, 21, 20});
    add("rbDIV2CLK_PLL", {0, 40, 21, 21});
    add("cbPLL_extend", {15, 680, 136, 16});
    add("lePLL", {15, 705, 176, 21});
    add("cbF1_pref", {200, 680, 96, 16});
    add("leF1", {200, 705, 176, 21});
    add("cbF2_pref", {385, 680, 96, 16});
    add("leF2", {385, 705, 176, 21});
    add("cbF2_enable", {485, 680, 81, 16});
    for (const BoxLabel& box : kBoxLabels)
        add(box.name, box.geometry);
    for (const SpinBox& s : kSpinBoxes)
        add(s.name, s.geometry);
    for (const Wire& wire : kWires)
        add(wire.name, wire.geometry);
}

void TestForm::geometry() {
    QFETCH(QString, name);
    QFETCH(QRect, rect);
    QCOMPARE(named(name)->geometry(), rect);
}

void TestForm::fonts_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("pointSize");
    QTest::addColumn<int>("bold");
    QTest::addColumn<bool>("kerning");
    for (const FontRule& rule : fontRules())
        for (const QString& name : rule.names)
            QTest::newRow(qPrintable(name))
                << name << rule.family << rule.pointSize << rule.bold << rule.kerning;
    // Widgets without a font of their own follow their parent.
    for (const char* name : {"lbName00", "lbAddr", "leVal03", "cb107", "cbMatrix_LCLK1", "leF1",
                             "sbPB", "cbPO", "rbDIV2CLK_PLL", "lineFref1"})
        QTest::newRow(name) << QString(name) << QString() << 0 << -1 << true;
}

void TestForm::fonts() {
    QFETCH(QString, name);
    QFETCH(QString, family);
    QFETCH(int, pointSize);
    QFETCH(int, bold);
    QFETCH(bool, kerning);
    QWidget* w = named(name);
    const QFont parent = w->parentWidget()->font();
    QCOMPARE(w->font().family(), family.isEmpty() ? parent.family() : family);
    QCOMPARE(w->font().pointSize(), pointSize ? pointSize : parent.pointSize());
    QCOMPARE(w->font().weight(), bold < 0 ? parent.weight() : (bold ? QFont::Bold : QFont::Normal));
    QCOMPARE(w->font().kerning(), kerning);
    // A weight set on purpose stays when the parent's weight changes.
    QCOMPARE(bool(w->font().resolveMask() & QFont::WeightResolved), bold >= 0);
}

void TestForm::onlyListedWidgetsSetAFont() {
    QSet<QString> listed;
    for (const FontRule& rule : fontRules())
        for (const QString& name : rule.names)
            listed.insert(name);
    QSet<QString> withFont;
    for (QWidget* w : form->window.findChildren<QWidget*>())
        if (isFormObjectName(w->objectName()) && w->testAttribute(Qt::WA_SetFont))
            withFont.insert(w->objectName());
    QCOMPARE(withFont, listed);
}

void TestForm::lineEdits_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<int>("maxLength");
    QTest::addColumn<Qt::Alignment>("alignment");
    QTest::addColumn<bool>("enabled");
    for (int r = 0; r < kRegisterRows.size(); ++r) {
        const QString name = "leVal" + rowDigits(r);
        QTest::newRow(qPrintable(name)) << name << "0x00" << true << 4 << kRightCentre << true;
    }
    for (const QString& x : kOutputs)
        QTest::newRow(qPrintable("le" + x))
            << "le" + x << "0 Hz" << true << 40 << kRightCentre << true;
    const Qt::Alignment right = Qt::AlignRight;
    QTest::newRow("lePLL") << "lePLL"
                           << "0 Hz" << true << 40 << right << true;
    // A target's text is made to fit what the fields hold.
    QTest::newRow("leF1") << "leF1"
                          << "0.00000" << false << TargetTextMaxLength << right << true;
    QTest::newRow("leF2") << "leF2"
                          << "0.00000" << false << TargetTextMaxLength << right << false;
}

void TestForm::lineEdits() {
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(bool, readOnly);
    QFETCH(int, maxLength);
    QFETCH(Qt::Alignment, alignment);
    QFETCH(bool, enabled);
    QLineEdit* edit = named<QLineEdit>(name);
    QCOMPARE(edit->text(), text);
    QCOMPARE(edit->isReadOnly(), readOnly);
    QCOMPARE(edit->maxLength(), maxLength);
    QCOMPARE(edit->alignment(), alignment);
    QCOMPARE(edit->isEnabled(), enabled);
    QCOMPARE(edit->inputMask(), QString());
}

void TestForm::buttons_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("cbPO") << "cbPO"
                          << "PO" << false << true;
    QTest::newRow("cbPLL_extend") << "cbPLL_extend"
                                  << "PLL range extended" << false << true;
    QTest::newRow("cbF1_pref") << "cbF1_pref"
                               << "F1 preferred" << true << true;
    QTest::newRow("cbF2_pref") << "cbF2_pref"
                               << "F2 preferred" << false << false;
    QTest::newRow("cbF2_enable") << "cbF2_enable"
                                 << "F2 enable" << false << true;
    for (const char* name : {"rbDIV1CLK_ref", "rbDIV1CLK_PLL", "rbDIV2CLK_ref", "rbDIV2CLK_PLL"})
        QTest::newRow(name) << QString(name) << QString() << false << true;
    for (const QString& x : kOutputs)
        QTest::newRow(qPrintable("pb" + x)) << "pb" + x << x << false << true;
}

void TestForm::buttons() {
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(bool, checked);
    QFETCH(bool, enabled);
    QAbstractButton* button = named<QAbstractButton>(name);
    QCOMPARE(button->text(), text);
    QCOMPARE(button->isChecked(), checked);
    QCOMPARE(button->isEnabled(), enabled);
    if (auto* box = qobject_cast<QCheckBox*>(button))
        QVERIFY(!box->isTristate());
}

void TestForm::initialState() {
    QSet<QString> disabled, checked, readOnly, checkablePushButtons;
    for (QWidget* w : form->window.findChildren<QWidget*>()) {
        const QString name = w->objectName();
        if (!isFormObjectName(name))
            continue;
        if (!w->isEnabled())
            disabled.insert(name);
        if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            if (button->isChecked())
                checked.insert(name);
            if (qobject_cast<QPushButton*>(w) && button->isCheckable())
                checkablePushButtons.insert(name);
        }
        if (auto* edit = qobject_cast<QLineEdit*>(w); edit && edit->isReadOnly())
            readOnly.insert(name);
    }
    QCOMPARE(disabled, QSet<QString>({"leF2", "cbF2_pref"}));
    QCOMPARE(checked, QSet<QString>({"cbF1_pref"}));

    QSet<QString> expectedReadOnly = {"lePLL"}, outputButtons;
    for (int r = 0; r < kRegisterRows.size(); ++r)
        expectedReadOnly.insert("leVal" + rowDigits(r));
    for (const QString& x : kOutputs) {
        expectedReadOnly.insert("le" + x);
        outputButtons.insert("pb" + x);
    }
    QCOMPARE(readOnly, expectedReadOnly);
    QCOMPARE(checkablePushButtons, outputButtons);

    QGroupBox* groups[] = {form->ui.bgDIV1CLK, form->ui.bgDIV2CLK};
    for (QGroupBox* group : groups) {
        QCOMPARE(group->title(), QString());
        QVERIFY(!group->isFlat());
        QVERIFY(!group->isCheckable());
    }
    QCOMPARE(form->ui.lbIterations->text(), QString("Iterations: 0"));
    QCOMPARE(form->ui.lbIterations->frameShape(), QFrame::NoFrame);
    QCOMPARE(form->ui.lbAddr->text(), QString("Addr."));
    QCOMPARE(form->ui.lbVal->text(), QString("Value"));
}

void TestForm::deviceStrip() {
    QComboBox* usb = form->ui.USBcomboBox;
    QCOMPARE(usb->count(), 1);
    QCOMPARE(usb->currentText(), QString("no devices: use USB -> Scan"));
    QCOMPARE(policyText(usb->sizePolicy()), policyText(QSizePolicy::Preferred, QSizePolicy::Fixed));

    QComboBox* address = form->ui.DeviceAddresscomboBox;
    QCOMPARE(address->count(), 0);
    QVERIFY(!address->isEditable());
    QCOMPARE(policyText(address->sizePolicy()),
             policyText(QSizePolicy::Preferred, QSizePolicy::Fixed));

    QProgressBar* progress = form->ui.LOADSAVEprogressBar;
    QCOMPARE(progress->minimum(), 0);
    QCOMPARE(progress->maximum(), 2000);
    QCOMPARE(progress->value(), 0);
}

void TestForm::menusAndActions_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("toolTip");  // empty: none of its own
    QTest::addColumn<QString>("menu");
    QTest::addColumn<int>("position");
    QTest::newRow("actionLoad") << "actionLoad"
                                << "Load"
                                << "Load all registers from file"
                                << "menuFile" << 0;
    QTest::newRow("actionSave") << "actionSave"
                                << "Save"
                                << "Save all registers to file"
                                << "menuFile" << 1;
    QTest::newRow("actionSave_As") << "actionSave_As"
                                   << "Save As"
                                   << ""
                                   << "menuFile" << 2;
    QTest::newRow("actionScan") << "actionScan"
                                << "Scan"
                                << ""
                                << "menuUSB" << 0;
    QTest::newRow("actionOpen") << "actionOpen"
                                << "Open"
                                << ""
                                << "menuUSB" << 1;
}

void TestForm::menusAndActions() {
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, toolTip);
    QFETCH(QString, menu);
    QFETCH(int, position);
    QAction* action = form->window.findChild<QAction*>(name);
    QVERIFY(action);
    QCOMPARE(action->parent(), &form->window);
    QCOMPARE(action->text(), text);
    // An action without a tool tip of its own shows its text.
    QCOMPARE(action->toolTip(), toolTip.isEmpty() ? text : toolTip);
    QVERIFY(action->statusTip().isEmpty());
    QVERIFY(action->shortcut().isEmpty());
    QVERIFY(action->icon().isNull());
    QVERIFY(!form->ui.mainToolBar->actions().contains(action));

    QMenu* owner = named<QMenu>(menu);
    QCOMPARE(owner->actions().size(), menu == "menuFile" ? 3 : 2);
    QCOMPARE(owner->actions().at(position), action);

    const QList<QAction*> bar = form->ui.menuBar->actions();
    QCOMPARE(bar,
             QList<QAction*>({form->ui.menuFile->menuAction(), form->ui.menuUSB->menuAction()}));
    QCOMPARE(form->ui.menuFile->title(), QString("File"));
    QCOMPARE(form->ui.menuUSB->title(), QString("USB"));
}

void TestForm::toolTipsAndStatusTips() {
    QSet<QString> withToolTip;
    for (QWidget* w : form->window.findChildren<QWidget*>()) {
        if (!isFormObjectName(w->objectName()))
            continue;
        QVERIFY2(w->statusTip().isEmpty(), qPrintable(w->objectName()));
        if (!w->toolTip().isEmpty())
            withToolTip.insert(w->objectName());
    }
    QCOMPARE(withToolTip, QSet<QString>({"DeviceAddresscomboBox"}));
    QCOMPARE(form->ui.DeviceAddresscomboBox->toolTip(), QString("I2C device address"));
}

void TestForm::textsAreLookedUpInMainWindowContext() {
    RecordingTranslator translator;
    QVERIFY(QCoreApplication::installTranslator(&translator));
    Form translated;
    QCoreApplication::removeTranslator(&translator);

    QStringList texts = {"Vantrel - CY22150",
                         "Load",
                         "Save",
                         "Save As",
                         "Scan",
                         "Open",
                         "Load all registers from file",
                         "Save all registers to file",
                         "File",
                         "USB",
                         "no devices: use USB -> Scan",
                         "I2C device address",
                         "Addr.",
                         "Value",
                         "0x00",
                         "0 Hz",
                         "0.00000",
                         "Iterations: 0",
                         "PO",
                         "PLL range extended",
                         "F1 preferred",
                         "F2 preferred",
                         "F2 enable"};
    for (const RegisterRow& row : kRegisterRows)
        texts << row.title << QString::asprintf("0x%02X", row.address) << row.bits;
    for (const BoxLabel& box : kBoxLabels)
        texts << box.text;
    texts << kMatrixItems << kOutputs;
    for (const QString& text : texts)
        QVERIFY2(translator.lookups.contains({"MainWindow", text}), qPrintable(text));

    QCOMPARE(translated.window.windowTitle(), QString("Vantrel (t)"));
    QCOMPARE(translated.ui.actionLoad->toolTip(), QString("Load (t)"));
    QCOMPARE(translated.ui.DeviceAddresscomboBox->toolTip(), QString("Address (t)"));
    QCOMPARE(translated.ui.lbDIV1CLK->text(), QString("DIV1 (t)"));
    QCOMPARE(translated.ui.cbMatrix_CLK6->itemText(7), QString("UNDEFINED (t)"));
    QCOMPARE(translated.ui.cbMatrix_CLK6->itemText(6), QString("DIV2CLK/4"));
}

void TestForm::retranslateSetsEmptyTextsExplicitly_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("property");
    QTest::newRow("cb000") << "cb000" << QByteArray("text");
    QTest::newRow("cb107") << "cb107" << QByteArray("text");
    QTest::newRow("cb054") << "cb054" << QByteArray("text");
    for (const char* name : {"rbDIV1CLK_ref", "rbDIV1CLK_PLL", "rbDIV2CLK_ref", "rbDIV2CLK_PLL"})
        QTest::newRow(name) << QString(name) << QByteArray("text");
    QTest::newRow("bgDIV1CLK") << "bgDIV1CLK" << QByteArray("title");
    QTest::newRow("bgDIV2CLK") << "bgDIV2CLK" << QByteArray("title");
    QTest::newRow("lePLL") << "lePLL" << QByteArray("inputMask");
}

void TestForm::retranslateSetsEmptyTextsExplicitly() {
    QFETCH(QString, name);
    QFETCH(QByteArray, property);
    Form f;
    QObject* o = f.window.findChild<QObject*>(name);
    QVERIFY(o->setProperty(property, QString("9999")));
    QVERIFY(!o->property(property).toString().isEmpty());
    f.ui.retranslateUi(&f.window);
    QCOMPARE(o->property(property).toString(), QString());
}

void TestForm::connectsSlotsByName() {
    ProbeWindow probe;
    MainWindowForm ui;
    // The family slots are connected by the refreshes, never by name.
    QTest::ignoreMessage(
        QtWarningMsg,
        "QMetaObject::connectSlotsByName: No matching signal for on_anycheckbox_toggled()");
    ui.setupUi(&probe);
    probe.show();
    QVERIFY(QTest::qWaitForWindowExposed(&probe));

    ui.actionOpen->trigger();
    QCOMPARE(probe.opened, 1);
    QTest::keyClick(ui.sbFreference, Qt::Key_Up);
    QCOMPARE(probe.referenceChanges, 1);
    QTest::mouseClick(ui.cbF2_enable, Qt::LeftButton);
    QCOMPARE(probe.enableToggles, 1);
    QTest::mouseClick(ui.cb000, Qt::LeftButton);
    QVERIFY(ui.cb000->isChecked());
    QCOMPARE(probe.familyCalls, 0);
}

void TestForm::radioButtonsAreExclusiveWithinTheirBox() {
    Form f;
    f.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));
    const MainWindowForm& ui = f.ui;
    QTest::mouseClick(ui.rbDIV1CLK_PLL, Qt::LeftButton);
    QVERIFY(ui.rbDIV1CLK_PLL->isChecked());
    QTest::mouseClick(ui.rbDIV2CLK_ref, Qt::LeftButton);
    QVERIFY(ui.rbDIV2CLK_ref->isChecked());
    QVERIFY(ui.rbDIV1CLK_PLL->isChecked());

    QTest::mouseClick(ui.rbDIV1CLK_ref, Qt::LeftButton);
    QVERIFY(ui.rbDIV1CLK_ref->isChecked());
    QVERIFY(!ui.rbDIV1CLK_PLL->isChecked());
    QVERIFY(ui.rbDIV2CLK_ref->isChecked());
    QVERIFY(!ui.rbDIV2CLK_PLL->isChecked());
}

void TestForm::outputButtonsToggle() {
    Form f;
    f.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));
    QTest::mouseClick(f.ui.pbCLK6, Qt::LeftButton);
    QVERIFY(f.ui.pbCLK6->isChecked());
    QVERIFY(!f.ui.pbCLK5->isChecked());
    QTest::mouseClick(f.ui.pbCLK6, Qt::LeftButton);
    QVERIFY(!f.ui.pbCLK6->isChecked());
}

void TestForm::spinBoxLimitsUnderTyping_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typed");  // typed over the whole text before the arrow keys
    QTest::addColumn<int>("steps");      // arrow presses, negative for down
    QTest::addColumn<int>("expected");
    QTest::newRow("reference up") << "sbFreference"
                                  << "" << 1 << 10001000;
    QTest::newRow("reference down") << "sbFreference"
                                    << "" << -2 << 9998000;
    QTest::newRow("reference floor") << "sbFreference"
                                     << "1000000" << -1 << 1000000;
    QTest::newRow("reference ceiling") << "sbFreference"
                                       << "200000000" << 1 << 200000000;
    QTest::newRow("reference below floor") << "sbFreference"
                                           << "999" << 0 << 10000000;
    QTest::newRow("DIV1N floor") << "sbDIV1N"
                                 << "" << -1 << 4;
    QTest::newRow("DIV1N ceiling") << "sbDIV1N"
                                   << "127" << 1 << 127;
    QTest::newRow("DIV2N floor") << "sbDIV2N"
                                 << "" << -1 << 4;
    QTest::newRow("DIV2N typed 3") << "sbDIV2N"
                                   << "3" << 0 << 4;
    QTest::newRow("PB ten bits") << "sbPB"
                                 << "1023" << 1 << 1023;
    QTest::newRow("PB refuses 2000") << "sbPB"
                                     << "2000" << 0 << 200;
    QTest::newRow("PB floor") << "sbPB"
                              << "" << -1 << 0;
    QTest::newRow("Q ceiling") << "sbQCounter"
                               << "127" << 1 << 127;
    QTest::newRow("CAPLOAD ceiling") << "sbCAPLOAD"
                                     << "255" << 1 << 255;
    QTest::newRow("charge pump ceiling") << "sbChargePump"
                                         << "7" << 1 << 7;
    QTest::newRow("XCO drive ceiling") << "sbXCOdrive"
                                       << "3" << 1 << 3;
}

void TestForm::spinBoxLimitsUnderTyping() {
    QFETCH(QString, name);
    QFETCH(QString, typed);
    QFETCH(int, steps);
    QFETCH(int, expected);
    Form f;
    QSpinBox* box = f.window.findChild<QSpinBox*>(name);
    if (!typed.isEmpty()) {
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(box, typed);
        QTest::keyClick(box, Qt::Key_Return);
    }
    for (int i = 0; i < qAbs(steps); ++i)
        QTest::keyClick(box, steps > 0 ? Qt::Key_Up : Qt::Key_Down);
    QCOMPARE(box->value(), expected);
}

void TestForm::lineEditTyping_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    const QString fifty(50, QLatin1Char('1'));
    QTest::newRow("F1 takes 40 characters") << "leF1" << fifty << QString(40, QLatin1Char('1'));
    QTest::newRow("F1 takes a frequency") << "leF1"
                                          << "12.5e6"
                                          << "12.5e6";
    QTest::newRow("F2 disabled") << "leF2"
                                 << "123"
                                 << "0.00000";
    QTest::newRow("PLL read-only") << "lePLL"
                                   << "123"
                                   << "0 Hz";
    QTest::newRow("value read-only") << "leVal04"
                                     << "0xFF"
                                     << "0x00";
    QTest::newRow("output read-only") << "leCLK5"
                                      << "5"
                                      << "0 Hz";
}

void TestForm::lineEditTyping() {
    QFETCH(QString, name);
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    Form f;
    QLineEdit* edit = f.window.findChild<QLineEdit*>(name);
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(edit, typed);
    QCOMPARE(edit->text(), expected);
}

QTEST_MAIN(TestForm)
#include "tst_form.moc"
