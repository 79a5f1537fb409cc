// SPDX-License-Identifier: MIT
// Every colour the window and the plan dialog set reads on its background, and an output's on and
// off states tell apart, in the light and the dark Fusion palette.
#include "app/mainwindow.h"
#include "app/plandialog.h"
#include "views/mainwindowform.h"
#include "views/readablecolours.h"
#include "windowfixture.h"

#include <QLabel>
#include <QStyleFactory>
#include <QTableWidget>
#include <QtTest>

namespace {
// Fusion's dark palette, as Qt derives it from a dark desktop.
QPalette darkFusionPalette() {
    const QColor window(50, 50, 50);
    const QColor text(240, 240, 240);
    QPalette p(text, window, window.lighter(150), window.darker(150), window.darker(130), text,
               window.darker(140));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Highlight, QColor(48, 140, 198));
    p.setColor(QPalette::HighlightedText, text);
    return p;
}

QColor pixel(QWidget* widget, int x, int y) {
    return widget->grab().toImage().pixelColor(x, y);
}
}  // namespace

class TestContrast : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void ratio_data();
    void ratio();
    void window_data();
    void window();
    void planDialog_data();
    void planDialog();

private:
    void usePalette(const QString& name);
};

void TestContrast::initTestCase() {
    QApplication::setStyle(QStyleFactory::create("Fusion"));
}

void TestContrast::cleanup() {
    QApplication::setPalette(QApplication::style()->standardPalette());
}

void TestContrast::usePalette(const QString& name) {
    QApplication::setPalette(name == "dark" ? darkFusionPalette()
                                            : QApplication::style()->standardPalette());
}

void TestContrast::ratio_data() {
    QTest::addColumn<QColor>("a");
    QTest::addColumn<QColor>("b");
    QTest::addColumn<double>("ratio");
    QTest::newRow("black on white") << QColor(Qt::black) << QColor(Qt::white) << 21.0;
    QTest::newRow("the same") << QColor(120, 30, 200) << QColor(120, 30, 200) << 1.0;
    QTest::newRow("red on black") << QColor(Qt::red) << QColor(Qt::black) << 5.252;
    QTest::newRow("mid grey on white") << QColor(118, 118, 118) << QColor(Qt::white) << 4.542;
}

void TestContrast::ratio() {
    QFETCH(QColor, a);
    QFETCH(QColor, b);
    QFETCH(double, ratio);
    QVERIFY2(std::abs(contrastRatio(a, b) - ratio) < 0.005,
             qPrintable(QString::number(contrastRatio(a, b))));
    QVERIFY(std::abs(contrastRatio(b, a) - ratio) < 0.005);
}

void TestContrast::window_data() {
    QTest::addColumn<QString>("palette");
    QTest::newRow("light") << "light";
    QTest::newRow("dark") << "dark";
}

// The output buttons as drawn, off and on (clicked as a user does), and the F1 field in each of
// its colours after a solve.
void TestContrast::window() {
    QFETCH(QString, palette);
    usePalette(palette);
    WindowFixture f;
    MainWindow& w = f.open();
    showMainWindow(w);
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QPushButton* button = f.ui().pbLCLK1;
    QVERIFY(!button->isChecked());
    // Above the text and the focus frame, inside the border.
    const QPoint inside(button->width() / 2, 2);
    const QColor off = pixel(button, inside.x(), inside.y());
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(button->isChecked());
    const QColor on = pixel(button, inside.x(), inside.y());
    QVERIFY2(
        contrastRatio(on, off) >= DistinctStates,
        qPrintable(
            QString("on %1, off %2: %3:1").arg(on.name(), off.name()).arg(contrastRatio(on, off))));
    const OnButtonColours colours = onButtonColours(button->palette());
    QCOMPARE(on, colours.fill);
    QVERIFY(contrastRatio(colours.text, colours.fill) >= ReadableText);
    QVERIFY(contrastRatio(button->palette().color(QPalette::ButtonText), off) >= ReadableText);

    // Exact (green), no solution (red), and the white of a solve that found settings.
    for (const char* target : {"100000000", "1000000000", "99999000"}) {
        QLineEdit* field = f.ui().leF1;
        field->selectAll();
        QTest::keyClicks(field, target);
        QTest::keyClick(field, Qt::Key_Return);
        const QPalette p = field->palette();
        const double ratio = contrastRatio(p.color(QPalette::Text), p.color(QPalette::Base));
        QVERIFY2(ratio >= ReadableText, qPrintable(QString("%1: %2 on %3, %4:1")
                                                       .arg(target, p.color(QPalette::Text).name(),
                                                            p.color(QPalette::Base).name())
                                                       .arg(ratio)));
    }
}

void TestContrast::planDialog_data() {
    window_data();
}

// A plan that misses its tolerance: the missed row's text on its colour, and the summary on the
// dialog.
void TestContrast::planDialog() {
    QFETCH(QString, palette);
    usePalette(palette);
    WindowFixture f;
    MainWindow& w = f.open();
    w.planOutputsAction()->trigger();
    PlanDialog* dialog = w.planDialog();
    QVERIFY(dialog);
    QLineEdit* lclk1 = dialog->findChild<QLineEdit*>("lePlan_LCLK1");
    QVERIFY(lclk1);
    QTest::keyClicks(lclk1, "14.31818M");
    dialog->findChild<QLineEdit*>("lePlanTolerance")->setText("0.001");
    QTest::mouseClick(dialog->findChild<QPushButton*>("pbPlan"), Qt::LeftButton);
    auto* table = dialog->findChild<QTableWidget*>();
    QVERIFY(table);
    const QTableWidgetItem* missed = table->item(0, 0);
    QVERIFY(missed);
    QCOMPARE(missed->background().color(), PlanDialog::missColour());
    const QColor text = missed->foreground().style() == Qt::NoBrush
                            ? table->palette().color(QPalette::Text)
                            : missed->foreground().color();
    QVERIFY2(contrastRatio(text, missed->background().color()) >= ReadableText,
             qPrintable(text.name()));
    auto* summary = dialog->findChild<QLabel*>("lbPlanMessage");
    QVERIFY(summary->text().contains("misses the tolerance"));
    const QColor alarm = summary->palette().color(QPalette::WindowText);
    QVERIFY(alarm.red() > alarm.green());  // still red
    const double ratio = contrastRatio(alarm, dialog->palette().color(QPalette::Window));
    QVERIFY2(ratio >= ReadableText, qPrintable(QString::number(ratio)));
}

QTEST_MAIN(TestContrast)
#include "tst_contrast.moc"
