#pragma once
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QWidget>

// Space, Enter and Return activate a focused control as a click does, so that the dialogs
// built of such controls work without a mouse.
inline bool IsActivationKey(const QKeyEvent* event) {
    const auto modifiers = event->modifiers() & ~Qt::KeypadModifier;
    return modifiers == Qt::NoModifier &&
           (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return ||
            event->key() == Qt::Key_Enter);
}

// The style's focus frame just inside the widget, drawn while it has the keyboard focus.
inline void DrawFocusFrame(QWidget* widget, QPainter& painter) {
    if (!widget->hasFocus()) {
        return;
    }
    QStyleOptionFocusRect option;
    option.initFrom(widget);
    option.rect = widget->rect().adjusted(2, 2, -2, -2);
    widget->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, widget);
}
