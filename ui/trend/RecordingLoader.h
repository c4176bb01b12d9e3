#pragma once
#include <QObject>
#include <QString>
#include <atomic>
#include <memory>
#include <thread>

#include "trend/RecordingReader.h"

// Reads a recording file on a worker thread. Progress and the result come back to the owner's
// thread as signals; Cancel is seen between chunks of 1 MB (a few milliseconds apart).
class CRecordingLoader : public QObject {
    Q_OBJECT
public:
    explicit CRecordingLoader(QObject* parent = nullptr);
    ~CRecordingLoader() override;  // cancels and joins

    // Starts reading path; a reading still running is cancelled first.
    void Start(const QString& path);
    void Cancel();
    bool Busy() const { return busy; }
    QString Path() const { return path; }

signals:
    void progress(int permille);
    // The read (store, summary or error); emitted once per Start that was not superseded.
    void finished(std::shared_ptr<RecordingRead> read);

private:
    void Join();

    std::thread worker;
    std::atomic<bool> cancel{false};
    std::atomic<int> lastPermille{-1};
    bool busy = false;
    unsigned generation = 0;
    QString path;
};
