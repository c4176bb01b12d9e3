#pragma once
#include <QApplication>
#include <QDeadlineTimer>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <functional>
#include <vector>

// One step of a scripted user: when a modal widget of type T is the active one, run the step
// on it. Each step polls with a timer of its own, so a step may open a nested dialog whose
// own step then runs inside that dialog's loop. A step not met in time is recorded in
// Missed() and dropped; Unmet() also names the steps still waiting, since a test usually ends
// long before a step's time is up.
class ModalStep : public QObject {
public:
    template <typename T>
    static void On(std::function<void(T*)> step, int timeoutMs = 20000) {
        new ModalStep([](QWidget* w) { return qobject_cast<T*>(w) != nullptr; },
                      [step](QWidget* w) { step(qobject_cast<T*>(w)); },
                      QString::fromLatin1(T::staticMetaObject.className()), timeoutMs);
    }

    static QStringList& Missed() {
        static QStringList missed;
        return missed;
    }

    static QStringList Unmet() {
        QStringList unmet = Missed();
        for (const ModalStep* step : Waiting()) {
            unmet << step->name;
        }
        return unmet;
    }

    // Drops what an earlier test left, so that its steps cannot answer this test's dialogs.
    static void Reset() {
        Missed().clear();
        const std::vector<ModalStep*> left = Waiting();
        for (ModalStep* step : left) {
            delete step;
        }
    }

    ~ModalStep() override { Done(); }

private:
    static std::vector<ModalStep*>& Waiting() {
        static std::vector<ModalStep*> waiting;
        return waiting;
    }

    ModalStep(std::function<bool(QWidget*)> matches, std::function<void(QWidget*)> step,
              QString name, int timeoutMs)
        : matches(std::move(matches)),
          step(std::move(step)),
          name(std::move(name)),
          deadline(timeoutMs) {
        timer.setInterval(10);
        connect(&timer, &QTimer::timeout, this, [this] { Check(); });
        timer.start();
        Waiting().push_back(this);
    }

    void Done() {
        timer.stop();
        auto& waiting = Waiting();
        waiting.erase(std::remove(waiting.begin(), waiting.end(), this), waiting.end());
    }

    void Check() {
        QWidget* widget = QApplication::activeModalWidget();
        if (widget != nullptr && widget->isVisible() &&
            !widget->property("modalStepDone").toBool() && matches(widget)) {
            widget->setProperty("modalStepDone", true);
            // The step may open nested loops, or wait and so delete this object: it is finished
            // with first, and the step runs from a copy.
            Done();
            deleteLater();
            const std::function<void(QWidget*)> run = step;
            run(widget);
            return;
        }
        if (deadline.hasExpired()) {
            Done();
            Missed() << name;
            deleteLater();
        }
    }

    std::function<bool(QWidget*)> matches;
    std::function<void(QWidget*)> step;
    QString name;
    QDeadlineTimer deadline;
    QTimer timer;
};
