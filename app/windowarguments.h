// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

// What the window's command line asks for: vantrel [--help] [--version] [FILE].
struct WindowArguments {
    enum class Action {
        Run,           // open the window, and load fileName after the start-up scan when given
        PrintHelp,     // print text on stdout and exit 0
        PrintVersion,  // print text on stdout and exit 0
        Refuse,        // print text, an "Error: " line with a hint, on stderr and exit 2
    };
    Action action = Action::Run;
    QString fileName;  // empty: none
    QString text;
};

// Exit code of a refused command line, as vantrel-cli uses for bad usage.
constexpr int WindowUsageExitCode = 2;

// Reads the arguments (the program's name first). Qt's own options, such as -platform NAME, are
// passed over, whether QApplication has taken them out already or not, so the answer needs no
// display; --help and --version win over anything else.
WindowArguments parseWindowArguments(const QStringList& arguments);
