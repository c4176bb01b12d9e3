#pragma once
// A TQ21 on input 1 at a given second of one minute, and the text row it gives with a tab.
#include <cstdio>
#include <string>

#include "recording/RecordingCore.h"
#include "tests/support/MakeReading.h"

inline RecordingSnapshot Snapshot(int second, bool responding = true) {
    RecordingSnapshot snapshot;
    snapshot.time = {2026, 12, 7, 10, 0, second};
    snapshot.responding = responding;
    snapshot.readings[0] = MakeReading(ModelTQ21, 1234, {523, 215});
    return snapshot;
}

inline std::string Row(int second) {
    char text[64];
    std::snprintf(text, sizeof text, "2026.12.07 10:00:%02d\t52.3\t21.5\t\r\n", second);
    return text;
}
