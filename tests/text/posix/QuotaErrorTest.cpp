#include <gtest/gtest.h>

#include <cerrno>

#include "text/FileErrorText.h"

TEST(FileErrorText, PosixQuotaNumberIsTheQuota) {
    EXPECT_EQ(DescribeFileError(EDQUOT), DescribeFileError(kErrorDiskQuota));
}
