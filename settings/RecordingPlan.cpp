#include "settings/RecordingPlan.h"

#include "recording/format/TextRecordFormat.h"

RecordingPlan PlanRecordingChange(const LogSettings& before, const LogSettings& after,
                                  bool textOpen, bool binaryOpen) {
    RecordingPlan plan;
    if (!after.textOn) {
        plan.text = textOpen ? FileStep::Close : FileStep::Keep;
    } else if (!textOpen || !before.textOn || after.textPath != before.textPath ||
               TextSeparator(after.separatorCode) != TextSeparator(before.separatorCode)) {
        plan.text = FileStep::Open;
    }
    if (!after.binaryOn) {
        plan.binary = binaryOpen ? FileStep::Close : FileStep::Keep;
    } else if (!binaryOpen || !before.binaryOn || after.binaryPath != before.binaryPath) {
        plan.binary = FileStep::Open;
    }
    return plan;
}

RecordingSettings RecordingSettingsFor(const LogSettings& log, const std::string& comment) {
    RecordingSettings settings;
    settings.textOn = log.textOn;  // a file on without a name is never opened
    settings.binaryOn = log.binaryOn;
    settings.textPath = log.textPath;
    settings.binaryPath = log.binaryPath;
    settings.interval = log.interval;
    settings.separatorCode = log.separatorCode;
    for (int i = 0; i < 8; ++i) {
        settings.recordInput[i] = log.recordInput[i] != 0;
    }
    settings.writeComment = log.writeComment != 0;
    settings.comment = comment;
    return settings;
}
