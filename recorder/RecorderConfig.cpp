#include "recorder/RecorderConfig.h"

#include "store/IniEx.h"
#include "store/SettingsFolder.h"
#include "link/ComPortMap.h"
#include "os/PathText.h"
#include "recorder/RecorderPublisher.h"
#include "text/Cp1250.h"

namespace {

constexpr const char* kLog = "LOG";
constexpr const char* kGeneral = "GENERAL";
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

}  // namespace

std::string DecodeIniValue(std::string_view bytes) {
    // The window writes a text Windows-1250 cannot hold as UTF-8 behind a mark; anything else
    // (a mark followed by broken UTF-8 included) is taken as Windows-1250, as the window does.
    if (bytes.starts_with(kUtf8Mark)) {
        const std::string_view rest = bytes.substr(kUtf8Mark.size());
        cp1250::Failure failure;
        if (cp1250::FromUtf8(rest, &failure) || failure.error != cp1250::Error::InvalidUtf8) {
            return std::string(rest);
        }
    }
    return cp1250::ToUtf8(bytes);
}

RecorderConfig ReadRecorderConfig(const CIniEx& ini) {
    RecorderConfig config;
    for (int n = 0; n < 8; ++n) {
        config.recordInput[n] = ini.GetInt(kLog, "FILE_INPUT" + std::to_string(n), 1) != 0;
    }
    const int port = ini.GetInt(kGeneral, "PORT_NR", 0);
    config.portNumber = port >= 1 && port <= comport::kMaxPort ? port : 0;
    config.baudRate = ini.GetInt(kGeneral, "PORT_SPEED", 0);
    config.parity = static_cast<char>(ini.GetInt(kGeneral, "PORT_PARITY", 'E') & 0xFF);
    config.textFilePath = DecodeIniValue(ini.GetText(kLog, "FILE_NAME", ""));
    config.binaryFilePath = DecodeIniValue(ini.GetText(kLog, "FILE_NAME_BIN", ""));
    config.textRecordingOn = ini.GetInt(kLog, "FILE_LOG", 0) != 0;
    config.binaryRecordingOn = ini.GetInt(kLog, "FILE_LOG_BIN", 0) != 0;
    config.separatorCode = ini.GetInt(kLog, "FILE_SEP_FORMAT", 0);
    config.recordingInterval = ini.GetInt(kLog, "FILE_INTERVAL", 60);
    config.mqtt = CRecorderPublisher::ReadSettings(ini);
    return config;
}

std::string ConfigProblem(const RecorderConfig& config) {
    if (config.portNumber == 0) {
        return "no serial port configured (PORT_NR in [GENERAL])";
    }
    if (!config.RecordingWanted() && !config.mqtt.enabled) {
        return "no recording file configured (FILE_LOG with FILE_NAME, or FILE_LOG_BIN with "
               "FILE_NAME_BIN, in [LOG]) and no publishing (ENABLED=1 in [MQTT])";
    }
    if (std::string problem = CRecorderPublisher::SettingsProblem(config.mqtt); !problem.empty()) {
        return problem;
    }
    if (!config.RecordingWanted() && !CRecorderPublisher::Available()) {
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
