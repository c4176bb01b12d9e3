// Reading recordings on Windows: devices refused before they are opened, a recording read while
// the recording program holds it open, names outside the ANSI code page.
#include <gtest/gtest.h>
#include <windows.h>

#include "os/PathText.h"
#include "recording/RecordingFile.h"
#include "tests/recording/RecordingTestFiles.h"
#include "tests/support/win32/LongFolder.h"
#include "tests/trend/TrendFiles.h"
#include "trend/RecordingReader.h"

namespace fs = std::filesystem;

namespace {

TEST(HostileFilesWindows, DevicesAreRefusedWithoutOpening) {
    TempFolder dir;
    for (const std::string& path : {dir.File("NUL"), dir.File("com1.qdx"), dir.File("CON"),
                                    std::string("\\\\.\\COM1"), std::string("\\\\.\\pipe\\x")}) {
        const RecordingRead r = ReadRecordingFile(path);
        EXPECT_FALSE(r.store) << path;
        EXPECT_NE(r.error.find("zwykłego pliku"), std::string::npos) << path << ": " << r.error;
    }
}

// A recording in a folder whose path is longer than MAX_PATH is read like any other.
TEST(QdxReaderWindows, ReadsBeyondMaxPath) {
    TempFolder dir;
    const LongFolder deep(dir.Path());
    ASSERT_FALSE(deep.Path().empty());
    const std::string path = Utf8FromPath(deep.Path() / "wykres.qdx");
    ASSERT_GT(path.size(), static_cast<std::size_t>(MAX_PATH));
    {
        CRecordingFile recording(RecordingFileKind::Binary);
        ASSERT_EQ(recording.Open(path).error, 0);
        for (int s = 0; s < 2; ++s) {
            Readings r{};
            r[0] = Tq21(77, static_cast<int16_t>(600 + s), 200);
            ASSERT_TRUE(recording.Append({BuildBinaryRecord(r, TimeAt(s)), {}}).written);
        }
    }
    const RecordingRead read = ReadRecordingFile(path);
    ASSERT_TRUE(read.store) << read.error;
    EXPECT_EQ(read.summary.records, 2u);
}

// The trend window opens the file the recording is writing into, under a Unicode name.
TEST(QdxReaderWindows, ReadsWhileTheRecordingWrites) {
    TempFolder dir;
    const std::string path = Utf8FromPath(dir.Path() / L"wykres \x0142\x00F3\x0064\x017A.qdx");
    CRecordingFile recording(RecordingFileKind::Binary);
    ASSERT_EQ(recording.Open(path).error, 0);
    for (int s = 0; s < 3; ++s) {
        Readings r{};
        r[0] = Tq21(77, static_cast<int16_t>(500 + s), 200);
        ASSERT_TRUE(recording.Append({BuildBinaryRecord(r, TimeAt(s)), {}}).written);
    }
    const RecordingRead read = ReadRecordingFile(path);
    ASSERT_TRUE(read.store) << read.error;
    EXPECT_EQ(read.summary.format, RecordingFormat::Qdx);
    EXPECT_EQ(read.summary.records, 3u);
    // The recording goes on undisturbed.
    Readings r{};
    r[0] = Tq21(77, 510, 200);
    EXPECT_TRUE(recording.Append({BuildBinaryRecord(r, TimeAt(3)), {}}).written);
}

}  // namespace
