#include "ui/WindowGeometry.h"

#include <QMetaObject>
#include <QWidget>
#include <QWindow>

CWindowGeometry::CWindowGeometry(QWidget& window, WindowRect& rect) : window(window), rect(rect) {}

CWindowGeometry::SizeType CWindowGeometry::CurrentSizeType() const {
    const Qt::WindowStates state = window.windowState();
    if (state & Qt::WindowMinimized) {
        return SizeType::Minimized;
    }
    if (state & (Qt::WindowMaximized | Qt::WindowFullScreen)) {
        return SizeType::Maximized;
    }
    return SizeType::Restored;
}

WindowRect CWindowGeometry::OuterRect() const {
    const QRect frame = window.frameGeometry();
    return WindowRect{frame.left(), frame.top(), frame.left() + frame.width(),
                      frame.top() + frame.height()};
}

void CWindowGeometry::Place() {
    placedRect = rect;
    // The rectangle is the outer one; the widget's size is its client size.
    const QRect frame = window.frameGeometry();
    const int extraWidth = frame.width() - window.width();
    const int extraHeight = frame.height() - window.height();
    window.move(placedRect.left, placedRect.top);
    window.resize(placedRect.Width() - extraWidth, placedRect.Height() - extraHeight);
}

bool CWindowGeometry::FitFrameOnce() {
    if (frameFixed || !window.isVisible() || CurrentSizeType() != SizeType::Restored) {
        return false;
    }
    const QWindow* handle = window.windowHandle();
    if (handle == nullptr || handle->frameMargins().isNull()) {
        return false;
    }
    frameFixed = true;
    const QRect frame = window.frameGeometry();
    if (frame.size() == QSize(placedRect.Width(), placedRect.Height()) &&
        frame.topLeft() == QPoint(placedRect.left, placedRect.top)) {
        return false;
    }
    rect = placedRect;
    Place();
    return true;
}

void CWindowGeometry::Sized(SizeType type, int cx, int cy, bool tracking) {
    switch (type) {
        case SizeType::Restored:
            restored = QSize(cx, cy);
            // A restore from the maximised state must not leave the maximised size in force
            // for the next re-layout.
            maximized = false;
            break;
        case SizeType::Maximized:
            maximized = true;
            maximizedSize = QSize(cx, cy);
            break;
        case SizeType::Minimized:
            maximized = false;
            break;
    }
    // Only a window really in the normal state has a rectangle worth keeping (a re-layout
    // while minimised or maximised must not replace it).
    if (tracking && type == SizeType::Restored && CurrentSizeType() == SizeType::Restored) {
        rect = OuterRect();
        // Qt reports a geometry change as a resize followed by a move (a restore from the
        // maximised state moves the window as well): the move of the same change counts too.
        if (!moveFollowsResize) {
            moveFollowsResize = true;
            QMetaObject::invokeMethod(
                &window, [this] { moveFollowsResize = false; }, Qt::QueuedConnection);
        }
    }
}

void CWindowGeometry::Moved() {
    if (moveFollowsResize && CurrentSizeType() == SizeType::Restored) {
        rect = OuterRect();
    }
}

QSize CWindowGeometry::LastClientSize() const {
    return maximized ? maximizedSize : restored;
}
