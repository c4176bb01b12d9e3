#include "ui/PublishingSession.h"

#include <QMessageBox>
#include <QMetaObject>
#include <QWidget>

#include "OrvexVersion.h"
#include "device/OrvexDriver.h"
#include "publish/AlarmService.h"
#include "publish/MqttPublisher.h"
#include "ui/StatusLine.h"

CPublishingSession::CPublishingSession(QWidget& window, COrvexDriver& driver)
    : QObject(&window), window(window), driver(driver) {
    setObjectName(QStringLiteral("publishing"));
}

CPublishingSession::~CPublishingSession() {
    Stop();
}

void CPublishingSession::Stop() {
    if (publisher) {
        driver.RemoveCycleListener(listener);
        alarmService->Stop();
        publisher->Stop();  // says "offline" and stops within its bound
        alarmService.reset();
        publisher.reset();
        listener = -1;
    }
}

void CPublishingSession::Apply(const MqttSettings& settings,
                               const std::filesystem::path& settingsFolder) {
    Stop();
    if (!settings.enabled || settingsFolder.empty()) {
        return;
    }
    MqttPublisher::Options options;
    options.settings = settings;
    options.settingsFolder = settingsFolder;
    options.swVersion = kOrvexVersion;
    // The publisher's thread hands each event over to the window's; the publisher stops before
    // the session goes, so the session outlives every call.
    options.onEvent = [this](const MqttEvent& event) {
        QMetaObject::invokeMethod(
            this, [this, event] { OnEvent(event); }, Qt::QueuedConnection);
    };
    // The command goes to the alarm service's thread: the driver's alarm calls may wait for a
    // Modbus time-out, which the window must not. The service is set before the publisher's
    // thread starts and stopped after it.
    options.onAlarmCommand = [this](const AlarmCommand& command) { alarmService->Submit(command); };
    publisher = std::make_unique<MqttPublisher>(std::move(options));
    alarmService = std::make_unique<AlarmService>(driver, *publisher, AlarmService::Options{});
    publisher->Start();
    alarmService->Start();
    MqttPublisher* target = publisher.get();
    listener =
        driver.AddCycleListener([target](const PollingCycle& cycle) { target->OnCycle(cycle); });
}

QString CPublishingSession::StatusText() const {
    if (!publisher) {
        return {};
    }
    const MqttPublisher::Stats stats = publisher->GetStats();
    return MqttStatusText(stats.connected, stats.queued,
                          QString::fromStdString(MqttRefusalShortText(stats.lastFailure))) +
           QStringLiteral(". ");
}

void CPublishingSession::OnEvent(const MqttEvent& event) {
    if (onStatusChanged) {
        onStatusChanged();
    }
    if (!event.original.empty()) {
        // The library's own words, for whoever reads the program's log.
        qWarning("MQTT: %s [%s]", MqttFailureText(event.failure, event.detail).c_str(),
                 event.original.c_str());
    }
    if (event.type == MqttEvent::Type::CommandsRefused ||
        event.type == MqttEvent::Type::AlarmCommandAnswered) {
        // Publishing goes on; the dialog's check names a refusal of commands.
        qInfo("MQTT: %s", event.detail.c_str());
        return;
    }
    QString text;
    switch (event.type) {
        case MqttEvent::Type::Failed:
            if (!IsRefusal(event.failure)) {
                return;  // the status line says enough; a refusal needs someone to act
            }
            text = QString::fromStdString(MqttFailureText(event.failure, event.detail));
            break;
        case MqttEvent::Type::PublishRefused:
            text = QStringLiteral("broker odmówił publikacji w temacie ") +
                   QString::fromStdString(event.detail) +
                   QStringLiteral("; odczyty czekają w kolejce");
            break;
        case MqttEvent::Type::QueueNotOnDisk:
            text = QStringLiteral("kolejka tylko w pamięci, nie w pliku ") +
                   QString::fromStdString(event.detail) +
                   QStringLiteral(": odczyty czekające na broker przepadną przy awarii programu");
            break;
        case MqttEvent::Type::QueueWriteFailed:
            text = QStringLiteral("nie można zapisać kolejki: ") +
                   QString::fromStdString(event.detail) +
                   QStringLiteral("; odczyty są trzymane w pamięci");
            break;
        default:
            return;
    }
    text = QStringLiteral("Publikowanie MQTT: ") + text + QStringLiteral(".");
    if (refusedBox) {
        refusedBox->setText(text);
        return;
    }
    refusedBox = new QMessageBox(QMessageBox::Warning, QStringLiteral("orvex"), text,
                                 QMessageBox::Ok, &window);
    refusedBox->setObjectName(QStringLiteral("mqttRefusedBox"));
    refusedBox->setAttribute(Qt::WA_DeleteOnClose);
    refusedBox->setModal(false);
    refusedBox->show();
}
