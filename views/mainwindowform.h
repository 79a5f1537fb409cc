// SPDX-License-Identifier: MIT
#pragma once

#include "ui_mainwindow.h"

// The rest of the program names the form record MainWindowForm; uic generates its members
// (one pointer per named object) and setupUi/retranslateUi from mainwindow.ui.
class MainWindowForm : public Ui_MainWindow {};
