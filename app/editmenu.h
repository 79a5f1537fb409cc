// SPDX-License-Identifier: MIT
#pragma once

#include "session/undostep.h"

#include <QObject>

#include <functional>

class QAction;
class QMenuBar;
class QUndoStack;

// The window's undo history: one step per user action that changed the image, the reference or
// the targets, over a QUndoStack, and the Edit menu with Undo (Ctrl+Z) and Redo (Ctrl+Shift+Z).
class EditMenu : public QObject {
    Q_OBJECT

public:
    // `restore` puts a whole state back (and, with live writes on, writes what it changes).
    using Restore = std::function<void(const WindowState& state)>;
    EditMenu(Restore restore, QObject* parent);

    // Adds the Edit menu ("menuEdit") before the menu whose action is `before`.
    void addTo(QMenuBar* bar, QAction* before);
    // An action went from `before` to `after`: one step, already done.
    void record(const WindowState& before, const WindowState& after);
    // A new chip was read: the steps before it no longer apply.
    void clear();

    QUndoStack* stack() const { return stack_; }
    QAction* undoAction() const { return undo_; }
    QAction* redoAction() const { return redo_; }

private:
    Restore restore_;
    QUndoStack* stack_;
    QAction* undo_;
    QAction* redo_;
};
