// SPDX-License-Identifier: MIT
// The vantrel-cli commands that the README and the manual page show run as shown: each runs,
// in the order the documents give them, on the emulated machine (vantrel-demo, a new chip each
// run), and ends with the exit code the document claims ("[exit N]" after it; 0 when none is
// given). An example that cannot run there (real hardware, an I2C bus) carries the marker
// "not runnable on the emulated machine" on a line before its block (a comment in either
// document); the test lists what it skips. A pipe's consumer is left out: "vantrel-cli read
// --json | jq ..." runs "vantrel-cli read --json".
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {
struct Example {
    QString where;  // document and line
    QString command;
    int exitCode = 0;
    bool runnable = true;
};

const QString NotRunnable = QStringLiteral("not runnable on the emulated machine");

// Command lines start with "$ " (after indentation); a trailing "\" (or "\e" in the manual page)
// continues on the next line. The document's block ends at a line of ``` or ".Ed".
QList<Example> examples(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    const QString name = QFileInfo(path).fileName();
    QList<Example> found;
    bool skipNextBlock = false;
    bool inBlock = false;
    bool blockSkipped = false;
    const QRegularExpression exit(QStringLiteral("^\\s*\\[exit (\\d+)\\]\\s*$"));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i];
        const QString trimmed = line.trimmed();
        if (line.contains(NotRunnable))
            skipNextBlock = true;
        const bool fence = trimmed.startsWith(QLatin1String("```")) ||
                           trimmed.startsWith(QLatin1String(".Bd")) ||
                           trimmed == QLatin1String(".Ed");
        if (fence) {
            inBlock = !inBlock && !trimmed.startsWith(QLatin1String(".Ed"));
            if (inBlock) {
                blockSkipped = skipNextBlock;
                skipNextBlock = false;
            }
            continue;
        }
        if (const QRegularExpressionMatch m = exit.match(line); m.hasMatch() && !found.isEmpty()) {
            found.last().exitCode = m.captured(1).toInt();
            continue;
        }
        if (!trimmed.startsWith(QLatin1String("$ ")))
            continue;
        QString command = trimmed.mid(2);
        const int at = i + 1;
        while ((command.endsWith(QLatin1String("\\e")) || command.endsWith('\\')) &&
               i + 1 < lines.size()) {
            command.chop(command.endsWith(QLatin1String("\\e")) ? 2 : 1);
            command += ' ' + lines[++i].trimmed();
        }
        command = command.section(QLatin1String(" | "), 0, 0).simplified();
        if (command.startsWith(QLatin1String("./vantrel-demo ")))
            command = command.mid(15);
        if (!command.startsWith(QLatin1String("vantrel-cli ")))
            continue;
        found.append(
            {QStringLiteral("%1:%2").arg(name).arg(at), command, 0, inBlock && !blockSkipped});
    }
    return found;
}
}  // namespace

class TestDocExamples : public QObject {
    Q_OBJECT

private slots:
    void extraction_data();
    void extraction();
    void documentedCommandsRun();
};

// The extraction itself, on a small document of each kind.
void TestDocExamples::extraction_data() {
    QTest::addColumn<QString>("document");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QStringList>("expected");  // command|exit|runnable
    QTest::newRow("markdown session")
        << "```text\n$ ./vantrel-demo vantrel-cli list\nBUS...\n[exit 0]\n$ ./vantrel-demo "
           "vantrel-cli solve --ref 10M --f1 1G\nError: x\n[exit 1]\n$ ls\n```\n"
        << ".md" << QStringList{"vantrel-cli list|0|1", "vantrel-cli solve --ref 10M --f1 1G|1|1"};
    QTest::newRow("marked as not runnable")
        << "<!-- not runnable on the emulated machine -->\n```sh\n$ vantrel-cli read --bus 3\n```\n"
           "```sh\n$ vantrel-cli list\n```\n"
        << ".md" << QStringList{"vantrel-cli read --bus 3|0|0", "vantrel-cli list|0|1"};
    QTest::newRow("manual page, continued and piped")
        << ".Bd -literal -offset indent\n$ vantrel-cli plan LCLK1=25M \\e\n      CLK6=100k\n"
           "$ vantrel-cli read --json | jq .x\n.Ed\n"
        << ".1"
        << QStringList{"vantrel-cli plan LCLK1=25M CLK6=100k|0|1", "vantrel-cli read --json|0|1"};
}

void TestDocExamples::extraction() {
    QFETCH(QString, document);
    QFETCH(QString, suffix);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("doc" + suffix);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(document.toUtf8());
    file.close();
    QStringList got;
    for (const Example& e : examples(path))
        got << QStringLiteral("%1|%2|%3").arg(e.command).arg(e.exitCode).arg(int(e.runnable));
    QCOMPARE(got, expected);
}

void TestDocExamples::documentedCommandsRun() {
    QList<Example> all = examples(VANTREL_README) + examples(VANTREL_MAN_PAGE);
    QVERIFY2(all.size() >= 10, qPrintable(QString::number(all.size())));  // the extraction works
    QTemporaryDir work;
    QVERIFY(work.isValid());
    for (const Example& e : all) {
        if (!e.runnable) {
            qInfo("skipped, %s: %s", qPrintable(e.where), qPrintable(e.command));
            continue;
        }
        QProcess demo;
        demo.setWorkingDirectory(work.path());
        demo.start(VANTREL_DEMO,
                   QStringList{"vantrel-cli"} + QProcess::splitCommand(e.command).mid(1));
        QVERIFY2(demo.waitForFinished(60000), qPrintable(e.where));
        const QString err = QString::fromLocal8Bit(demo.readAllStandardError());
        QVERIFY2(demo.exitStatus() == QProcess::NormalExit && demo.exitCode() == e.exitCode,
                 qPrintable(QStringLiteral(
                                "%1: %2 exits %3, the document says %4 (an example that cannot run "
                                "here needs the marker \"%6\")\n%5")
                                .arg(e.where, e.command)
                                .arg(demo.exitCode())
                                .arg(e.exitCode)
                                .arg(err, NotRunnable)));
    }
}

QTEST_GUILESS_MAIN(TestDocExamples)
#include "tst_docexamples.moc"
