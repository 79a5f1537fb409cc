// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QMainWindow;
class MainWindowForm;

// Keyboard shortcuts on the form's actions: Load Ctrl+O, Save Ctrl+S, Save As Ctrl+Shift+S, Scan
// F5.
void addShortcuts(MainWindowForm& ui);

// Adds the Help menu ("menuHelp") at the end of the menu bar, after File and USB: About Vantrel
// ("actionAbout") and About Qt ("actionAbout_Qt"). Menus added later go before it.
void addHelpMenu(QMainWindow& window, MainWindowForm& ui);

// The About box's text: name, version, licence and where the source lives (rich text).
QString aboutVantrelText();
