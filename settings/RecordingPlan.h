#pragma once
#include <string>

#include "recording/RecordingCore.h"
#include "settings/LogSettings.h"

// What becomes of one recording file when the recording settings change.
enum class FileStep {
    Keep,   // stays open as it is (or stays closed, when it was and is not wanted)
    Close,  // no longer wanted: closed
    Open,   // opened anew from the new settings, closing what was open in its place
};

struct RecordingPlan {
    FileStep text = FileStep::Keep;
    FileStep binary = FileStep::Keep;
    bool operator==(const RecordingPlan&) const = default;
};

// The one rule both programs follow. A file switched on is opened anew when it is not open, was
// off before, or its path changed (to none included: the window then says it cannot open it);
// a text file also when its separator changed, since its header and its rows would otherwise mix
// separators. A file switched off is closed.
RecordingPlan PlanRecordingChange(const LogSettings& before, const LogSettings& after,
                                  bool textOpen, bool binaryOpen);

// The recording core's settings for these; comment is the text file's comment (UTF-8), which
// orvex.ini does not keep.
RecordingSettings RecordingSettingsFor(const LogSettings& log, const std::string& comment = {});
