// The settings store on POSIX systems: permissions, symbolic links and file size limits.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "store/IniEx.h"
#include "tests/store/IniFolderTest.h"
#include "tests/support/FileSizeLimit.h"

namespace fs = std::filesystem;

namespace {

class IniExPosixTest : public IniFolderTest {};

TEST_F(IniExPosixTest, SaveKeepsModeAndLinkAndLeavesNoTemporaryFile) {
    WriteFile(path_, "[A]\nk=1\n");
    ::chmod(path_.c_str(), 0640);
    const fs::path link = dir_ / "link.ini";
    fs::create_symlink(path_.filename(), link);
    CIniEx ini;
    ASSERT_TRUE(ini.Open(link, false, false, true));
    ini.SetInt("A", "k", 2);
    ASSERT_TRUE(ini.Save());
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFile(path_), "[A]\r\nk=2\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    std::vector<std::string> names = FolderNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"link.ini", "orvex.ini"}));
}

// A write that fails half way (as on a full disk) must leave the old file as it was.
TEST_F(IniExPosixTest, FailedWriteLeavesTheOldFileIntact) {
    const std::string old = "[GENERAL]\r\nPORT_NR=3\r\n";
    WriteFile(path_, old);
    CIniEx ini;
    ASSERT_TRUE(ini.Open(path_, false, false, true));
    ini.SetText("LOG", "FILE_NAME", std::string(4096, 'x'));

    bool saved_ok = false;
    {
        FileSizeLimit limit(1024);
        ASSERT_TRUE(limit.Active());
        saved_ok = ini.Save();
    }

    EXPECT_FALSE(saved_ok);
    EXPECT_EQ(ReadFile(path_), old);
    EXPECT_EQ(FolderNames(), std::vector<std::string>{"orvex.ini"});
    EXPECT_TRUE(ini.IsModified());
    EXPECT_TRUE(ini.Save());  // the content is still there for a later attempt
    EXPECT_EQ(ini.GetText("LOG", "FILE_NAME", "").size(), 4096u);
}

}  // namespace
