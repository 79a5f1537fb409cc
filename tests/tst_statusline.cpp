// SPDX-License-Identifier: MIT
#include "session/statusline.h"

#include <QtTest>

// Each step of a script: "run" and "end" begin and end a run, "clear" and "settle" do what they
// say, and "error:T", "warning:T" and "info:T" show T with that kind.
class TestStatusLine : public QObject {
    Q_OBJECT

private slots:
    void lineAtTheEndOfARun_data();
    void lineAtTheEndOfARun();
    void runEndListenerOncePerOutermostRun_data();
    void runEndListenerOncePerOutermostRun();
};

void TestStatusLine::lineAtTheEndOfARun_data() {
    QTest::addColumn<QStringList>("script");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("shown");  // what the listener was told, in order

    QTest::newRow("an error outlives the refresh that clears it")
        << QStringList{"run", "error:Error: E", "clear", "warning:W", "end"} << "Error: E"
        << QStringList{"Error: E", "", "W", "Error: E"};
    QTest::newRow("the last error of the run wins")
        << QStringList{"run", "error:Error: A", "error:Error: B", "clear", "end"} << "Error: B"
        << QStringList{"Error: A", "Error: B", "", "Error: B"};
    QTest::newRow("an error of an earlier run does not come back")
        << QStringList{"run", "error:Error: E", "end", "run", "clear", "end"} << ""
        << QStringList{"Error: E", ""};
    QTest::newRow("a run that says nothing leaves the line alone")
        << QStringList{"run", "error:Error: E", "end", "run", "end"} << "Error: E"
        << QStringList{"Error: E"};
    QTest::newRow("an info line comes back when the refreshes leave nothing")
        << QStringList{"run", "info:Info: read", "clear", "end"} << "Info: read"
        << QStringList{"Info: read", "", "Info: read"};
    QTest::newRow("a warning left by the refreshes stays before the info line")
        << QStringList{"run", "info:Info: read", "clear", "warning:W", "end"} << "W"
        << QStringList{"Info: read", "", "W"};
    QTest::newRow("only the outermost run decides")
        << QStringList{"run", "run", "error:Error: E", "clear", "end", "clear", "end"} << "Error: E"
        << QStringList{"Error: E", "", "Error: E"};
    QTest::newRow("settled errors stay settled")
        << QStringList{"run", "error:Error: E", "settle", "info:Info: read", "clear", "end"}
        << "Info: read" << QStringList{"Error: E", "Info: read", "", "Info: read"};
    QTest::newRow("the same text twice is no change")
        << QStringList{"warning:W", "warning:W", "clear", "clear"} << "" << QStringList{"W", ""};
}

void TestStatusLine::lineAtTheEndOfARun() {
    QFETCH(QStringList, script);
    StatusLine line;
    QStringList shown;
    line.setListener([&](const QString& text) { shown << text; });
    for (const QString& step : script) {
        const QString text = step.section(':', 1);
        if (step == "run")
            line.beginRun();
        else if (step == "end")
            line.endRun();
        else if (step == "clear")
            line.clear();
        else if (step == "settle")
            line.settleErrors();
        else if (step.startsWith("error:"))
            line.show({ReportKind::Error, text});
        else if (step.startsWith("warning:"))
            line.show({ReportKind::Warning, text});
        else if (step.startsWith("info:"))
            line.show({ReportKind::Info, text});
        else
            QFAIL(qPrintable("unknown step " + step));
    }
    QTEST(line.text(), "line");
    QTEST(shown, "shown");
}

void TestStatusLine::runEndListenerOncePerOutermostRun_data() {
    QTest::addColumn<QStringList>("script");
    QTest::addColumn<int>("calls");
    QTest::newRow("one run") << QStringList{"run", "end"} << 1;
    QTest::newRow("nested runs are one action") << QStringList{"run", "run", "end", "end"} << 1;
    QTest::newRow("two actions") << QStringList{"run", "end", "run", "run", "end", "end"} << 2;
    QTest::newRow("an inner end is no end") << QStringList{"run", "run", "end"} << 0;
}

// The window takes stock of an action (its undo step, the chip marks) once, at its very end.
void TestStatusLine::runEndListenerOncePerOutermostRun() {
    QFETCH(QStringList, script);
    StatusLine line;
    int calls = 0;
    line.setRunEndListener([&] { ++calls; });
    for (const QString& step : script) {
        if (step == "run")
            line.beginRun();
        else
            line.endRun();
    }
    QTEST(calls, "calls");
}

QTEST_MAIN(TestStatusLine)
#include "tst_statusline.moc"
