#include "recorder/RecorderConfig.h"

#include "os/PathText.h"
#include "recorder/RecorderPublisher.h"
#include "settings/MqttSection.h"
#include "store/IniEx.h"
#include "store/SettingsFolder.h"

RecorderConfig ReadRecorderConfig(const CIniEx& ini) {
    RecorderConfig config;
    config.general = ReadGeneralSettings(ini, &config.notes);
    config.log = ReadLogSettings(ini, &config.notes);
    config.mqtt = ReadMqttSection(ini);
    return config;
}

std::string ConfigProblem(const RecorderConfig& config) {
    if (config.general.portNumber == 0) {
        return "no serial port configured (PORT_NR in [GENERAL])";
    }
    if (!config.log.RecordingWanted() && !config.mqtt.enabled) {
        return "no recording file configured (FILE_LOG with FILE_NAME, or FILE_LOG_BIN with "
               "FILE_NAME_BIN, in [LOG]) and no publishing (ENABLED=1 in [MQTT])";
    }
    if (std::string problem = CRecorderPublisher::SettingsProblem(config.mqtt); !problem.empty()) {
        return problem;
    }
    if (!config.log.RecordingWanted() && !CRecorderPublisher::Available()) {
        return "no recording file configured (FILE_LOG with FILE_NAME, or FILE_LOG_BIN with "
               "FILE_NAME_BIN, in [LOG]), and this build cannot publish (ENABLED=1 in [MQTT] "
               "has nothing to run on)";
    }
    return {};
}

std::string LoadRecorderConfig(const std::filesystem::path& settingsFolder,
                               RecorderConfig& config) {
    const std::filesystem::path path = settingsFolder / kSettingsFile;
    CIniEx ini;
    if (!ini.Open(path, false, false, true)) {
        switch (ini.LastOpenResult()) {
            case IniOpenResult::Unreadable:
                return Utf8FromPath(path) + " cannot be read (permissions)";
            case IniOpenResult::NotRegularFile:
                return Utf8FromPath(path) + " is not a regular file";
            case IniOpenResult::TooLarge:
                return Utf8FromPath(path) + " is too large to be a settings file";
            default:
                return Utf8FromPath(path) + " does not exist";
        }
    }
    config = ReadRecorderConfig(ini);
    return {};
}
