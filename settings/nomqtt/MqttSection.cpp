#include "settings/MqttSection.h"

#include "store/IniEx.h"

MqttSettings ReadMqttSection(const CIniEx& ini) {
    MqttSettings settings;
    settings.enabled = ini.GetInt(kMqttSection, "ENABLED", 0) != 0;
    return settings;
}

void WriteMqttSection(CIniEx&, const MqttSettings&) {
    // Nothing of the section is known beyond its switch: a file is left as it was.
}
