#pragma once
#include <filesystem>
#include <string>

#include "publish/MqttSettings.h"
#include "settings/GeneralSettings.h"
#include "settings/LogSettings.h"
#include "settings/SettingsNotes.h"

class CIniEx;

// What the recorder takes from orvex.ini, read by the window's own section readers.
struct RecorderConfig {
    GeneralSettings general;  // the port; the window's keys of the section go unused
    int address = 1;          // the window's address: not kept in orvex.ini
    LogSettings log;
    MqttSettings mqtt;    // publishing needs no recording file
    SettingsNotes notes;  // values the readers refused or hold to their limits, for the log

    int Interval() const { return log.EffectiveInterval(); }
    bool operator==(const RecorderConfig&) const = default;
};

RecorderConfig ReadRecorderConfig(const CIniEx& ini);

// Why the recorder cannot run on this configuration, in one line; empty when it can.
std::string ConfigProblem(const RecorderConfig& config);

// Reads settingsFolder/orvex.ini into config. Returns an empty text, or why the file cannot be
// used (missing, unreadable, not a file).
std::string LoadRecorderConfig(const std::filesystem::path& settingsFolder, RecorderConfig& config);
