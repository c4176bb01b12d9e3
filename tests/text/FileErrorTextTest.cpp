// The reasons a file operation failed, in the words the user reads.
#include <gtest/gtest.h>

#include <cerrno>

#include "text/FileErrorText.h"

TEST(FileErrorText, QuotaIsToldWhateverThePlatformCallsIt) {
    const std::string quota = "przekroczony przydział miejsca na dysku";
    EXPECT_EQ(DescribeFileError(kErrorDiskQuota), quota);
    EXPECT_EQ(DescribeFileError(ENOSPC), "brak miejsca na dysku");
    EXPECT_EQ(DescribeFileError(0), "");
    // Error numbers the C library has no name for must not borrow the quota text.
    EXPECT_NE(DescribeFileError(ENOENT), quota);
    EXPECT_NE(DescribeFileError(kErrorInvalidName), quota);
}

TEST(FileErrorText, ReadersNameTheFileNotItsFolder) {
    EXPECT_EQ(DescribeReadError(ENOENT), "plik nie istnieje");
    EXPECT_EQ(DescribeFileError(ENOENT), "folder nie istnieje");  // a writer creates the file
    EXPECT_EQ(DescribeReadError(EACCES), "brak uprawnień do odczytu pliku");
    EXPECT_EQ(DescribeReadError(EIO), "błąd odczytu z nośnika");
    // The rest reads as for any file operation.
    EXPECT_EQ(DescribeReadError(EISDIR), DescribeFileError(EISDIR));
    EXPECT_EQ(DescribeReadError(kErrorNotRegularFile), "ścieżka nie wskazuje zwykłego pliku");
}
