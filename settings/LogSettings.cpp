#include "settings/LogSettings.h"

#include "recording/RecordingCore.h"
#include "settings/IniText.h"
#include "store/IniEx.h"

namespace {

constexpr const char* kLog = "LOG";

std::string RecordInputKey(int n) {
    return "FILE_INPUT" + std::to_string(n);
}

}  // namespace

int LogSettings::EffectiveInterval() const {
    return CRecordingCore::EffectiveInterval(interval);
}

LogSettings ReadLogSettings(const CIniEx& ini, SettingsNotes* notes) {
    const LogSettings d;
    LogSettings log;
    for (int n = 0; n < 8; ++n) {
        log.recordInput[n] = ini.GetInt(kLog, RecordInputKey(n), d.recordInput[n]);
    }
    log.textPath = ReadIniText(ini, kLog, "FILE_NAME");
    log.binaryPath = ReadIniText(ini, kLog, "FILE_NAME_BIN");
    log.textOn = ini.GetInt(kLog, "FILE_LOG", 0) != 0;
    log.binaryOn = ini.GetInt(kLog, "FILE_LOG_BIN", 0) != 0;
    log.separatorCode = ini.GetInt(kLog, "FILE_SEP_FORMAT", d.separatorCode);
    log.interval = ini.GetInt(kLog, "FILE_INTERVAL", d.interval);
    log.writeComment = ini.GetInt(kLog, "FILE_CHECK_COMMENT", d.writeComment);
    if (notes != nullptr) {
        if (log.separatorCode < 0 || log.separatorCode > 2) {
            notes->push_back("FILE_SEP_FORMAT=" + std::to_string(log.separatorCode) +
                             " in [LOG] is not 0, 1 or 2: the text file is recorded with tabs");
        }
        if (log.interval != log.EffectiveInterval()) {
            notes->push_back("FILE_INTERVAL=" + std::to_string(log.interval) +
                             " in [LOG] is outside 1-" +
                             std::to_string(CRecordingCore::kMaxInterval) + " s: a record every " +
                             std::to_string(log.EffectiveInterval()) + " s");
        }
    }
    return log;
}

void WriteLogSettings(CIniEx& ini, const LogSettings& log) {
    for (int n = 0; n < 8; ++n) {
        ini.SetInt(kLog, RecordInputKey(n), log.recordInput[n]);
    }
    WriteIniText(ini, kLog, "FILE_NAME", log.textPath);
    WriteIniText(ini, kLog, "FILE_NAME_BIN", log.binaryPath);
    ini.SetInt(kLog, "FILE_LOG", log.textOn ? 1 : 0);
    ini.SetInt(kLog, "FILE_LOG_BIN", log.binaryOn ? 1 : 0);
    ini.SetInt(kLog, "FILE_SEP_FORMAT", log.separatorCode);
    ini.SetInt(kLog, "FILE_INTERVAL", log.interval);
    ini.SetInt(kLog, "FILE_CHECK_COMMENT", log.writeComment);
}
