// The recording core on real files: what a tick writes, the header rules, opening from the
// settings, the events it reports, reopening after a rotation and the rescue at the close.
#include "recording/RecordingCore.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "recording/format/BinaryRecordDecoder.h"
#include "recording/format/FileText.h"
#include "tests/recording/RecordingSnapshots.h"
#include "tests/recording/RecordingTestFiles.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/MakeReading.h"
#include "text/FileErrorText.h"

namespace fs = std::filesystem;

namespace {

const std::string kFullHeader =
    FileText("Data i Godzina\tTQ21 1234 Wilgotność [%]\tTQ21 1234 Temperatura [°C]\t\r\n");
const std::string kSilentHeader = "Data i Godzina\t\r\n";

std::string SilentRow(int second) {
    char text[64];
    std::snprintf(text, sizeof text, "2026.12.07 10:00:%02d\t\r\n", second);
    return text;
}

std::size_t BinaryRecords(const std::string& path) {
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

// Refusals with their own reasons: one file for both recordings, a folder that takes no files.
TEST_F(RecordingCoreTest, OpeningRefusalsSayWhy) {
    settings.binaryPath = settings.textPath;
    core.SetSettings(settings);
    EXPECT_EQ(core.OpenFile(RecordingFileKind::Text).error, 0);
    EXPECT_EQ(core.OpenFile(RecordingFileKind::Binary).error, kErrorSharedRecordingFile);
    // The same file under another name is the same file.
    fs::create_symlink(settings.textPath, folder.File("link.qdx"));
    settings.binaryPath = folder.File("link.qdx");
    core.SetSettings(settings);
    EXPECT_EQ(core.OpenFile(RecordingFileKind::Binary).error, kErrorSharedRecordingFile);

    settings.binaryPath = "/proc/x.qdx";
    core.SetSettings(settings);
    EXPECT_EQ(core.OpenFile(RecordingFileKind::Binary).error, kErrorCannotCreateFile);
    settings.binaryPath = "/proc/brak/x.qdx";
    core.SetSettings(settings);
    EXPECT_EQ(core.OpenFile(RecordingFileKind::Binary).error, ENOENT);
    EXPECT_FALSE(core.IsOpen(RecordingFileKind::Binary));
}

// Under a file size limit the write fails and the records wait; the program is not ended.
TEST_F(RecordingCoreTest, AFileSizeLimitDoesNotEndTheProgram) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_DFL);
        CRecordingCore recording;
        recording.SetSettings(settings);
        if (!recording.OpenAtStartup())
            _exit(2);
        rlimit limit{0, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &limit);
        recording.Tick(Snapshot(1));
        _exit(recording.File(RecordingFileKind::Text)->QueuedRecords() == 1 ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
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

// A write failure is one spell: one event when it starts, one when the held rows are written.
TEST_F(RecordingCoreTest, WriteFailureIsOneSpellAndNothingIsLost) {
    ASSERT_EQ(core.OpenFile(RecordingFileKind::Text).error, 0);
    core.WriteText(Snapshot(1));
    {
        FileSizeLimit limit(fs::file_size(settings.textPath));
        ASSERT_TRUE(limit.Active());
        for (int second = 2; second <= 4; ++second)
            core.WriteText(Snapshot(second));
    }
    core.WriteText(Snapshot(5));
    EXPECT_EQ(ReadFile(settings.textPath),
              kFullHeader + Row(1) + Row(2) + Row(3) + Row(4) + Row(5));
    EXPECT_EQ(Kinds(), (std::vector<K>{K::Opened, K::SpellStarted, K::SpellEnded}));
    EXPECT_EQ(events[1].error, EFBIG);
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

// Records still held at the close go to a rescue file named after the file, the text one with
// its header line first; when even that cannot be written the count of lost records is told.
class RecordingCoreCloseTest : public RecordingCoreTest {
protected:
    // Ten good ticks, then three that the full files cannot take; the limit stays for the
    // close, but the smaller rescue files fit under it.
    void RecordIntoFullFiles() {
        ASSERT_TRUE(core.OpenAtStartup());
        for (int second = 1; second <= 10; ++second)
            core.Tick(Snapshot(second));
        limit.emplace(
            std::min(fs::file_size(settings.textPath), fs::file_size(settings.binaryPath)));
        ASSERT_TRUE(limit->Active());
        for (int second = 11; second <= 13; ++second)
            core.Tick(Snapshot(second));
        ASSERT_EQ(core.File(RecordingFileKind::Text)->QueuedRecords(), 3u);
        ASSERT_EQ(core.File(RecordingFileKind::Binary)->QueuedRecords(), 3u);
    }

    std::optional<FileSizeLimit> limit;
};

TEST_F(RecordingCoreCloseTest, HeldRecordsGoToRescueFiles) {
    const fs::path rescue = folder.Path() / "ustawienia" / "niezapisane";
    std::vector<CRecordingCore::Closing> closed;
    RecordIntoFullFiles();
    closed = core.Close(rescue);
    limit.reset();
    EXPECT_FALSE(core.AnyOpen());
    ASSERT_EQ(closed.size(), 2u);
    EXPECT_EQ(closed[0].held, 3u);
    EXPECT_EQ(closed[0].path, settings.textPath);
    EXPECT_EQ(fs::path(closed[0].rescuePath).parent_path(), rescue);
    EXPECT_TRUE(fs::path(closed[0].rescuePath).filename().string().starts_with("wyniki "));
    EXPECT_EQ(fs::path(closed[0].rescuePath).extension(), ".txt");
    EXPECT_EQ(ReadFile(closed[0].rescuePath), kFullHeader + Row(11) + Row(12) + Row(13));
    EXPECT_EQ(fs::path(closed[1].rescuePath).extension(), ".qdx");
    const BinaryDecodeResult decoded = DecodeBinaryRecords(ReadFile(closed[1].rescuePath));
    ASSERT_EQ(decoded.records.size(), 3u);
    EXPECT_TRUE(decoded.records[0].starts_with("20261207100011$"));
    // The originals keep what they had.
    EXPECT_EQ(BinaryRecords(settings.binaryPath), 10u);
    EXPECT_EQ(Kinds().back(), K::Rescued);
    EXPECT_EQ(events.back().count, 3u);
}

TEST_F(RecordingCoreCloseTest, RecordsThatNoFileTakesAreCounted) {
    WriteFile(folder.File("plik"), "");
    std::vector<CRecordingCore::Closing> closed;
    RecordIntoFullFiles();
    closed = core.Close(folder.Path() / "plik" / "niezapisane");
    limit.reset();
    ASSERT_EQ(closed.size(), 2u);
    for (const CRecordingCore::Closing& closing : closed) {
        EXPECT_EQ(closing.held, 3u);
        EXPECT_TRUE(closing.rescuePath.empty());
        EXPECT_EQ(closing.error, ENOTDIR);
    }
    EXPECT_EQ(Kinds().back(), K::Lost);
}

// Nothing held: nothing rescued and no rescue folder.
TEST_F(RecordingCoreCloseTest, NothingHeldLeavesNoRescueFolder) {
    ASSERT_TRUE(core.OpenAtStartup());
    core.Tick(Snapshot(1));
    EXPECT_TRUE(core.Close(folder.Path() / "niezapisane").empty());
    EXPECT_FALSE(fs::exists(folder.Path() / "niezapisane"));
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
