#pragma once
#include <QString>

class QLineEdit;

#include <cstdint>

#include "device/DeviceInfo.h"

// The device part of the status line: the no-communication text, or the device's name with
// its serial number when it identified itself as a concentrator, or the bare name otherwise.
QString DeviceStatusText(bool deviceResponding, const DeviceInfo& info);

// The recording part of the status line, for an interval in seconds (hours take as many
// digits as they need).
QString RecordingStatusText(int intervalSeconds);

// While the configured port is tried again in the background.
QString PortWaitStatusText(int portNumber);

// The broker part while publishing is on: "MQTT: połączono", or "MQTT: brak połączenia
// (n w kolejce)" with the cycles waiting for the broker; a refusal that needs someone to act
// stays named: "MQTT: brak połączenia: odmowa dostępu (n w kolejce)".
QString MqttStatusText(bool connected, std::uint64_t queued, const QString& refusal = {});

// Puts the text in the status line so that its beginning (the device state) stays in view when
// it is wider than the line; the whole text is the tooltip.
void ShowStatusText(QLineEdit& line, const QString& text);
