#include "ui/trend/RecordingLoader.h"

#include <QMetaObject>

CRecordingLoader::CRecordingLoader(QObject* parent) : QObject(parent) {
    qRegisterMetaType<std::shared_ptr<RecordingRead>>();
}

CRecordingLoader::~CRecordingLoader() {
    Cancel();
    Join();
}

void CRecordingLoader::Join() {
    if (worker.joinable())
        worker.join();
}

void CRecordingLoader::Cancel() {
    cancel = true;
}

void CRecordingLoader::Start(const QString& file) {
    Cancel();
    Join();
    cancel = false;
    lastPermille = -1;
    busy = true;
    path = file;
    const unsigned run = ++generation;
    const std::string local = file.toStdString();
    worker = std::thread([this, local, run] {
        ReadControl control;
        control.cancel = &cancel;
        control.progress = [this](uint64_t done, uint64_t total) {
            const int permille = total > 0 ? static_cast<int>(done * 1000 / total) : 1000;
            if (lastPermille.exchange(permille) != permille) {
                QMetaObject::invokeMethod(
                    this, [this, permille] { emit progress(permille); }, Qt::QueuedConnection);
            }
        };
        auto read = std::make_shared<RecordingRead>(ReadRecordingFile(local, control));
        QMetaObject::invokeMethod(
            this,
            [this, read, run] {
                if (run != generation)
                    return;  // superseded by a later Start
                busy = false;
                Join();
                emit finished(read);
            },
            Qt::QueuedConnection);
    });
}
