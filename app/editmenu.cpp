// SPDX-License-Identifier: MIT
#include "app/editmenu.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QUndoCommand>
#include <QUndoStack>

namespace {
// Steps kept; the oldest go first. A step holds two states of about half a kilobyte each.
constexpr int UndoLimit = 1000;

// A step that has already happened when it is pushed: its first redo does nothing.
class StateStep : public QUndoCommand {
public:
    StateStep(UndoStep step, const EditMenu::Restore& restore)
        : step_(std::move(step)), restore_(restore) {}
    void undo() override { restore_(step_.before); }
    void redo() override {
        if (done_)
            restore_(step_.after);
        done_ = true;
    }

private:
    UndoStep step_;
    const EditMenu::Restore& restore_;
    bool done_ = false;
};
}  // namespace

EditMenu::EditMenu(Restore restore, QObject* parent)
    : QObject(parent), restore_(std::move(restore)), stack_(new QUndoStack(this)) {
    stack_->setUndoLimit(UndoLimit);
    undo_ = stack_->createUndoAction(this, tr("Undo"));
    undo_->setObjectName(QStringLiteral("actionUndo"));
    undo_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    redo_ = stack_->createRedoAction(this, tr("Redo"));
    redo_->setObjectName(QStringLiteral("actionRedo"));
    redo_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
}

void EditMenu::addTo(QMenuBar* bar, QAction* before) {
    auto* menu = new QMenu(tr("&Edit"), bar);
    menu->setObjectName(QStringLiteral("menuEdit"));
    menu->addAction(undo_);
    menu->addAction(redo_);
    bar->insertMenu(before, menu);
}

void EditMenu::record(const WindowState& before, const WindowState& after) {
    stack_->push(new StateStep({before, after}, restore_));
}

void EditMenu::clear() {
    stack_->clear();
}
