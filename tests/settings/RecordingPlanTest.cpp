// The rule both programs follow when the recording settings change, as a table.
#include <gtest/gtest.h>

#include <string>

#include "settings/RecordingPlan.h"

namespace {

LogSettings Log(bool textOn, const char* textPath, bool binaryOn, const char* binaryPath,
                int separator = 0) {
    LogSettings log;
    log.textOn = textOn;
    log.textPath = textPath;
    log.binaryOn = binaryOn;
    log.binaryPath = binaryPath;
    log.separatorCode = separator;
    return log;
}

struct Case {
    const char* name;
    LogSettings before;
    LogSettings after;
    bool textOpen;
    bool binaryOpen;
    FileStep text;
    FileStep binary;
};

std::string StepName(FileStep step) {
    switch (step) {
        case FileStep::Keep:
            return "keep";
        case FileStep::Close:
            return "close";
        case FileStep::Open:
            return "open";
    }
    return "?";
}

}  // namespace

TEST(RecordingPlanTest, WhatEachFileBecomes) {
    using enum FileStep;
    const LogSettings both = Log(true, "a.csv", true, "a.qdx");
    const Case cases[] = {
        {"nothing changed", both, both, true, true, Keep, Keep},
        {"only the interval changed", both,
         [&] {
             LogSettings l = both;
             l.interval = 5;
             l.recordInput[2] = 0;
             return l;
         }(),
         true, true, Keep, Keep},
        {"text switched off", both, Log(false, "a.csv", true, "a.qdx"), true, true, Close, Keep},
        {"binary switched off", both, Log(true, "a.csv", false, "a.qdx"), true, true, Keep, Close},
        {"both off, nothing open", Log(false, "", false, ""), Log(false, "", false, ""), false,
         false, Keep, Keep},
        {"text switched on", Log(false, "a.csv", true, "a.qdx"), both, false, true, Open, Keep},
        {"text renamed", both, Log(true, "b.csv", true, "a.qdx"), true, true, Open, Keep},
        {"binary renamed", both, Log(true, "a.csv", true, "b.qdx"), true, true, Keep, Open},
        {"separator changed", both, Log(true, "a.csv", true, "a.qdx", 2), true, true, Open, Keep},
        // Codes the recording takes for the same character change nothing in the file.
        {"separator code changed, not the character", Log(true, "a.csv", true, "a.qdx", 0),
         Log(true, "a.csv", true, "a.qdx", 7), true, true, Keep, Keep},
        {"a file that failed to open is tried again", both, both, false, false, Open, Open},
        // Tried, so that the window can say the file cannot be opened.
        {"switched on without a name", Log(false, "", false, ""), Log(true, "", true, ""), false,
         false, Open, Open},
        {"name cleared while open", both, Log(true, "", true, ""), true, true, Open, Open},
        {"both renamed and separator changed", both, Log(true, "b.csv", true, "b.qdx", 1), true,
         true, Open, Open},
    };
    for (const Case& c : cases) {
        const RecordingPlan plan = PlanRecordingChange(c.before, c.after, c.textOpen, c.binaryOpen);
        EXPECT_EQ(StepName(plan.text), StepName(c.text)) << c.name;
        EXPECT_EQ(StepName(plan.binary), StepName(c.binary)) << c.name;
    }
}

TEST(RecordingPlanTest, TheCoresSettingsCarryEveryRecordingValue) {
    LogSettings log = Log(true, "/d/a.csv", false, "/d/a.qdx", 1);
    log.interval = 90;
    log.recordInput = {1, 0, 5, 0, 1, 1, 1, 0};
    log.writeComment = 2;
    const RecordingSettings s = RecordingSettingsFor(log, "uwaga");
    EXPECT_TRUE(s.textOn);
    EXPECT_FALSE(s.binaryOn);
    EXPECT_EQ(s.textPath, "/d/a.csv");
    EXPECT_EQ(s.binaryPath, "/d/a.qdx");
    EXPECT_EQ(s.interval, 90);
    EXPECT_EQ(s.separatorCode, 1);
    EXPECT_EQ(s.recordInput,
              (std::array<bool, 8>{true, false, true, false, true, true, true, false}));
    EXPECT_TRUE(s.writeComment);
    EXPECT_EQ(s.comment, "uwaga");
}
