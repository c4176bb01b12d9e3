// The recording file on POSIX systems: permissions, another process holding the lock, pipes
// and devices.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "tests/recording/RecordingFileRows.h"
#include "text/FileErrorText.h"

namespace fs = std::filesystem;

namespace {

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

    EXPECT_FALSE(file.IsOpen());

    EXPECT_EQ(DescribeFileError(ENOSPC), "brak miejsca na dysku");
    EXPECT_EQ(DescribeFileError(EWOULDBLOCK), "plik jest używany przez inny program");
    EXPECT_EQ(DescribeFileError(9999), "błąd systemu nr 9999");
    EXPECT_NE(DescribeFileError(kErrorNotRegularFile), DescribeFileError(9999));
}

}  // namespace
