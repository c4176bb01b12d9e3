// Publishing to the MQTT broker from the window: the settings dialog. The publisher's life is
// the publishing session's.
#include "publish/MqttPublisher.h"
#include "ui/OrvexDlg.h"
#include "ui/dialogs/MqttDlg.h"

void COrvexDlg::OnMqttSettings() {
    CMqttDlg dialog(settingsFolder, this);
    dialog.settings = settings.mqtt;
    if (const MqttPublisher* publisher = publishing.Publisher()) {
        dialog.lastRefusal = publisher->GetStats().lastFailure;
    }
    if (dialog.exec() != QDialog::Accepted || ClosedWhileBusy()) {
        return;
    }
    if (dialog.settings != settings.mqtt) {
        settings.mqtt = dialog.settings;
        ApplyMqttPublishing();
    }
}

void COrvexDlg::ApplyMqttPublishing() {
    publishing.Apply(settings.mqtt, settingsFolder);
    UpdateStatusLine();
}
