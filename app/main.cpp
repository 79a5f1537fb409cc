// SPDX-License-Identifier: MIT
#include "app/mainwindow.h"

#include <QApplication>
#include <QLoggingCategory>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // The family slots (on_any...) are connected by the refreshes, not by name; the by-name pass
    // would otherwise warn about each of them on every start.
    QLoggingCategory::setFilterRules(
        QStringLiteral("qt.core.qmetaobject.connectslotsbyname=false"));
    int result;
    {
        MainWindow window;
        showMainWindow(window);
        result = app.exec();
    }
    return result;
}
