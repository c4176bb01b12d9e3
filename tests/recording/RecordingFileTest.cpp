#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "recording/RecordingFile.h"
#include "recording/format/BinaryRecordFormat.h"
#include "tests/recording/RecordingTestFiles.h"
#include "text/FileErrorText.h"

namespace fs = std::filesystem;

namespace {

const std::string kHeader = "Data i Godzina\tH\t\r\n";

RecordBytes Row(int n, bool withHeader = false) {
    const std::string row = "row " + std::to_string(n) + "\r\n";
    return {withHeader ? kHeader + row : row, kHeader};
}

std::string Rows(int from, int to) {
    std::string text;
    for (int n = from; n <= to; ++n)
        text += Row(n).bytes;
    return text;
}

std::string BinaryRecord(int second) {
    char text[64];
    std::snprintf(text, sizeof text, "20240307140%03d$21,%d,26,52.3,1$", second, second);
    return EncodeBinaryRecord(text);
}

// Opens the path in a child process and gives back the error it got.
int OpenErrorInChild(const std::string& path) {
    const pid_t child = fork();
    if (child == 0) {
        CRecordingFile file(RecordingFileKind::Text);
        _exit(file.Open(path).error == EWOULDBLOCK ? 1 : 0);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status) == 1 ? EWOULDBLOCK : 0;
}

class RecordingFileTest : public ::testing::Test {
protected:
    TempFolder folder;
    std::string path = folder.File("log.csv");
    CRecordingFile file{RecordingFileKind::Text};
};

TEST_F(RecordingFileTest, OpenTellsWhetherTheFileExistedAndHonoursTheUmask) {
    const mode_t old = umask(027);
    const OpenOutcome created = file.Open(path);
    umask(old);
    ASSERT_EQ(created.error, 0);
    EXPECT_FALSE(created.existed);
    EXPECT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Path(), path);
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));

    file.Close();
    EXPECT_FALSE(file.IsOpen());
    const OpenOutcome reopened = file.Open(path);
    EXPECT_EQ(reopened.error, 0);
    EXPECT_TRUE(reopened.existed);
}

TEST_F(RecordingFileTest, OnlyOneHolderOfTheLockInThisOrAnotherProcess) {
    ASSERT_EQ(file.Open(path).error, 0);
    CRecordingFile second(RecordingFileKind::Text);
    EXPECT_EQ(second.Open(path).error, EWOULDBLOCK);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(OpenErrorInChild(path), EWOULDBLOCK);

    file.Close();
    EXPECT_EQ(OpenErrorInChild(path), 0);
    EXPECT_EQ(second.Open(path).error, 0);
}

TEST_F(RecordingFileTest, RefusesWhatIsNotARegularFile) {
    const std::string fifo = folder.File("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(file.Open(fifo).error, kErrorNotRegularFile);  // and does not hang
    EXPECT_TRUE(fs::is_fifo(fifo));

    const std::string zero = folder.File("zero");
    fs::create_symlink("/dev/zero", zero);
    EXPECT_EQ(file.Open(zero).error, kErrorNotRegularFile);
    EXPECT_TRUE(fs::is_character_file("/dev/zero"));

    EXPECT_EQ(file.Open(folder.Path().string()).error, EISDIR);
    EXPECT_EQ(file.Open(folder.File("missing/log.csv")).error, ENOENT);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Append(Row(1)).error, EBADF);

    EXPECT_EQ(DescribeFileError(ENOSPC), "brak miejsca na dysku");
    EXPECT_EQ(DescribeFileError(EWOULDBLOCK), "plik jest używany przez inny program");
    EXPECT_EQ(DescribeFileError(9999), "błąd systemu nr 9999");
    EXPECT_NE(DescribeFileError(kErrorNotRegularFile), DescribeFileError(9999));
}

TEST_F(RecordingFileTest, TornTextLineIsEndedBeforeAppending) {
    WriteFile(path, "a\r\nhalf a ro");
    ASSERT_EQ(file.Open(path).error, 0);
    ASSERT_EQ(file.PrepareAppend(), 0);
    ASSERT_EQ(file.PrepareAppend(), 0);  // a whole last line is left alone
    EXPECT_TRUE(file.Append(Row(1)).written);
    EXPECT_EQ(ReadFile(path), "a\r\nhalf a ro\r\n" + Rows(1, 1));

    ASSERT_EQ(file.Truncate(), 0);
    ASSERT_EQ(file.PrepareAppend(), 0);
    const AppendOutcome out = file.Append(Row(2));
    EXPECT_TRUE(out.written);
    EXPECT_FALSE(out.reopened || out.spellStarted || out.spellEnded);
    EXPECT_EQ(out.error, 0);
    EXPECT_EQ(ReadFile(path), Rows(2, 2));

    // Torn between CR and LF: the line is ended, not given a second CR.
    WriteFile(path, "a\r");
    ASSERT_EQ(file.PrepareAppend(), 0);
    EXPECT_EQ(ReadFile(path), "a\r\n");
}

TEST_F(RecordingFileTest, TornBinaryTailIsCutOnlyWhenItIsOneOfOurs) {
    CRecordingFile qdx(RecordingFileKind::Binary);
    std::string whole;
    for (int i = 0; i < 100; ++i)  // longer than the tail the repair reads
        whole += BinaryRecord(i);

    WriteFile(path, whole + BinaryRecord(100).substr(0, 20));
    ASSERT_EQ(qdx.Open(path).error, 0);
    ASSERT_EQ(qdx.PrepareAppend(), 0);
    EXPECT_EQ(ReadFile(path), whole);
    qdx.Close();

    WriteFile(path, BinaryRecord(1).substr(0, 5));
    ASSERT_EQ(qdx.Open(path).error, 0);
    ASSERT_EQ(qdx.PrepareAppend(), 0);
    EXPECT_EQ(ReadFile(path), "");
    qdx.Close();

    const std::string foreign = "Data i Godzina\t\r\n2024.03.07 14:05:09\t\r\n";
    for (const std::string& content : {foreign, whole + foreign, whole}) {
        WriteFile(path, content);
        ASSERT_EQ(qdx.Open(path).error, 0);
        ASSERT_EQ(qdx.PrepareAppend(), 0);
        EXPECT_TRUE(qdx.Append({BinaryRecord(7), {}}).written);
        EXPECT_EQ(ReadFile(path), content + BinaryRecord(7));
        qdx.Close();
    }
}

TEST_F(RecordingFileTest, DeletedFileIsCreatedAgainWithTheHeader) {
    ASSERT_EQ(file.Open(path).error, 0);
    ASSERT_TRUE(file.Append(Row(1, true)).written);
    ASSERT_EQ(unlink(path.c_str()), 0);

    const AppendOutcome out = file.Append(Row(2));
    EXPECT_TRUE(out.reopened);
    EXPECT_TRUE(out.written);
    EXPECT_FALSE(out.spellStarted);
    EXPECT_TRUE(file.Append(Row(3)).written);
    EXPECT_EQ(ReadFile(path), kHeader + Rows(2, 3));
    // The new file is locked like the first.
    CRecordingFile second(RecordingFileKind::Text);
    EXPECT_EQ(second.Open(path).error, EWOULDBLOCK);
}

TEST_F(RecordingFileTest, RotatedFileKeepsItsRowsAndTheNewOneGetsTheRest) {
    ASSERT_EQ(file.Open(path).error, 0);
    ASSERT_TRUE(file.Append(Row(1, true)).written);
    fs::rename(path, path + ".1");

    EXPECT_TRUE(file.Append(Row(2, true)).reopened);  // a row with its header: not doubled
    EXPECT_FALSE(file.Append(Row(3)).reopened);

    // A rotation tool that creates the new file itself.
    fs::rename(path, path + ".2");
    WriteFile(path, "");
    EXPECT_TRUE(file.Append(Row(4)).reopened);

    EXPECT_EQ(ReadFile(path + ".1"), kHeader + Rows(1, 1));
    EXPECT_EQ(ReadFile(path + ".2"), kHeader + Rows(2, 3));
    EXPECT_EQ(ReadFile(path), kHeader + Rows(4, 4));
}

TEST_F(RecordingFileTest, NewFileLockedByAnotherProgramHoldsRowsBack) {
    ASSERT_EQ(file.Open(path).error, 0);
    ASSERT_TRUE(file.Append(Row(1, true)).written);
    fs::rename(path, path + ".1");
    CRecordingFile other(RecordingFileKind::Text);
    ASSERT_EQ(other.Open(path).error, 0);

    AppendOutcome out = file.Append(Row(2));
    EXPECT_FALSE(out.written);
    EXPECT_EQ(out.error, EWOULDBLOCK);
    EXPECT_TRUE(out.spellStarted);

    other.Close();
    out = file.Append(Row(3));
    EXPECT_TRUE(out.written && out.reopened && out.spellEnded);
    EXPECT_EQ(ReadFile(path), kHeader + Rows(2, 3));
}

TEST_F(RecordingFileTest, MissingFolderQueuesRowsUntilItReturns) {
    const fs::path sub = folder.Path() / "sub";
    fs::create_directory(sub);
    path = (sub / "log.csv").string();
    ASSERT_EQ(file.Open(path).error, 0);
    ASSERT_TRUE(file.Append(Row(1, true)).written);
    fs::remove_all(sub);

    for (int n = 2; n <= 4; ++n) {
        const AppendOutcome out = file.Append(Row(n));
        EXPECT_FALSE(out.written);
        EXPECT_EQ(out.error, ENOENT);
        EXPECT_EQ(out.spellStarted, n == 2);
        EXPECT_FALSE(out.spellEnded);
    }
    EXPECT_TRUE(file.Failing());
    EXPECT_EQ(file.LastError(), ENOENT);
    EXPECT_EQ(file.QueuedRecords(), 3u);
    EXPECT_TRUE(file.IsOpen());

    fs::create_directory(sub);
    const AppendOutcome out = file.Append(Row(5));
    EXPECT_TRUE(out.written && out.reopened && out.spellEnded);
    EXPECT_FALSE(out.spellStarted);
    EXPECT_FALSE(file.Failing());
    EXPECT_EQ(file.QueuedRecords(), 0u);
    EXPECT_EQ(ReadFile(path), kHeader + Rows(2, 5));
    EXPECT_FALSE(file.Append(Row(6)).spellEnded);
}

TEST_F(RecordingFileTest, CloseWritesWhatWasHeldBackWhenItCan) {
    const fs::path sub = folder.Path() / "sub";
    fs::create_directory(sub);
    path = (sub / "log.csv").string();
    ASSERT_EQ(file.Open(path).error, 0);
    fs::remove_all(sub);
    file.Append(Row(1, true));
    file.Append(Row(2));
    ASSERT_EQ(file.QueuedRecords(), 2u);
    fs::create_directory(sub);
    file.Close();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(ReadFile(path), kHeader + Rows(1, 2));

    // Still failing at the close: nothing to keep them in, and no file made up.
    ASSERT_EQ(file.Open(path).error, 0);
    fs::remove_all(sub);
    file.Append(Row(3));
    file.Close();
    EXPECT_FALSE(fs::exists(sub));
}

TEST_F(RecordingFileTest, FullQueueDropsTheOldestRows) {
    const fs::path sub = folder.Path() / "sub";
    fs::create_directory(sub);
    path = (sub / "log.csv").string();
    CRecordingFile small(RecordingFileKind::Text, 2);
    ASSERT_EQ(small.Open(path).error, 0);
    fs::remove_all(sub);

    for (int n = 1; n <= 5; ++n)
        small.Append(Row(n));
    EXPECT_EQ(small.QueuedRecords(), 2u);
    EXPECT_EQ(small.DroppedRecords(), 3u);

    fs::create_directory(sub);
    EXPECT_TRUE(small.Append(Row(6)).written);
    EXPECT_EQ(ReadFile(path), kHeader + Rows(4, 6));
    EXPECT_EQ(small.DroppedRecords(), 3u);
}

}  // namespace
