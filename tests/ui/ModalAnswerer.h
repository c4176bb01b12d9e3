#pragma once
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <vector>

// Modal dialogs run their own event loops, so a test cannot answer them in line: this watcher
// polls for the active modal widget and hands each new one to the next queued handler.
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

    ModalAnswerer() {
        clock.start();
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, this, [this] { Check(); });
        poll.start();
    }

    void Expect(Handler handler) { handlers.push_back(std::move(handler)); }
    int Pending() const { return static_cast<int>(handlers.size()); }
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
    void Check() {
        QWidget* widget = QApplication::activeModalWidget();
        if (widget == nullptr || !widget->isVisible()) {
            return;
        }
        if (!widget->property("answererSeen").toBool()) {
            widget->setProperty("answererSeen", true);
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
        if (widget->property("answererDone").toBool() || handlers.empty()) {
            return;
        }
        // Taken off the queue first: answering may open the next modal widget in a nested loop.
        Handler handler = std::move(handlers.front());
        handlers.pop_front();
        QPointer<QWidget> guard(widget);
        if (handler(widget)) {
            if (guard) {
                guard->setProperty("answererDone", true);
            }
        } else {
            handlers.push_front(std::move(handler));
        }
    }

    QTimer poll;
    QElapsedTimer clock;
    std::deque<Handler> handlers;
    std::vector<Seen> seen;
};
