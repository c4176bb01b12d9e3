// The recording core on POSIX systems: links, virtual file systems and file size limits, which
// make writes fail on demand.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/recording/RecordingCoreFixture.h"
#include "tests/support/FileSizeLimit.h"
#include "text/FileErrorText.h"

namespace fs = std::filesystem;

namespace {

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

}  // namespace
