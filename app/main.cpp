// SPDX-License-Identifier: MIT
#include "app/mainwindow.h"
#include "app/windowarguments.h"

#include <QApplication>
#include <QLoggingCategory>

#include <cstdio>

namespace {
QStringList argumentList(int argc, char* argv[]) {
    QStringList list;
    for (int i = 0; i < argc; ++i)
        list << QString::fromLocal8Bit(argv[i]);
    return list;
}

// Prints what the command line asked for, or why it was refused; returns the exit code.
int answer(const WindowArguments& arguments) {
    const bool refused = arguments.action == WindowArguments::Action::Refuse;
    std::fputs(arguments.text.toLocal8Bit().constData(), refused ? stderr : stdout);
    return refused ? WindowUsageExitCode : 0;
}
}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication::setApplicationName(QStringLiteral("vantrel"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANTREL_VERSION));
    // Answered before QApplication, which needs a display: --help, --version and bad usage.
    const WindowArguments request = parseWindowArguments(argumentList(argc, argv));
    if (request.action != WindowArguments::Action::Run)
        return answer(request);

    QApplication app(argc, argv);  // takes Qt's own options out of argv
    const WindowArguments arguments = parseWindowArguments(QCoreApplication::arguments());
    if (arguments.action != WindowArguments::Action::Run)
        return answer(arguments);
    // The family slots (on_any...) are connected by the refreshes, not by name; the by-name pass
    // would otherwise warn about each of them on every start.
    QLoggingCategory::setFilterRules(
        QStringLiteral("qt.core.qmetaobject.connectslotsbyname=false"));
    int result;
    {
        MainWindow window;
        if (!arguments.fileName.isEmpty())
            window.loadAfterStartUpScan(arguments.fileName);
        showMainWindow(window);
        result = app.exec();
    }
    return result;
}
