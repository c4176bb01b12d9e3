// Reading recordings on POSIX systems: a named pipe is refused before it can block.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/recording/RecordingTestFiles.h"
#include "trend/RecordingReader.h"

namespace {

TEST(HostileFiles, PipeIsRefusedWithoutWaiting) {
    TempFolder dir;
    ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0600), 0);
    const RecordingRead r = ReadRecordingFile(dir.File("fifo"));
    EXPECT_FALSE(r.store);
    EXPECT_NE(r.error.find("zwykłego pliku"), std::string::npos);
}

}  // namespace
