#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "tests/recording/RecordingFileRows.h"
#include "text/FileErrorText.h"

namespace fs = std::filesystem;

namespace {

// Takes the folder away. Where files open in it keep it from being removed (their removal waits
// for the last handle), it is moved aside instead: missing all the same.
void RemoveFolder(const fs::path& folder) {
    std::error_code ec;
    fs::remove_all(folder, ec);
    for (int n = 1; ec && n < 100; ++n)
        fs::rename(folder, folder.string() + ".gone" + std::to_string(n), ec);
}

TEST_F(RecordingFileTest, OnlyOneHolderOfTheLock) {
    ASSERT_EQ(file.Open(path).error, 0);
    CRecordingFile second(RecordingFileKind::Text);
    EXPECT_EQ(second.Open(path).error, EWOULDBLOCK);
    EXPECT_FALSE(second.IsOpen());
    file.Close();
    EXPECT_EQ(second.Open(path).error, 0);
}

TEST_F(RecordingFileTest, RefusesFoldersAndMissingFolders) {
    EXPECT_EQ(file.Open(folder.Path().string()).error, EISDIR);
    EXPECT_EQ(file.Open(folder.File("missing/log.csv")).error, ENOENT);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Append(Row(1)).error, EBADF);
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
    file.Close();
    WriteFile(path, "a\r");
    ASSERT_EQ(file.Open(path).error, 0);
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
    ASSERT_TRUE(fs::remove(path));
    std::error_code ec;
    if (fs::exists(path, ec))
        GTEST_SKIP() << "a removed file keeps its name while it is open here (wine)";

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
    RemoveFolder(sub);

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
    RemoveFolder(sub);
    file.Append(Row(1, true));
    file.Append(Row(2));
    ASSERT_EQ(file.QueuedRecords(), 2u);
    fs::create_directory(sub);
    file.Close();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(ReadFile(path), kHeader + Rows(1, 2));

    // Still failing at the close: nothing to keep them in, and no file made up.
    ASSERT_EQ(file.Open(path).error, 0);
    RemoveFolder(sub);
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
    RemoveFolder(sub);

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
