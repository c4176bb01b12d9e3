#pragma once
#include <array>

#include "publish/MqttSettings.h"
#include "settings/GeneralSettings.h"
#include "settings/InputLook.h"
#include "settings/LogSettings.h"
#include "settings/SettingsNotes.h"
#include "settings/TrendSection.h"

class CIniEx;

// Every section of orvex.ini. A default-constructed value holds the file's defaults.
struct OrvexSettings {
    GeneralSettings general;
    std::array<InputLook, 8> inputs{
        InputLook::Default(0), InputLook::Default(1), InputLook::Default(2), InputLook::Default(3),
        InputLook::Default(4), InputLook::Default(5), InputLook::Default(6), InputLook::Default(7)};
    LogSettings log;
    MqttSettings mqtt;
    TrendSection trend;
    bool operator==(const OrvexSettings&) const = default;
};

OrvexSettings ReadOrvexSettings(const CIniEx& ini, SettingsNotes* notes = nullptr);
// Every key, in the order that fixes the layout of a file written for the first time:
// [INPUT0], [LOG], [INPUT1] .. [INPUT7], [GENERAL], then [MQTT] and [TREND] when they apply.
void WriteOrvexSettings(CIniEx& ini, const OrvexSettings& settings);
