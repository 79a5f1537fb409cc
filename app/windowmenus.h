// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QMainWindow;
class MainWindowForm;

// Keyboard shortcuts on the form's actions: Load Ctrl+O, Save Ctrl+S, Save As Ctrl+Shift+S, Scan
// F5.
void addShortcuts(MainWindowForm& ui);

// The desktop's keyboard conventions on the menus: mnemonics on the form's menus and entries
// (Alt+F, Alt+U; Load, Save, Save As, Scan, Open) and File > Quit ("actionQuit", Ctrl+Q) after
// the form's File entries, which closes the window.
void addKeyboardAccess(QMainWindow& window, MainWindowForm& ui);

// Adds the Help menu ("menuHelp") at the end of the menu bar, after File and USB: About Vantrel
// ("actionAbout") and About Qt ("actionAbout_Qt"). Menus added later go before it.
void addHelpMenu(QMainWindow& window, MainWindowForm& ui);

// The About box's text: name, version and licence (rich text).
QString aboutVantrelText();
