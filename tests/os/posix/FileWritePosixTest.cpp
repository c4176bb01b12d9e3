// The write loop on a device that takes no byte.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "os/FileWrite.h"
#include "tests/os/OpenFile.h"

namespace {

TEST(FileWritePosixTest, FullDiskIsTold) {
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here";
    OpenFile full("/dev/full", true);
    ASSERT_TRUE(full.Valid());
    EXPECT_EQ(WriteAll(full.Get(), "abc", 3), ENOSPC);
    EXPECT_EQ(WriteAllAt(full.Get(), "abc", 3, 0), ENOSPC);
}

}  // namespace
