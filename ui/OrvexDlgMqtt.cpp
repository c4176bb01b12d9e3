// Publishing to the MQTT broker from the window: the settings dialog and the publisher's life.
#include <QMetaObject>

#include "OrvexVersion.h"
#include "publish/MqttPublisher.h"
#include "ui/OrvexDlg.h"
#include "ui/dialogs/MqttDlg.h"

void COrvexDlg::OnMqttSettings() {
    CMqttDlg dialog(settingsFolder, this);
    dialog.settings = mqttSettings;
    if (dialog.exec() != QDialog::Accepted || ClosedWhileBusy()) {
        return;
    }
    if (dialog.settings != mqttSettings) {
        mqttSettings = dialog.settings;
        ApplyMqttPublishing();
    }
}

void COrvexDlg::ApplyMqttPublishing() {
    if (publisher) {
        driver.RemoveCycleListener(publisherListener);
        publisher.reset();  // says "offline" and stops within its bound
        publisherListener = -1;
    }
    if (mqttSettings.enabled && !settingsFolder.empty()) {
        MqttPublisher::Options options;
        options.settings = mqttSettings;
        options.settingsFolder = settingsFolder;
        options.swVersion = kOrvexVersion;
        // The publisher's thread only asks for a fresh status line; the window reads the state.
        // The publisher stops before the window goes, so the window outlives every call.
        options.onEvent = [this](const MqttEvent&) {
            QMetaObject::invokeMethod(
                this, [this] { UpdateStatusLine(); }, Qt::QueuedConnection);
        };
        publisher = std::make_unique<MqttPublisher>(std::move(options));
        publisher->Start();
        MqttPublisher* target = publisher.get();
        publisherListener = driver.AddCycleListener(
            [target](const PollingCycle& cycle) { target->OnCycle(cycle); });
    }
    UpdateStatusLine();
}
