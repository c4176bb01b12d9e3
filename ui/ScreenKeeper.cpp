#include "ui/ScreenKeeper.h"

#include <QApplication>
#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>

QRect FitOnScreen(const QRect& client, const QMargins& frame, const QRect& available,
                  const QSize& minimum) {
    const QRect outer = client.marginsAdded(frame);
    const int extraWidth = frame.left() + frame.right();
    const int extraHeight = frame.top() + frame.bottom();
    const int width =
        std::max(std::min(outer.width(), available.width()), minimum.width() + extraWidth);
    const int height =
        std::max(std::min(outer.height(), available.height()), minimum.height() + extraHeight);
    // Right and bottom edges first, then left and top, so that the left and top win.
    const int left = std::max(available.left(),
                              std::min(outer.left(), available.left() + available.width() - width));
    const int top = std::max(available.top(),
                             std::min(outer.top(), available.top() + available.height() - height));
    return QRect(left, top, width, height).marginsRemoved(frame);
}

CScreenKeeper::CScreenKeeper(QWidget* mainWindow) : QObject(mainWindow), mainWindow(mainWindow) {
    qApp->installEventFilter(this);
}

bool CScreenKeeper::eventFilter(QObject* watched, QEvent* event) {
    // The window's own show event comes after the widget's (where a dialog centres itself)
    // and before the window system maps it.
    if (event->type() == QEvent::Show && watched->isWindowType()) {
        Place(static_cast<QWindow*>(watched));
    }
    return QObject::eventFilter(watched, event);
}

void CScreenKeeper::Place(QWindow* window) {
    if (window->type() != Qt::Window && window->type() != Qt::Dialog) {
        return;  // menus, tool tips and the like place themselves
    }
    if (mainWindow == nullptr || !mainWindow->isVisible() || mainWindow->screen() == nullptr ||
        mainWindow->windowHandle() == window) {
        return;
    }
    QWidget* widget = nullptr;
    for (QWidget* candidate : QApplication::topLevelWidgets()) {
        if (candidate->windowHandle() == window) {
            widget = candidate;
            break;
        }
    }
    if (widget == nullptr) {
        return;
    }
    QMargins frame = window->frameMargins();
    if (frame.isNull() && mainWindow->windowHandle() != nullptr) {
        frame = mainWindow->windowHandle()->frameMargins();
    }
    const QRect placed =
        FitOnScreen(widget->geometry(), frame, mainWindow->screen()->availableGeometry(),
                    widget->minimumSize());
    if (placed != widget->geometry()) {
        widget->setGeometry(placed);
    }
}
