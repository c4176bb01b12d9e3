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
