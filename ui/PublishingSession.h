#pragma once
#include <QObject>
#include <QPointer>
#include <QString>
#include <filesystem>
#include <functional>
#include <memory>

#include "publish/MqttSettings.h"

class QMessageBox;
class QWidget;
class AlarmService;
class COrvexDriver;
class MqttPublisher;
struct MqttEvent;

// Publishing from the window: the MQTT publisher and its alarm service, started and stopped
// together, and the broker's events brought to the window's thread, where a refusal is told
// once in a message that does not hold the window.
class CPublishingSession : public QObject {
    Q_OBJECT
public:
    CPublishingSession(QWidget& window, COrvexDriver& driver);
    ~CPublishingSession() override;  // Stop

    // Called on the window's thread after every event of the publisher.
    std::function<void()> onStatusChanged;

    // Starts, restarts or stops publishing to match settings; the disk queue goes into
    // settingsFolder (none: nothing is published).
    void Apply(const MqttSettings& settings, const std::filesystem::path& settingsFolder);
    // Stops the alarm service and the publisher, in that order, and unhooks them.
    void Stop();

    const MqttPublisher* Publisher() const { return publisher.get(); }
    // The status line's part; empty while nothing is published.
    QString StatusText() const;

private:
    void OnEvent(const MqttEvent& event);

    QWidget& window;
    COrvexDriver& driver;
    std::unique_ptr<MqttPublisher> publisher;
    std::unique_ptr<AlarmService> alarmService;  // the publisher's alarm reads and commands
    int listener = -1;
    QPointer<QMessageBox> refusedBox;  // the broker's refusal, while shown
};
