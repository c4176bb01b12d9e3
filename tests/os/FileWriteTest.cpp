// The shared write loop and folder creation, on real files.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "os/FileWrite.h"
#include "tests/os/OpenFile.h"

namespace fs = std::filesystem;

namespace {

class FileWriteTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device seed;
        dir = fs::temp_directory_path() / ("orvex-os-" + std::to_string(seed()));
        ASSERT_TRUE(fs::create_directory(dir));
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::string Read(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    fs::path dir;
};

// Large enough that the system may take it in several calls.
std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
    return bytes;
}

TEST_F(FileWriteTest, EveryByteArrivesInOrder) {
    const fs::path file = dir / "whole.bin";
    const std::string bytes = Pattern(3 << 20);
    {
        OpenFile out(file, true);
        ASSERT_TRUE(out.Valid());
        ASSERT_EQ(WriteAll(out.Get(), bytes.data(), 1000), 0);
        ASSERT_EQ(WriteAll(out.Get(), bytes.data() + 1000, bytes.size() - 1000), 0);
        EXPECT_EQ(WriteAll(out.Get(), bytes.data(), 0), 0);
    }
    EXPECT_EQ(Read(file), bytes);
}

TEST_F(FileWriteTest, WritesAtTheOffsetGiven) {
    const fs::path file = dir / "slots.bin";
    {
        OpenFile out(file, true);
        ASSERT_TRUE(out.Valid());
        ASSERT_EQ(WriteAllAt(out.Get(), "0123456789", 10, 0), 0);
        ASSERT_EQ(WriteAllAt(out.Get(), "abc", 3, 4), 0);
        // Beyond the end: the gap reads as zeros.
        ASSERT_EQ(WriteAllAt(out.Get(), "Z", 1, 12), 0);
    }
    EXPECT_EQ(Read(file), std::string("0123abc789\0\0Z", 13));
}

TEST_F(FileWriteTest, RefusedWriteTellsWhy) {
    const fs::path file = dir / "read-only-handle.bin";
    { std::ofstream(file) << "x"; }
    OpenFile in(file, false);  // opened for reading only
    ASSERT_TRUE(in.Valid());
    EXPECT_NE(WriteAll(in.Get(), "abc", 3), 0);
    EXPECT_NE(WriteAllAt(in.Get(), "abc", 3, 0), 0);
    EXPECT_EQ(Read(file), "x");
}

TEST_F(FileWriteTest, FoldersAreMadeDownToTheLast) {
    const fs::path deep = dir / "a" / "b" / "c";
    EXPECT_EQ(CreateFolders(deep), 0);
    EXPECT_TRUE(fs::is_directory(deep));
    EXPECT_EQ(CreateFolders(deep), 0);  // already there
    { std::ofstream(dir / "file") << "x"; }
    EXPECT_NE(CreateFolders(dir / "file" / "sub"), 0);
    EXPECT_NE(CreateFolders(dir / "file"), 0);
}

}  // namespace
