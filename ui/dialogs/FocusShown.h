#pragma once
#include <QEvent>
#include <QObject>
#include <QWidget>

// Styles draw the focus frame only once the keyboard has moved the focus; a dialog worked
// from the keyboard shows where its focus is as soon as it opens. Qt clears the window's mark
// of keyboard use as it activates the window, so the mark is set again then.
class CFocusShown : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show || event->type() == QEvent::WindowActivate) {
            auto* window = static_cast<QWidget*>(watched);
            window->setAttribute(Qt::WA_KeyboardFocusChange);
            if (QWidget* focus = window->focusWidget()) {
                focus->update();
            }
        }
        return false;
    }
};

// Call once, on the dialog.
inline void ShowFocusFromStart(QWidget* window) {
    window->installEventFilter(new CFocusShown(window));
}
