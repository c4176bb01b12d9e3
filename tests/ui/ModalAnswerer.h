#pragma once
#include <QApplication>
#include <QByteArray>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <deque>
#include <functional>
#include <vector>

// Modal dialogs run their own event loops, so a test cannot answer them in line: this watcher
// polls for the active modal widget and offers each new one to the queued handlers in order;
// the first that takes it is used up. A handler may open a nested modal loop (by clicking a
// button that opens another dialog); the nested dialog is answered from inside it.
class ModalAnswerer : public QObject {
public:
    // A handler returns false to leave a widget alone (it is then offered again).
    using Handler = std::function<bool(QWidget*)>;

    struct Seen {
        QString className;
        QString text;  // a message box's text
        QString informativeText;
        QString title;
        int icon;         // a message box's QMessageBox::Icon
        qint64 atMs = 0;  // since the answerer was created
    };

    ModalAnswerer()
        // Marks of its own: a test may keep a second answerer only to watch what is shown.
        : seenMark("answererSeen" + QByteArray::number(reinterpret_cast<quintptr>(this))),
          doneMark("answererDone" + QByteArray::number(reinterpret_cast<quintptr>(this))) {
        clock.start();
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, this, [this] { Check(); });
        poll.start();
    }

    // With a time-out, a handler that takes no widget within it is dropped as On's steps are.
    void Expect(Handler handler, int timeoutMs = -1) {
        handlers.push_back(
            {std::move(handler), QStringLiteral("handler"),
             timeoutMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(timeoutMs)});
    }

    // Runs step on the next modal widget of type T. A step not met within timeoutMs is dropped
    // and named by Unmet(); a modal widget then open is closed, so that the test fails instead
    // of waiting in its loop.
    template <typename T>
    void On(std::function<void(T*)> step, int timeoutMs = 20000) {
        handlers.push_back({[step = std::move(step)](QWidget* widget) {
                                T* typed = qobject_cast<T*>(widget);
                                if (typed != nullptr) {
                                    step(typed);
                                }
                                return typed != nullptr;
                            },
                            QString::fromLatin1(T::staticMetaObject.className()),
                            QDeadlineTimer(timeoutMs)});
    }

    int Pending() const { return static_cast<int>(handlers.size()); }
    // The steps not met in time and those still waiting.
    QStringList Unmet() const {
        QStringList unmet = missed;
        for (const Queued& queued : handlers) {
            unmet << queued.name;
        }
        return unmet;
    }
    // Forgets what an earlier test left, so that its handlers cannot answer this test's dialogs.
    void Reset() {
        handlers.clear();
        missed.clear();
        seen.clear();
        clock.restart();
    }

    const std::vector<Seen>& SeenWidgets() const { return seen; }
    qint64 ElapsedMs() const { return clock.elapsed(); }
    void Restart() { clock.restart(); }

    int CountSeen(const char* className) const {
        int n = 0;
        for (const Seen& s : seen) {
            n += s.className == QLatin1String(className);
        }
        return n;
    }
    const Seen* FirstSeen(const char* className) const {
        for (const Seen& s : seen) {
            if (s.className == QLatin1String(className)) {
                return &s;
            }
        }
        return nullptr;
    }

private:
    struct Queued {
        Handler handler;
        QString name;
        QDeadlineTimer deadline;
    };

    void Check() {
        DropExpired();
        QWidget* widget = QApplication::activeModalWidget();
        if (widget == nullptr || !widget->isVisible()) {
            return;
        }
        if (!widget->property(seenMark.constData()).toBool()) {
            widget->setProperty(seenMark.constData(), true);
            Seen s{};
            s.className = QString::fromLatin1(widget->metaObject()->className());
            s.title = widget->windowTitle();
            s.atMs = clock.elapsed();
            if (auto* box = qobject_cast<QMessageBox*>(widget)) {
                s.text = box->text();
                s.informativeText = box->informativeText();
                s.icon = box->icon();
            }
            seen.push_back(s);
        }
        if (widget->property(doneMark.constData()).toBool() || handlers.empty()) {
            return;
        }
        // A timer does not fire again while its own handler runs: restarted under a new id, it
        // keeps polling inside a nested loop that a handler opens.
        poll.start();
        for (std::size_t i = 0; i < handlers.size(); ++i) {
            // Taken off the queue first: answering may open the next modal widget in a nested
            // loop, which this object answers from inside the handler.
            Queued queued = std::move(handlers[i]);
            handlers.erase(handlers.begin() + static_cast<std::ptrdiff_t>(i));
            QPointer<QWidget> guard(widget);
            if (queued.handler(widget)) {
                if (guard) {
                    guard->setProperty(doneMark.constData(), true);
                }
                return;
            }
            i = std::min(i, handlers.size());
            handlers.insert(handlers.begin() + static_cast<std::ptrdiff_t>(i), std::move(queued));
        }
    }

    void DropExpired() {
        bool dropped = false;
        for (auto it = handlers.begin(); it != handlers.end();) {
            if (it->deadline.hasExpired()) {
                missed << it->name;
                it = handlers.erase(it);
                dropped = true;
            } else {
                ++it;
            }
        }
        // Bounded: a widget that refuses to close must not keep the test here.
        for (int n = 0; dropped && n < 10; ++n) {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr) {
                break;
            }
            modal->close();
        }
    }

    const QByteArray seenMark;
    const QByteArray doneMark;
    QTimer poll;
    QElapsedTimer clock;
    std::deque<Queued> handlers;
    QStringList missed;
    std::vector<Seen> seen;
};
