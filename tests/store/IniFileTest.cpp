// The store against files that are not what a settings file should be, and against files and
// folders that refuse writes.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <functional>

#include "store/IniEx.h"
#include "tests/store/IniFolderTest.h"
#include "tests/store/WriteProtect.h"
#include "tests/support/FileSizeLimit.h"

namespace fs = std::filesystem;

namespace {

class IniFileTest : public IniFolderTest {};

// Runs body in a child process, so that a store that blocks or reads without end fails the test
// instead of hanging or exhausting the test run. Returns the child's exit code, or -1 when it
// had not ended within limitMs (it is killed then) or died of a signal.
int RunBounded(const std::function<int()>& body, int limitMs) {
    const pid_t pid = ::fork();
    if (pid == 0) {
#ifndef __SANITIZE_ADDRESS__  // the sanitizer reserves far more address space than this
        const rlimit memory{rlim_t{1} << 30, rlim_t{1} << 30};
        ::setrlimit(RLIMIT_AS, &memory);
#endif
        int code = 255;  // also for an exception: it must not unwind into the test runner
        try {
            code = body();
        } catch (...) {
        }
        ::_exit(code);
    }
    if (pid < 0) {
        return -1;
    }
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    pollfd waitFor{pidfd, POLLIN, 0};
    const bool ended = pidfd >= 0 && ::poll(&waitFor, 1, limitMs) == 1;
    if (!ended) {
        ::kill(pid, SIGKILL);
    }
    if (pidfd >= 0) {
        ::close(pidfd);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

constexpr int kOpened = 100;

// Opens path with write on close and changes a key, as the program does; the exit code says
// how the open went.
int OpenAndChange(const fs::path& path) {
    CIniEx ini(4);
    const bool opened = ini.Open(path, true, true, true);
    ini.SetInt("GENERAL", "PORT_NR", 3);
    return opened ? kOpened : static_cast<int>(ini.LastOpenResult());
}

TEST_F(IniFileTest, HostileFilesAreRefusedAtOnceAndLeftAlone) {
    ASSERT_EQ(::mkfifo(path_.c_str(), 0644), 0);
    EXPECT_EQ(RunBounded([&] { return OpenAndChange(path_); }, 10000),
              static_cast<int>(IniOpenResult::NotRegularFile));
    EXPECT_TRUE(fs::is_fifo(path_));
    fs::remove(path_);

    fs::create_symlink("/dev/zero", path_);
    EXPECT_EQ(RunBounded([&] { return OpenAndChange(path_); }, 10000),
              static_cast<int>(IniOpenResult::NotRegularFile));
    EXPECT_EQ(fs::read_symlink(path_), fs::path("/dev/zero"));
    fs::remove(path_);

    fs::create_directory(path_);
    EXPECT_EQ(OpenAndChange(path_), static_cast<int>(IniOpenResult::NotRegularFile));
    EXPECT_TRUE(fs::is_empty(path_));
    fs::remove(path_);

    // Sparse files: one byte beyond the limit is refused and kept as it is; the limit itself
    // is read.
    WriteFile(path_, "");
    fs::resize_file(path_, CIniEx::kMaxFileSize + 1);
    const auto before = fs::last_write_time(path_);
    EXPECT_EQ(RunBounded([&] { return OpenAndChange(path_); }, 10000),
              static_cast<int>(IniOpenResult::TooLarge));
    EXPECT_EQ(fs::file_size(path_), CIniEx::kMaxFileSize + 1);
    EXPECT_EQ(fs::last_write_time(path_), before);
    fs::resize_file(path_, CIniEx::kMaxFileSize);
    {
        CIniEx ini(4);
        EXPECT_TRUE(ini.Open(path_, false, false, true));
    }
    EXPECT_EQ(FolderNames(), std::vector<std::string>{"orvex.ini"});
}

// A file this user may not read (left by a run as another user, say) is refused, not taken for
// a missing one, and never written over.
TEST_F(IniFileTest, UnreadableFileIsRefusedAndLeftAlone) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads every file";
    }
    WriteFile(path_, "[GENERAL]\r\nPORT_NR=3\r\n");
    ::chmod(path_.c_str(), 0200);
    EXPECT_EQ(OpenAndChange(path_), static_cast<int>(IniOpenResult::Unreadable));
    ::chmod(path_.c_str(), 0600);
    EXPECT_EQ(ReadFile(path_), "[GENERAL]\r\nPORT_NR=3\r\n");
}

TEST_F(IniFileTest, ReadOnlyFileIsReadAndLeftUnchanged) {
    const std::string old = "[GENERAL]\r\nPORT_NR=3\r\n";
    WriteFile(path_, old);
    WriteProtect protect(path_);
    if (!protect.Active()) {
        GTEST_SKIP() << "cannot write-protect a file here";
    }
    CIniEx ini(4);
    ASSERT_TRUE(ini.Open(path_, true, false, true));
    EXPECT_EQ(ini.GetInt("GENERAL", "PORT_NR", 0), 3);
    ini.SetInt("GENERAL", "PORT_NR", 4);
    EXPECT_FALSE(ini.Save());
    EXPECT_EQ(ini.LastSaveResult(), IniSaveResult::ReadOnly);
    EXPECT_NE(ini.LastSaveError(), 0);
    EXPECT_EQ(ReadFile(path_), old);
    EXPECT_EQ(FolderNames(), std::vector<std::string>{"orvex.ini"});
}

// A folder that takes no new file while the file itself is writable: the file is rewritten in
// place, growing and shrinking, and stays the same file.
TEST_F(IniFileTest, UnwritableFolderRewritesTheFileInPlace) {
    WriteFile(path_, "[GENERAL]\r\nPORT_NR=3\r\n");
    struct stat before {};
    ASSERT_EQ(::stat(path_.c_str(), &before), 0);
    WriteProtect protect(dir_);
    if (!protect.Active()) {
        GTEST_SKIP() << "cannot write-protect a folder here";
    }
    CIniEx ini(4);
    ASSERT_TRUE(ini.Open(path_, false, false, true));
    ini.SetText("LOG", "FILE_NAME", std::string(5000, 'x'));
    EXPECT_TRUE(ini.Save());
    EXPECT_EQ(ini.LastSaveResult(), IniSaveResult::WrittenInPlace);
    EXPECT_EQ(ReadFile(path_), ini.ToText());

    ini.SetText("LOG", "FILE_NAME", "short");
    EXPECT_TRUE(ini.Save());
    EXPECT_EQ(ReadFile(path_), "[GENERAL]\r\nPORT_NR=3\r\n[LOG]\r\nFILE_NAME=short\r\n");

    struct stat after {};
    ASSERT_EQ(::stat(path_.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(FolderNames(), std::vector<std::string>{"orvex.ini"});
}

// In place or not, a file that cannot be extended keeps its old content whole.
TEST_F(IniFileTest, InPlaceRewriteThatCannotGrowLeavesTheFileIntact) {
    const std::string old = "[GENERAL]\r\nPORT_NR=3\r\n";
    WriteFile(path_, old);
    WriteProtect protect(dir_);
    if (!protect.Active()) {
        GTEST_SKIP() << "cannot write-protect a folder here";
    }
    CIniEx ini(4);
    ASSERT_TRUE(ini.Open(path_, false, false, true));
    ini.SetText("LOG", "FILE_NAME", std::string(4096, 'x'));

    bool written = false;
    {
        FileSizeLimit limit(1024);
        ASSERT_TRUE(limit.Active());
        written = ini.Save();
    }

    EXPECT_FALSE(written);
    EXPECT_EQ(ini.LastSaveResult(), IniSaveResult::Failed);
    EXPECT_EQ(ReadFile(path_), old);
}

// What the store writes it must be able to read again: content grown beyond the limit (line
// ends and "=" added by the written form, keys added) is not written.
TEST_F(IniFileTest, ContentBeyondTheLimitIsNotWritten) {
    const std::string old(CIniEx::kMaxFileSize - 8, 'a');
    WriteFile(path_, old);
    CIniEx ini(4);
    ASSERT_TRUE(ini.Open(path_, false, false, true));
    ini.SetInt("GENERAL", "PORT_NR", 1);
    EXPECT_FALSE(ini.Save());
    EXPECT_EQ(ini.LastSaveResult(), IniSaveResult::Failed);
    EXPECT_EQ(ini.LastSaveError(), EFBIG);
    EXPECT_EQ(ReadFile(path_), old);
}

}  // namespace
