#pragma once
#include <array>
#include <string>

#include "settings/SettingsNotes.h"

class CIniEx;

// [LOG]: what is recorded, where and how often. The values are the file's defaults.
struct LogSettings {
    bool textOn = false;
    bool binaryOn = false;
    std::string textPath;  // UTF-8, as the file system takes it
    std::string binaryPath;
    int separatorCode = 0;  // 0 tab, 1 comma, 2 semicolon; anything else records tabs
    int interval = 60;      // seconds as written; see EffectiveInterval
    // Input n is recorded unless its flag is 0. Kept as written, so a file reads back unchanged.
    std::array<int, 8> recordInput{1, 1, 1, 1, 1, 1, 1, 1};
    int writeComment = 0;  // the comment block at the top of a text file opened anew
    bool operator==(const LogSettings&) const = default;

    // The interval the recording runs at (the recording's limits: 1 s .. 23:59:59).
    int EffectiveInterval() const;
    // Switched on and named: a file the programs open.
    bool TextWanted() const { return textOn && !textPath.empty(); }
    bool BinaryWanted() const { return binaryOn && !binaryPath.empty(); }
    bool RecordingWanted() const { return TextWanted() || BinaryWanted(); }
};

// Values the recording cannot use as written (an interval outside 1 s .. 23:59:59, a separator
// code other than 0, 1 or 2) are kept as written, so the file reads back unchanged; a note
// names each with the value the recording uses instead.
LogSettings ReadLogSettings(const CIniEx& ini, SettingsNotes* notes = nullptr);
void WriteLogSettings(CIniEx& ini, const LogSettings& log);
