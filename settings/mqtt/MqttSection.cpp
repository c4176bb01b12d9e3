#include "settings/MqttSection.h"

MqttSettings ReadMqttSection(const CIniEx& ini) {
    return ReadMqttSettings(ini);
}

void WriteMqttSection(CIniEx& ini, const MqttSettings& mqtt) {
    if (HasMqttSection(ini) || mqtt != MqttSettings{}) {
        WriteMqttSettings(ini, mqtt);
    }
}
