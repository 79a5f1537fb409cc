// SPDX-License-Identifier: MIT
#include "app/windowarguments.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QtTest>

Q_DECLARE_METATYPE(WindowArguments::Action)

// The window's command line: vantrel [--help] [--version] [FILE].
class TestWindowArguments : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void parse_data();
    void parse();
    void answeredWithoutDisplay_data();
    void answeredWithoutDisplay();
};

void TestWindowArguments::initTestCase() {
    QCoreApplication::setApplicationName("vantrel");
    QCoreApplication::setApplicationVersion("0.1");
}

void TestWindowArguments::parse_data() {
    using A = WindowArguments::Action;
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<A>("action");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("text");  // what the text starts with
    const QString hint = "\nTry 'vantrel --help'.\n";
    QTest::newRow("none") << QStringList{} << A::Run << ""
                          << "";
    QTest::newRow("file") << QStringList{"board.cy22150.bin"} << A::Run << "board.cy22150.bin"
                          << "";
    QTest::newRow("file after --") << QStringList{"--", "-odd.bin"} << A::Run << "-odd.bin"
                                   << "";
    QTest::newRow("--version") << QStringList{"--version"} << A::PrintVersion << ""
                               << "vantrel 0.1\n";
    QTest::newRow("-v") << QStringList{"-v"} << A::PrintVersion << ""
                        << "vantrel 0.1\n";
    QTest::newRow("--help") << QStringList{"--help"} << A::PrintHelp << ""
                            << "Usage: vantrel [options] [FILE]\n";
    QTest::newRow("-h") << QStringList{"-h"} << A::PrintHelp << ""
                        << "Usage: vantrel [options] [FILE]\n";
    QTest::newRow("--help-all") << QStringList{"--help-all"} << A::PrintHelp << ""
                                << "Usage: vantrel [options] [FILE]\n";
    QTest::newRow("help wins over a bad option")
        << QStringList{"--bogus", "--help"} << A::PrintHelp << ""
        << "Usage: vantrel";
    QTest::newRow("unknown option") << QStringList{"--bogus"} << A::Refuse << ""
                                    << "Error: Unknown option 'bogus'." + hint;
    QTest::newRow("unknown option with a line break")
        << QStringList{"--x\nError: fake"} << A::Refuse << ""
        << QString("Error: Unknown option 'x%1Error: fake'.").arg(QChar(0x240A)) + hint;
    QTest::newRow("two files") << QStringList{"a.bin", "b.bin"} << A::Refuse << ""
                               << "Error: Only one register file can be opened at a time." + hint;
    QTest::newRow("empty file name") << QStringList{""} << A::Refuse << ""
                                     << "Error: The file name is empty." + hint;
    // Qt's own options are passed over, with their values, before and after QApplication.
    QTest::newRow("Qt option with a value, then a file")
        << QStringList{"-platform", "offscreen", "board.cy22150.bin"} << A::Run
        << "board.cy22150.bin"
        << "";
    QTest::newRow("Qt options in other spellings")
        << QStringList{"--style", "fusion", "-stylesheet=a.qss", "-reverse", "b.bin"} << A::Run
        << "b.bin"
        << "";
    QTest::newRow("unknown option beside Qt's")
        << QStringList{"-platform", "xcb", "-bogus"} << A::Refuse << ""
        << "Error: Unknown option 'bogus'." + hint;
    QTest::newRow("Qt option without its value")
        << QStringList{"-platform"} << A::Refuse << ""
        << "Error: Missing value after '-platform'." + hint;
}

void TestWindowArguments::parse() {
    QFETCH(QStringList, arguments);
    QFETCH(WindowArguments::Action, action);
    QFETCH(QString, fileName);
    QFETCH(QString, text);
    const WindowArguments parsed = parseWindowArguments(QStringList{"vantrel"} + arguments);
    QCOMPARE(parsed.action, action);
    QCOMPARE(parsed.fileName, fileName);
    if (text.isEmpty())
        QVERIFY2(parsed.text.isEmpty(), qPrintable(parsed.text));
    else
        QVERIFY2(parsed.text.startsWith(text), qPrintable(parsed.text));
    if (action == WindowArguments::Action::Refuse)
        QCOMPARE(parsed.text, text);
    if (action == WindowArguments::Action::PrintHelp)
        QVERIFY(parsed.text.contains("--version") && parsed.text.contains("FILE"));
    if (action == WindowArguments::Action::PrintVersion)
        QCOMPARE(parsed.text, text);
}

void TestWindowArguments::answeredWithoutDisplay_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");  // what stdout starts with; empty: nothing
    QTest::addColumn<QString>("err");
    QTest::newRow("--version") << QStringList{"--version"} << 0 << "vantrel 0.1\n"
                               << "";
    QTest::newRow("--help") << QStringList{"--help"} << 0 << "Usage: vantrel [options] [FILE]"
                            << "";
    QTest::newRow("--help beside a Qt option")
        << QStringList{"-platform", "nowhere", "--help"} << 0 << "Usage: vantrel"
        << "";
    const QString hint = "\nTry 'vantrel --help'.\n";
    QTest::newRow("unknown option") << QStringList{"--bogus"} << 2 << ""
                                    << "Error: Unknown option 'bogus'." + hint;
    QTest::newRow("unknown option beside a Qt option")
        << QStringList{"-platform", "nowhere", "-x"} << 2 << ""
        << "Error: Unknown option 'x'." + hint;
    QTest::newRow("two files") << QStringList{"a.bin", "b.bin"} << 2 << ""
                               << "Error: Only one register file can be opened at a time." + hint;
}

// Run as the installed program would be, on a machine without any display.
void TestWindowArguments::answeredWithoutDisplay() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QProcess vantrel;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(name);
    vantrel.setProcessEnvironment(environment);
    vantrel.start(VANTREL_PROGRAM, arguments);
    QVERIFY(vantrel.waitForFinished(30000));
    QCOMPARE(vantrel.exitStatus(), QProcess::NormalExit);
    QCOMPARE(vantrel.exitCode(), exitCode);
    const QString stdOut = QString::fromLocal8Bit(vantrel.readAllStandardOutput());
    QVERIFY2(out.isEmpty() ? stdOut.isEmpty() : stdOut.startsWith(out), qPrintable(stdOut));
    QCOMPARE(QString::fromLocal8Bit(vantrel.readAllStandardError()), err);
}

QTEST_GUILESS_MAIN(TestWindowArguments)
#include "tst_windowarguments.moc"
