// SPDX-License-Identifier: MIT
#include "views/windowfit.h"

#include <QLayout>
#include <QMainWindow>
#include <QScreen>
#include <QScrollArea>
#include <QWindow>

#include <algorithm>

namespace {
// Before the window manager has framed a window its frame is unknown: a title bar and thin
// borders are assumed, so that a window that only just fits without them is not put off-screen.
constexpr QMargins AssumedFrame(4, 32, 4, 4);

QMargins frameOf(QWidget& window) {
    window.winId();  // the native window, whose frame the platform may know already
    const QWindow* handle = window.windowHandle();
    const QMargins frame = handle ? handle->frameMargins() : QMargins();
    return frame.isNull() ? AssumedFrame : frame;
}

QRect availableArea(QWidget& window) {
    const QScreen* screen = window.screen();
    return screen ? screen->availableGeometry() : QRect();
}

const QString ScrollAreaName = QStringLiteral("formScrollArea");
}  // namespace

QSize fittedWindowSize(const QSize& wanted, const QRect& available, const QMargins& frame) {
    const int width = available.width() - frame.left() - frame.right();
    const int height = available.height() - frame.top() - frame.bottom();
    return {std::max(1, std::min(wanted.width(), width)),
            std::max(1, std::min(wanted.height(), height))};
}

void fitWindowToScreen(QMainWindow& window, QWidget* form, const QSize& wanted) {
    const QRect available = availableArea(window);
    auto* area = qobject_cast<QScrollArea*>(window.centralWidget());
    if (area && area->objectName() != ScrollAreaName)
        area = nullptr;
    const QSize size =
        available.isEmpty() ? wanted : fittedWindowSize(wanted, available, frameOf(window));
    if (size == wanted) {
        if (area) {  // the form goes back to where it was built
            area->takeWidget();
            window.setCentralWidget(form);
        }
        window.resize(wanted);
        return;
    }
    if (!area) {
        // The form's size is what the window of the wanted size gives its central area.
        window.resize(wanted);
        if (window.layout())
            window.layout()->activate();
        const QSize formSize = form->size();
        window.takeCentralWidget();
        area = new QScrollArea;
        area->setObjectName(ScrollAreaName);
        area->setFrameShape(QFrame::NoFrame);
        form->resize(formSize);
        area->setWidget(form);
        window.setCentralWidget(area);
    }
    window.resize(size);
    window.move(available.topLeft());
}

void refitOnScreenChange(QMainWindow& window, QWidget* form, const QSize& wanted) {
    QWindow* handle = window.windowHandle();
    if (!handle)
        return;
    QObject::connect(handle, &QWindow::screenChanged, &window, [&window, form, wanted] {
        const bool scrolled = window.centralWidget() != form;
        const QRect available = availableArea(window);
        const bool fits =
            available.isEmpty() || fittedWindowSize(wanted, available, frameOf(window)) == wanted;
        if (scrolled || !fits)
            fitWindowToScreen(window, form, wanted);
    });
}

void fitDialogToScreen(QWidget& dialog) {
    const QRect available = availableArea(dialog);
    if (available.isEmpty())
        return;
    const QSize wanted = dialog.size().expandedTo(dialog.minimumSizeHint());
    const QSize size = fittedWindowSize(wanted, available, frameOf(dialog));
    if (size != dialog.size())
        dialog.resize(size);
}
