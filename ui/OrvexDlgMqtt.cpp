// Publishing to the MQTT broker from the window: the settings dialog and the publisher's life.
#include <QMessageBox>
#include <QMetaObject>

#include "OrvexVersion.h"
#include "publish/AlarmService.h"
#include "publish/MqttPublisher.h"
#include "ui/OrvexDlg.h"
#include "ui/dialogs/MqttDlg.h"

void COrvexDlg::OnMqttSettings() {
    CMqttDlg dialog(settingsFolder, this);
    dialog.settings = mqttSettings;
    if (publisher) {
        dialog.lastRefusal = publisher->GetStats().lastFailure;
    }
    if (dialog.exec() != QDialog::Accepted || ClosedWhileBusy()) {
        return;
    }
    if (dialog.settings != mqttSettings) {
        mqttSettings = dialog.settings;
        ApplyMqttPublishing();
    }
}

void COrvexDlg::StopMqttPublishing() {
    if (publisher) {
        driver.RemoveCycleListener(publisherListener);
        alarmService->Stop();
        publisher->Stop();  // says "offline" and stops within its bound
        alarmService.reset();
        publisher.reset();
        publisherListener = -1;
    }
}

void COrvexDlg::ApplyMqttPublishing() {
    StopMqttPublishing();
    if (mqttSettings.enabled && !settingsFolder.empty()) {
        MqttPublisher::Options options;
        options.settings = mqttSettings;
        options.settingsFolder = settingsFolder;
        options.swVersion = kOrvexVersion;
        // The publisher's thread hands each event over to the window's; the publisher stops
        // before the window goes, so the window outlives every call.
        options.onEvent = [this](const MqttEvent& event) {
            QMetaObject::invokeMethod(
                this, [this, event] { OnMqttEvent(event); }, Qt::QueuedConnection);
        };
        // The command goes to the alarm service's thread: the driver's alarm calls may wait for
        // a Modbus time-out, which the window must not. The service is set before the
        // publisher's thread starts and stopped after it.
        options.onAlarmCommand = [this](const AlarmCommand& command) {
            alarmService->Submit(command);
        };
        publisher = std::make_unique<MqttPublisher>(std::move(options));
        alarmService = std::make_unique<AlarmService>(driver, *publisher, AlarmService::Options{});
        publisher->Start();
        alarmService->Start();
        MqttPublisher* target = publisher.get();
        publisherListener = driver.AddCycleListener(
            [target](const PollingCycle& cycle) { target->OnCycle(cycle); });
    }
    UpdateStatusLine();
}

void COrvexDlg::OnMqttEvent(const MqttEvent& event) {
    UpdateStatusLine();
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
    if (mqttRefusedBox) {
        mqttRefusedBox->setText(text);
        return;
    }
    mqttRefusedBox =
        new QMessageBox(QMessageBox::Warning, QStringLiteral("orvex"), text, QMessageBox::Ok, this);
    mqttRefusedBox->setObjectName(QStringLiteral("mqttRefusedBox"));
    mqttRefusedBox->setAttribute(Qt::WA_DeleteOnClose);
    mqttRefusedBox->setModal(false);
    mqttRefusedBox->show();
}
