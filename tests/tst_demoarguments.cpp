// SPDX-License-Identifier: MIT
// What vantrel-demo runs for its arguments: vantrel, vantrel with a register file, or another
// program.
#include "demoarguments.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestDemoArguments : public QObject {
    Q_OBJECT

private slots:
    void run_data();
    void run();
};

// "@" in an expected argument stands for the folder the command is given in, "^" for
// vantrel-demo's own.
void TestDemoArguments::run_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("other");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("nothing") << QStringList{} << false << QStringList{"^/vantrel"};
    QTest::newRow("a register file, relative") << QStringList{"board.cy22150.bin"} << false
                                               << QStringList{"^/vantrel", "@/board.cy22150.bin"};
    QTest::newRow("a register file not yet there")
        << QStringList{"sub/new.CY22150.BIN"} << false
        << QStringList{"^/vantrel", "@/sub/new.CY22150.BIN"};
    QTest::newRow("an existing file without the ending")
        << QStringList{"saved"} << false << QStringList{"^/vantrel", "@/saved"};
    QTest::newRow("an absolute register file") << QStringList{"/tmp/x.cy22150.bin"} << false
                                               << QStringList{"^/vantrel", "/tmp/x.cy22150.bin"};
    QTest::newRow("options, then a register file")
        << QStringList{"-platform", "offscreen", "board.cy22150.bin"} << false
        << QStringList{"^/vantrel", "-platform", "offscreen", "@/board.cy22150.bin"};
    QTest::newRow("a program beside vantrel-demo")
        << QStringList{"vantrel-cli", "read", "-o", "out.cy22150.bin"} << true
        << QStringList{"^/vantrel-cli", "read", "-o", "out.cy22150.bin"};
    QTest::newRow("a program on the PATH")
        << QStringList{"sh", "-c", "true"} << true << QStringList{"sh", "-c", "true"};
    QTest::newRow("an executable file") << QStringList{"./tool"} << true << QStringList{"./tool"};
}

void TestDemoArguments::run() {
    QFETCH(QStringList, arguments);
    QFETCH(bool, other);
    QFETCH(QStringList, expected);
    QTemporaryDir here;
    QTemporaryDir work;
    QVERIFY(here.isValid() && work.isValid());
    QFile(here.filePath("vantrel-cli")).open(QIODevice::WriteOnly);
    QFile(work.filePath("saved")).open(QIODevice::WriteOnly);
    QFile tool(work.filePath("tool"));
    QVERIFY(tool.open(QIODevice::WriteOnly));
    tool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    tool.close();

    std::vector<std::string> args;
    for (const QString& a : arguments)
        args.push_back(a.toStdString());
    const DemoRun run = demoRun(args, here.path().toStdString(), work.path().toStdString());
    QCOMPARE(run.other, other);
    QStringList got;
    for (const std::string& a : run.args)
        got << QString::fromStdString(a);
    expected.replaceInStrings(QRegularExpression("^\\^"), here.path());
    expected.replaceInStrings(QRegularExpression("^@"), work.path());
    QCOMPARE(got, expected);
    QCOMPARE(QString::fromStdString(run.program), expected.first());
}

QTEST_GUILESS_MAIN(TestDemoArguments)
#include "tst_demoarguments.moc"
