#include "settings/OrvexSettings.h"

#include "settings/MqttSection.h"

OrvexSettings ReadOrvexSettings(const CIniEx& ini, SettingsNotes* notes) {
    OrvexSettings settings;
    for (int n = 0; n < 8; ++n) {
        settings.inputs[n] = ReadInputLook(ini, n);
    }
    settings.log = ReadLogSettings(ini, notes);
    settings.general = ReadGeneralSettings(ini, notes);
    settings.mqtt = ReadMqttSection(ini);
    settings.trend = ReadTrendSection(ini, notes);
    return settings;
}

void WriteOrvexSettings(CIniEx& ini, const OrvexSettings& settings) {
    // Older versions wrote [LOG] right after [INPUT0]; a new file keeps that order.
    WriteInputLook(ini, 0, settings.inputs[0]);
    WriteLogSettings(ini, settings.log);
    for (int n = 1; n < 8; ++n) {
        WriteInputLook(ini, n, settings.inputs[n]);
    }
    WriteGeneralSettings(ini, settings.general);
    WriteMqttSection(ini, settings.mqtt);
    WriteTrendSection(ini, settings.trend);
}
