#pragma once
#include "publish/MqttSettings.h"

class CIniEx;

// [MQTT] as far as this build uses it: every key where the build publishes, only the switch
// where it cannot (ENABLED=1 is then told and refused as the only task).
MqttSettings ReadMqttSection(const CIniEx& ini);
// A file that never had publishing keeps the layout older versions wrote: the section is
// written only when the file has it or the settings differ from the defaults.
void WriteMqttSection(CIniEx& ini, const MqttSettings& mqtt);
