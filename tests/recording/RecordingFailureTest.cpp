// Write failures made for real: a file size limit and a small, full file system.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "recording/RecordingFile.h"
#include "recording/format/BinaryRecordDecoder.h"
#include "recording/format/BinaryRecordFormat.h"
#include "tests/recording/RecordingTestFiles.h"
#include "tests/support/FileSizeLimit.h"

namespace fs = std::filesystem;

namespace {

RecordBytes Line(int n) {
    char text[48];
    std::snprintf(text, sizeof text, "2024.03.07 14:05:%02d\t%04d\t\r\n", n % 60, n);
    return {text, "Data i Godzina\tX\t\r\n"};
}

TEST(RecordingFailure, FileSizeLimitCutsAPartialRecordBack) {
    TempFolder folder;
    const std::string path = folder.File("limit.txt");
    const std::size_t line = Line(0).bytes.size();
    CRecordingFile file(RecordingFileKind::Text);
    ASSERT_EQ(file.Open(path).error, 0);

    std::vector<AppendOutcome> outs;
    std::string fileAtLimit;
    {
        FileSizeLimit limit(3 * line + line / 2);
        for (int n = 1; n <= 6; ++n)
            outs.push_back(file.Append(Line(n)));
        fileAtLimit = ReadFile(path);
        limit.Lift();
        outs.push_back(file.Append(Line(7)));
    }

    std::string expected;
    for (int n = 1; n <= 7; ++n)
        expected += Line(n).bytes;
    EXPECT_EQ(fileAtLimit, expected.substr(0, 3 * line));  // the fourth line cut back whole
    EXPECT_EQ(ReadFile(path), expected);
    for (int n = 1; n <= 6; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(outs[n - 1].written, n <= 3);
        EXPECT_EQ(outs[n - 1].error, n <= 3 ? 0 : EFBIG);
        EXPECT_EQ(outs[n - 1].spellStarted, n == 4);
    }
    EXPECT_TRUE(outs[6].written && outs[6].spellEnded);
    EXPECT_EQ(file.QueuedRecords(), 0u);
}

// A 64 KiB tmpfs mounted over a temporary folder, so that the disk can really run full.
class SmallDisk : public ::testing::Test {
protected:
    void SetUp() override {
        if (mount("tmpfs", folder.Path().c_str(), "tmpfs", 0, "size=64k,mode=0700") != 0)
            GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
        mounted = true;
    }
    void TearDown() override {
        if (mounted)
            umount2(folder.Path().c_str(), MNT_DETACH);
    }
    // Writes until the file system is full.
    void Fill(const std::string& path) {
        const std::string block(4096, 'x');
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::setvbuf(f, nullptr, _IONBF, 0);
        while (std::fwrite(block.data(), 1, block.size(), f) == block.size()) {
        }
        std::fclose(f);
    }

    TempFolder folder;
    bool mounted = false;
};

std::string BinaryText(int n) {
    char text[128];
    std::snprintf(text, sizeof text, "2024030714%04d$21,%d,26,%d.5,1$21,%d,25,-3.0,1$", n, n,
                  n % 100, n);
    return text;
}

TEST_F(SmallDisk, FullDiskQueuesRecordsAndWritesThemOnceWhenSpaceReturns) {
    const std::string path = folder.File("log.qdx");
    const std::string ballast = folder.File("ballast");
    CRecordingFile file(RecordingFileKind::Binary);
    ASSERT_EQ(file.Open(path).error, 0);

    // Records to just short of a page, so that the next one needs a page the disk lacks.
    int n = 0;
    std::size_t size = 0;
    while (size + EncodeBinaryRecord(BinaryText(n + 1)).size() <= 4096) {
        ++n;
        ASSERT_TRUE(file.Append({EncodeBinaryRecord(BinaryText(n)), {}}).written);
        size += EncodeBinaryRecord(BinaryText(n)).size();
    }
    Fill(ballast);

    int spellsStarted = 0;
    for (int i = 0; i < 5; ++i) {
        const AppendOutcome out = file.Append({EncodeBinaryRecord(BinaryText(++n)), {}});
        EXPECT_FALSE(out.written);
        EXPECT_EQ(out.error, ENOSPC);
        spellsStarted += out.spellStarted ? 1 : 0;
    }
    EXPECT_EQ(spellsStarted, 1);
    EXPECT_EQ(file.QueuedRecords(), 5u);
    EXPECT_EQ(fs::file_size(path), size);  // the part of a record that fitted was cut back

    fs::remove(ballast);
    const AppendOutcome out = file.Append({EncodeBinaryRecord(BinaryText(++n)), {}});
    EXPECT_TRUE(out.written && out.spellEnded);

    const std::string bytes = ReadFile(path);
    const BinaryDecodeResult decoded = DecodeBinaryRecords(bytes);
    EXPECT_EQ(decoded.wholeBytes, bytes.size());
    std::vector<std::string> expected;
    for (int i = 1; i <= n; ++i)
        expected.push_back(BinaryText(i));
    EXPECT_EQ(decoded.records, expected);
}

}  // namespace
