// The recording core on real files: what a tick writes, the header rules, opening from the
// settings, the events it reports, reopening after a rotation and the rescue at the close.
#include "recording/RecordingCore.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/recording/RecordingCoreFixture.h"
#include "tests/support/MakeReading.h"
#include "text/FileErrorText.h"

namespace fs = std::filesystem;

namespace {

// A header line when the columns change, none when they stay; the short header while the
// device is silent and no binary record then; the full header again when it answers.
TEST_F(RecordingCoreTest, TickWritesRowsWithHeaderLinesOnlyWhenTheColumnsChange) {
    ASSERT_TRUE(core.OpenAtStartup());
    core.Tick(Snapshot(1));
    core.Tick(Snapshot(2));
    core.Tick(Snapshot(3, false));
    core.Tick(Snapshot(4, false));
    core.Tick(Snapshot(5));

    EXPECT_EQ(ReadFile(settings.textPath), kFullHeader + Row(1) + Row(2) + kSilentHeader +
                                               SilentRow(3) + SilentRow(4) + kFullHeader + Row(5));
    EXPECT_EQ(BinaryRecords(settings.binaryPath), 3u);
    EXPECT_EQ(core.LastHeader(),
              "Data i Godzina\tTQ21 1234 Wilgotność [%]\tTQ21 1234 "
              "Temperatura [°C]\t\r\n");
}

// The last header belongs to the run, not to a file: a file opened later starts without one
// when the columns did not change, and an unselected input drops out of the next header.
TEST_F(RecordingCoreTest, LastHeaderOutlivesTheFileAndFollowsTheSelection) {
    ASSERT_EQ(core.OpenFile(RecordingFileKind::Text).error, 0);
    core.WriteText(Snapshot(1));
    settings.textPath = folder.File("drugi.txt");
    core.SetSettings(settings);
    ASSERT_EQ(core.OpenFile(RecordingFileKind::Text).error, 0);
    core.WriteText(Snapshot(2));
    EXPECT_EQ(ReadFile(settings.textPath), Row(2));

    settings.recordInput[0] = false;
    core.SetSettings(settings);
    core.WriteText(Snapshot(3));
    EXPECT_EQ(ReadFile(settings.textPath), Row(2) + kSilentHeader + SilentRow(3));
}

// The question comes only for a file that exists; its answer keeps or empties the content. At
// start-up nothing is asked and the content stays.
TEST_F(RecordingCoreTest, OpeningAsksOnlyForAnExistingFile) {
    std::vector<RecordingFileKind> asked;
    auto answer = [&asked](bool append) {
        return [&asked, append](RecordingFileKind kind) {
            asked.push_back(kind);
            return append;
        };
    };
    CRecordingCore::Opening opening = core.OpenFile(RecordingFileKind::Text, answer(true));
    EXPECT_EQ(opening.error, 0);
    EXPECT_FALSE(opening.appended);
    EXPECT_TRUE(asked.empty());
    core.CloseFile(RecordingFileKind::Text);

    WriteFile(settings.textPath, "stary wiersz\r\n");
    opening = core.OpenFile(RecordingFileKind::Text, answer(true));
    EXPECT_TRUE(opening.appended);
    EXPECT_EQ(ReadFile(settings.textPath), "stary wiersz\r\n");
    opening = core.OpenFile(RecordingFileKind::Text, answer(false));
    EXPECT_FALSE(opening.appended);
    EXPECT_EQ(ReadFile(settings.textPath), "");
    EXPECT_EQ(asked.size(), 2u);

    WriteFile(settings.binaryPath, "x");
    EXPECT_TRUE(core.OpenFile(RecordingFileKind::Binary).appended);
    EXPECT_EQ(fs::file_size(settings.binaryPath), 1u);
    EXPECT_EQ(Kinds(), (std::vector<K>{K::Opened, K::Opened, K::Opened, K::Opened}));
}

// A failed opening leaves that file closed and reports the reason; the other file still opens.
TEST_F(RecordingCoreTest, FailedOpeningReportsTheReasonAndLeavesTheFileClosed) {
    settings.textPath = folder.File("brak/wyniki.txt");
    core.SetSettings(settings);
    EXPECT_FALSE(core.OpenAtStartup());
    EXPECT_FALSE(core.IsOpen(RecordingFileKind::Text));
    EXPECT_TRUE(core.IsOpen(RecordingFileKind::Binary));
    ASSERT_EQ(Kinds(), (std::vector<K>{K::OpenFailed, K::Opened}));
    EXPECT_EQ(events[0].error, ENOENT);
    EXPECT_EQ(events[0].path, settings.textPath);

    // Switched off or unnamed: not opened at all.
    CRecordingCore other;
    RecordingSettings off = settings;
    off.textOn = false;
    off.binaryPath.clear();
    other.SetSettings(off);
    EXPECT_TRUE(other.OpenAtStartup());
    EXPECT_FALSE(other.AnyOpen());
    core.Tick(Snapshot(1));  // nothing to write for the text file: no crash, no file
    EXPECT_FALSE(fs::exists(settings.textPath));
}

// One file for both recordings is refused with its own reason.
TEST_F(RecordingCoreTest, OneFileForBothRecordingsIsRefused) {
    settings.binaryPath = settings.textPath;
    core.SetSettings(settings);
    EXPECT_EQ(core.OpenFile(RecordingFileKind::Text).error, 0);
    EXPECT_EQ(core.OpenFile(RecordingFileKind::Binary).error, kErrorSharedRecordingFile);
    EXPECT_FALSE(core.IsOpen(RecordingFileKind::Binary));
}

TEST(RecordingCoreInterval, StoredIntervalsAreHeldToTheDialogsRange) {
    EXPECT_EQ(CRecordingCore::EffectiveInterval(0), 1);
    EXPECT_EQ(CRecordingCore::EffectiveInterval(-5), 1);
    EXPECT_EQ(CRecordingCore::EffectiveInterval(90), 90);
    EXPECT_EQ(CRecordingCore::EffectiveInterval(86399), 86399);
    EXPECT_EQ(CRecordingCore::EffectiveInterval(99999999), 86399);
}

TEST_F(RecordingCoreTest, CommentBlockAndTheCommentsThatDoNotFit) {
    WriteFile(settings.textPath, "stary\r\n");
    settings.writeComment = true;
    settings.comment = "Szklarnia 2\nzmiana nocna";
    core.SetSettings(settings);
    const CRecordingCore::Opening opening = core.OpenFile(RecordingFileKind::Text);
    core.WriteComment(opening.appended);
    core.WriteText(Snapshot(1));
    EXPECT_EQ(ReadFile(settings.textPath),
              "stary\r\n\r\nSzklarnia 2\r\nzmiana nocna\r\n" + kFullHeader + Row(1));

    EXPECT_TRUE(CRecordingCore::CommentFits("Zażółć gęślą jaźń"));
    EXPECT_FALSE(CRecordingCore::CommentFits("Привет"));
}

// A rotation tool moved both files away: Reopen starts new files at the paths, the text file
// with its header line, and the old ones keep what they had.
TEST_F(RecordingCoreTest, ReopenAfterARotationStartsNewFilesWithAHeader) {
    ASSERT_TRUE(core.OpenAtStartup());
    core.Tick(Snapshot(1));
    fs::rename(settings.textPath, folder.File("wyniki.txt.1"));
    fs::rename(settings.binaryPath, folder.File("wykres.qdx.1"));
    EXPECT_TRUE(core.Reopen());
    EXPECT_EQ(ReadFile(settings.textPath), "");
    core.Tick(Snapshot(2));
    EXPECT_EQ(ReadFile(settings.textPath), kFullHeader + Row(2));
    EXPECT_EQ(ReadFile(folder.File("wyniki.txt.1")), kFullHeader + Row(1));
    EXPECT_EQ(BinaryRecords(settings.binaryPath), 1u);
    EXPECT_EQ(BinaryRecords(folder.File("wykres.qdx.1")), 1u);
}

TEST(RecordingCoreSnapshot, AnUnansweredCycleRecordsNoReadings) {
    PollingCycle cycle;
    cycle.responding = false;
    cycle.readings[0] = MakeReading(ModelTQ21, 1234, {523, 215});
    EXPECT_EQ(SnapshotFromCycle(cycle, {}).readings[0].model, ModelNone);
    cycle.responding = true;
    const RecordingSnapshot snapshot = SnapshotFromCycle(cycle, {2026, 1, 2, 3, 4, 5});
    EXPECT_TRUE(snapshot.responding);
    EXPECT_EQ(snapshot.readings[0].serialNumber, 1234);
    EXPECT_EQ(snapshot.time.second, 5);
}

}  // namespace
