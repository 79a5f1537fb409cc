// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <functional>

class QWidget;
struct FormContext;
struct FormViews;
struct Session;

// Where the commands get a file name from: the standard open or save dialog unless replaced, for
// example by a test that answers in place of the user. An empty result means cancelled.
enum class FileDialogKind { Open, Save };
using FileNameProvider =
    std::function<QString(FileDialogKind kind, QWidget* parent, const QString& caption,
                          const QString& directory, const QString& filter)>;
// An empty provider brings the standard dialogs back.
void setFileNameProvider(FileNameProvider provider);
// The provider in use, for every dialog of the window that asks for a file name.
const FileNameProvider& fileNameProvider();

// Asks whether an existing file may be replaced by a save: a question box unless replaced, for
// example by a test. True: replace it. The save dialog itself does not ask, for the name it
// returns may still get the ".cy22150.bin" ending, and that is the file to ask about.
using ReplaceQuestion =
    std::function<bool(QWidget* parent, const QString& caption, const QString& fileName)>;
// An empty question brings the standard question box back.
void setReplaceQuestion(ReplaceQuestion question);

// The File menu: Load, Save and Save As of register files.
class FileCommands {
public:
    FileCommands(FormContext& form, Session& s, FormViews& views)
        : form_(form), s_(s), views_(views) {}

    void load();
    void save();
    void saveAs();

    // Reads a register file and applies it to the image, the widgets and the chip, and remembers
    // its name; a refused file changes nothing.
    void loadFile(const QString& name);
    // Writes the current state to the file named by currentFileName.
    void saveCurrentFile();

private:
    bool askFileName(FileDialogKind kind, const char* caption);
    bool mayReplace(const char* caption);
    void reportFailure(const QString& name, const char* what, const QString& reason);

    FormContext& form_;
    Session& s_;
    FormViews& views_;
};
