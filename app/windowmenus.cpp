// SPDX-License-Identifier: MIT
#include "app/windowmenus.h"

#include "views/mainwindowform.h"

#include <QApplication>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

namespace {
QString tr(const char* text) {
    return QCoreApplication::translate("MainWindow", text);
}
}  // namespace

void addShortcuts(MainWindowForm& ui) {
    ui.actionLoad->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    ui.actionSave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    ui.actionSave_As->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    ui.actionScan->setShortcut(QKeySequence(Qt::Key_F5));
}

// The form's texts stay as they are; the "&" only marks the letter that Alt or the open menu takes.
void addKeyboardAccess(QMainWindow& window, MainWindowForm& ui) {
    ui.menuFile->setTitle(tr("&File"));
    ui.menuUSB->setTitle(tr("&USB"));
    ui.actionLoad->setText(tr("&Load"));
    ui.actionSave->setText(tr("&Save"));
    ui.actionSave_As->setText(tr("Save &As"));
    ui.actionScan->setText(tr("&Scan"));
    ui.actionOpen->setText(tr("&Open"));
    QAction* quit = ui.menuFile->addAction(tr("&Quit"), &window, &QWidget::close);
    quit->setObjectName(QStringLiteral("actionQuit"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setMenuRole(QAction::QuitRole);
}

void addHelpMenu(QMainWindow& window, MainWindowForm& ui) {
    QMenu* help = ui.menuBar->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("menuHelp"));
    QAction* about = help->addAction(tr("&About Vantrel"), &window, [&window] {
        QMessageBox::about(&window, tr("About Vantrel"), aboutVantrelText());
    });
    about->setObjectName(QStringLiteral("actionAbout"));
    about->setMenuRole(QAction::AboutRole);
    QAction* aboutQt = help->addAction(tr("About &Qt"), qApp, &QApplication::aboutQt);
    aboutQt->setObjectName(QStringLiteral("actionAbout_Qt"));
    aboutQt->setMenuRole(QAction::AboutQtRole);
}

// No web address: the project has none yet that a reader could reach.
QString aboutVantrelText() {
    return tr("<p><b>Vantrel %1</b></p>"
              "<p>Programs a CY22150 clock generator through an i2c-tiny-usb adapter.</p>"
              "<p>Free software under the MIT licence.</p>")
        .arg(QStringLiteral(VANTREL_VERSION));
}
