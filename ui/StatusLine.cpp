#include "ui/StatusLine.h"

#include <QLineEdit>

QString DeviceStatusText(bool deviceResponding, const DeviceInfo& info) {
    if (!deviceResponding) {
        return QStringLiteral("Brak komunikacji z urządzeniem. ");
    }
    if (info.status == 0) {
        return QString::asprintf("ORVEX nr %d. ", static_cast<int>(info.serialNumber));
    }
    return QStringLiteral("ORVEX");
}

QString PortWaitStatusText(int portNumber) {
    return QString::asprintf("Oczekiwanie na port COM%d. ", portNumber);
}

QString RecordingStatusText(int intervalSeconds) {
    return QString::asprintf("Rejestracja do pliku co %02d:%02d:%02d. ", intervalSeconds / 3600,
                             (intervalSeconds % 3600) / 60, intervalSeconds % 60);
}

QString MqttStatusText(bool connected, std::uint64_t queued, const QString& refusal) {
    if (connected) {
        return QStringLiteral("MQTT: połączono");
    }
    if (!refusal.isEmpty()) {
        return QStringLiteral("MQTT: brak połączenia: %1 (%2 w kolejce)").arg(refusal).arg(queued);
    }
    return QStringLiteral("MQTT: brak połączenia (%1 w kolejce)").arg(queued);
}

void ShowStatusText(QLineEdit& line, const QString& text) {
    line.setText(text);
    // A line edit scrolls to its cursor, which setText leaves at the end.
    line.setCursorPosition(0);
    line.setToolTip(text);
}
