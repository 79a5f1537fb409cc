#pragma once

#include <QString>

#include <functional>

class QWidget;
struct Session;

// The File menu: Load, Save and Save As of register files.
void onLoadAction(Session& s);
void onSaveAction(Session& s);
void onSaveAsAction(Session& s);

// Reads the file named by currentFileName and applies it to the image, the widgets and the chip.
void loadRegisterFile(Session& s);
// Writes the current state to the file named by currentFileName.
void saveRegisterFile(Session& s);

// Where the actions get a file name from: the standard open or save dialog unless replaced, for
// example by a test that answers in place of the user. An empty result means cancelled.
enum class FileDialogKind { Open, Save };
using FileNameProvider =
    std::function<QString(FileDialogKind kind, QWidget* parent, const QString& caption,
                          const QString& directory, const QString& filter)>;
// An empty provider brings the standard dialogs back.
void setFileNameProvider(FileNameProvider provider);
