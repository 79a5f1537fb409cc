// SPDX-License-Identifier: MIT
// The window and its dialogs on screens smaller than the window (tests/screens/small.json: a
// 1366 x 768 laptop, 1920 x 1080 at 150 %, and 1440 x 900, which holds the whole window).
#include "app/mainwindow.h"
#include "app/plandialog.h"
#include "views/mainwindowform.h"
#include "views/windowfit.h"
#include "windowfixture.h"

#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QWindow>
#include <QtTest>

class TestSmallScreen : public QObject {
    Q_OBJECT

private slots:
    void fittedSize_data();
    void fittedSize();
    void windowOnScreen_data();
    void windowOnScreen();
    void movedToAnotherScreen();
    void dialogsOnScreen_data();
    void dialogsOnScreen();
};

namespace {
QScreen* screenNamed(const QString& name) {
    for (QScreen* screen : QGuiApplication::screens())
        if (screen->name() == name)
            return screen;
    return nullptr;
}

void addScreens() {
    QTest::addColumn<QString>("screen");
    QTest::addColumn<bool>("scrolls");
    QTest::newRow("1366x768") << "1366x768" << true;
    QTest::newRow("1920x1080 at 150 %") << "1920x1080 at 150 %" << true;
    QTest::newRow("1440x900") << "1440x900" << false;
}
}  // namespace

void TestSmallScreen::fittedSize_data() {
    QTest::addColumn<QSize>("wanted");
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QMargins>("frame");
    QTest::addColumn<QSize>("fitted");
    const QSize window(1420, 830);
    QTest::newRow("holds it") << window << QRect(0, 0, 1920, 1050) << QMargins(2, 30, 2, 2)
                              << window;
    QTest::newRow("just holds it, frame included")
        << window << QRect(0, 0, 1424, 862) << QMargins(2, 30, 2, 2) << window;
    QTest::newRow("one pixel short in height")
        << window << QRect(0, 0, 1424, 861) << QMargins(2, 30, 2, 2) << QSize(1420, 829);
    QTest::newRow("laptop with a panel")
        << window << QRect(0, 27, 1366, 741) << QMargins(4, 32, 4, 4) << QSize(1358, 705);
    QTest::newRow("only the width")
        << window << QRect(100, 0, 1280, 1024) << QMargins() << QSize(1280, 830);
    QTest::newRow("nothing left") << window << QRect(0, 0, 5, 5) << QMargins(4, 32, 4, 4)
                                  << QSize(1, 1);
}

void TestSmallScreen::fittedSize() {
    QFETCH(QSize, wanted);
    QFETCH(QRect, available);
    QFETCH(QMargins, frame);
    QTEST(fittedWindowSize(wanted, available, frame), "fitted");
}

void TestSmallScreen::windowOnScreen_data() {
    addScreens();
}

// Where the screen is too small, the window with its frame fits the available area and the form
// scrolls in it at its own size, so every field can be brought into view; else the window is as
// it always was.
void TestSmallScreen::windowOnScreen() {
    QFETCH(QString, screen);
    QFETCH(bool, scrolls);
    QScreen* s = screenNamed(screen);
    QVERIFY2(s, qPrintable(screen));
    WindowFixture f(WindowFixture::Start::WithoutAdapter);
    MainWindow& w = f.open();
    w.setScreen(s);
    w.move(s->geometry().topLeft());
    showMainWindow(w);
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QWidget* form = f.ui().centralWidget;
    const QRect available = s->availableGeometry();
    QVERIFY2(available.contains(w.frameGeometry()),
             qPrintable(QString("frame %1,%2 %3x%4")
                            .arg(w.frameGeometry().x())
                            .arg(w.frameGeometry().y())
                            .arg(w.frameGeometry().width())
                            .arg(w.frameGeometry().height())));
    if (!scrolls) {
        QCOMPARE(w.centralWidget(), form);
        QCOMPARE(w.size(), QSize(1420, 830));
        return;
    }
    auto* area = qobject_cast<QScrollArea*>(w.centralWidget());
    QVERIFY(area);
    QCOMPARE(area->objectName(), QString("formScrollArea"));
    QCOMPARE(area->widget(), form);
    QCOMPARE(form->width(), 1420);
    QVERIFY(form->height() > f.ui().gridLayoutWidget->geometry().bottom());
    QVERIFY(area->horizontalScrollBar()->isVisible());
    QVERIFY(area->verticalScrollBar()->isVisible());
    // The form inside is the form as built.
    QCOMPARE(f.ui().leF1->geometry(), QRect(200, 705, 176, 21));
    QCOMPARE(f.ui().gridLayoutWidget->geometry(), QRect(585, 5, 827, 746));
    // The solver's fields, the PLL, register 0x47 and the bit-0 column come into view.
    for (QWidget* widget : std::initializer_list<QWidget*>{f.ui().leF1, f.ui().leF2, f.ui().lePLL,
                                                           f.ui().cb100, f.ui().cb000}) {
        area->ensureWidgetVisible(widget);
        const QRect shown = QRect(widget->mapTo(area->viewport(), QPoint()), widget->size());
        QVERIFY2(area->viewport()->rect().contains(shown), qPrintable(widget->objectName()));
    }
}

// Moved to a small screen, the window fits it and the form scrolls; back on a large one, it is as
// it always was.
void TestSmallScreen::movedToAnotherScreen() {
    QScreen* large = screenNamed("1440x900");
    QScreen* small = screenNamed("1366x768");
    QVERIFY(large && small);
    WindowFixture f(WindowFixture::Start::WithoutAdapter);
    MainWindow& w = f.open();
    w.setScreen(large);
    w.move(large->geometry().topLeft());
    showMainWindow(w);
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QWidget* form = f.ui().centralWidget;
    QCOMPARE(w.centralWidget(), form);

    w.windowHandle()->setScreen(small);
    QTRY_COMPARE(w.screen(), small);
    QVERIFY(qobject_cast<QScrollArea*>(w.centralWidget()));
    QVERIFY(small->availableGeometry().contains(w.frameGeometry()));

    w.windowHandle()->setScreen(large);
    w.move(large->geometry().topLeft());
    QTRY_COMPARE(w.screen(), large);
    QCOMPARE(w.centralWidget(), form);
    QCOMPARE(form->parentWidget(), static_cast<QWidget*>(&w));
    QCOMPARE(w.size(), QSize(1420, 830));
    QCOMPARE(f.ui().leF1->geometry(), QRect(200, 705, 176, 21));
}

void TestSmallScreen::dialogsOnScreen_data() {
    addScreens();
}

// The plan dialog and the list of the chip's rules fit the same screens.
void TestSmallScreen::dialogsOnScreen() {
    QFETCH(QString, screen);
    QScreen* s = screenNamed(screen);
    QVERIFY(s);
    WindowFixture f(WindowFixture::Start::WithoutAdapter);
    MainWindow& w = f.open();
    w.setScreen(s);
    w.move(s->geometry().topLeft());
    showMainWindow(w);
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.planOutputsAction()->trigger();
    w.findChild<QAction*>("actionChip_rules")->trigger();
    const QRect available = s->availableGeometry();
    for (QWidget* dialog :
         std::initializer_list<QWidget*>{w.planDialog(), w.views().findings.dialog()}) {
        QVERIFY(dialog);
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        QVERIFY2(dialog->frameGeometry().width() <= available.width() &&
                     dialog->frameGeometry().height() <= available.height(),
                 qPrintable(dialog->objectName()));
    }
}

QTEST_MAIN(TestSmallScreen)
#include "tst_smallscreen.moc"
