#pragma once
// The recording core's tests: a core recording into a fresh folder, with the events it told.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "recording/RecordingCore.h"
#include "recording/format/BinaryRecordDecoder.h"
#include "recording/format/FileText.h"
#include "tests/recording/RecordingSnapshots.h"
#include "tests/recording/RecordingTestFiles.h"

inline const std::string kFullHeader =
    FileText("Data i Godzina\tTQ21 1234 Wilgotność [%]\tTQ21 1234 Temperatura [°C]\t\r\n");
inline const std::string kSilentHeader = "Data i Godzina\t\r\n";

inline std::string SilentRow(int second) {
    char text[64];
    std::snprintf(text, sizeof text, "2026.12.07 10:00:%02d\t\r\n", second);
    return text;
}

inline std::size_t BinaryRecords(const std::string& path) {
    return DecodeBinaryRecords(ReadFile(path)).records.size();
}

class RecordingCoreTest : public ::testing::Test {
protected:
    RecordingCoreTest() {
        settings.textOn = true;
        settings.binaryOn = true;
        settings.textPath = folder.File("wyniki.txt");
        settings.binaryPath = folder.File("wykres.qdx");
        core.SetSettings(settings);
    }

    std::vector<RecordingEventKind> Kinds() const {
        std::vector<RecordingEventKind> kinds;
        for (const RecordingEvent& event : events)
            kinds.push_back(event.kind);
        return kinds;
    }

    TempFolder folder;
    RecordingSettings settings;
    std::vector<RecordingEvent> events;
    CRecordingCore core{[this](const RecordingEvent& event) { events.push_back(event); }};
};

using K = RecordingEventKind;
