#pragma once
#include <QObject>
#include <QSocketNotifier>
#include <csignal>
#include <memory>

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the user-interface thread. The handler
// only writes the signal number into a pipe (self-pipe); the event loop reads it back. A signal
// that was ignored when the program started (nohup, a background job) stays ignored.
// One instance per process; the former handlers are restored on destruction.
class CSignalBridge : public QObject {
    Q_OBJECT
public:
    explicit CSignalBridge(QObject* parent = nullptr);
    ~CSignalBridge() override;
    CSignalBridge(const CSignalBridge&) = delete;
    CSignalBridge& operator=(const CSignalBridge&) = delete;

    bool IsInstalled() const { return notifier != nullptr; }

signals:
    void Signalled(int signalNumber);

private:
    void OnReadable();

    std::unique_ptr<QSocketNotifier> notifier;
    struct sigaction previous[3] = {};
};
