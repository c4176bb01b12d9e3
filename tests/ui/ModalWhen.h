#pragma once
// Driving a dialog's nested modal loops from a test: an action run once its moment has come.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

// Runs action from the event loop (so it may answer or open nested modal loops) on the first
// tick at which ready() holds. Gives up after a few seconds, closing every modal window so that
// the test fails instead of hanging. The check ends with context, the dialog under test.
inline void When(QObject* context, std::function<bool()> ready, std::function<void()> action,
                 bool* gaveUp) {
    auto* timer = new QTimer(context);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [=] {
        if (ready()) {
            timer->stop();
            timer->deleteLater();
            // A copy: waiting inside the action may delete the timer, and this lambda with it.
            const std::function<void()> run = action;
            run();
        } else if (clock->elapsed() > 5000) {
            timer->stop();
            timer->deleteLater();
            *gaveUp = true;
            while (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        }
    });
    timer->start(10);
}

// The active modal window as a T, or null.
template <typename T>
T* Active() {
    return qobject_cast<T*>(QApplication::activeModalWidget());
}
