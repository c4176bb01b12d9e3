#pragma once
#include <array>
#include <filesystem>
#include <string>
#include <string_view>

#include "publish/MqttSettings.h"
#include "recording/RecordingCore.h"

class CIniEx;

// What the recorder takes from orvex.ini: the keys, defaults and limits the window reads.
struct RecorderConfig {
    int portNumber = 0;  // COM number, 0 = none chosen
    int baudRate = 0;
    char parity = 'E';
    int address = 1;  // the window's address: not kept in orvex.ini
    bool textRecordingOn = false;
    bool binaryRecordingOn = false;
    std::string textFilePath;  // UTF-8, as the file system takes it
    std::string binaryFilePath;
    int separatorCode = 0;
    int recordingInterval = 60;  // seconds as written; see Interval()
    std::array<bool, 8> recordInput{true, true, true, true, true, true, true, true};
    MqttSettings mqtt;  // publishing needs no recording file

    int Interval() const { return CRecordingCore::EffectiveInterval(recordingInterval); }
    bool TextWanted() const { return textRecordingOn && !textFilePath.empty(); }
    bool BinaryWanted() const { return binaryRecordingOn && !binaryFilePath.empty(); }
    bool RecordingWanted() const { return TextWanted() || BinaryWanted(); }
    bool operator==(const RecorderConfig&) const = default;
};

RecorderConfig ReadRecorderConfig(const CIniEx& ini);

// Why the recorder cannot run on this configuration, in one line; empty when it can.
std::string ConfigProblem(const RecorderConfig& config);

// Reads settingsFolder/orvex.ini into config. Returns an empty text, or why the file cannot be
// used (missing, unreadable, not a file).
std::string LoadRecorderConfig(const std::filesystem::path& settingsFolder, RecorderConfig& config);

// A text value of orvex.ini (Windows-1250, or UTF-8 behind a byte-order mark) as UTF-8.
std::string DecodeIniValue(std::string_view bytes);
