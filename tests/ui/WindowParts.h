#pragma once
#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QWidget>

// The main window's widgets and timers, found by their object names as a user's tool would.
template <class T>
T* ChildOf(const QObject& parent, const char* name) {
    return parent.findChild<T*>(QString::fromLatin1(name));
}

inline QLineEdit& StatusLineOf(const QObject& window) {
    return *ChildOf<QLineEdit>(window, "statusLine");
}

inline const QTimer& TimerOf(const QObject& window, const char* name) {
    return *ChildOf<QTimer>(window, name);
}
