#include <gtest/gtest.h>

#include <filesystem>

#include "link/ComPortMap.h"

// Windows names COM n itself; the device namespace form reaches numbers above 9 too.
TEST(ComPortPath, ComNumberIsTheDeviceNamespaceName) {
    EXPECT_EQ(comport::ResolvePath(1, "").wstring(), L"\\\\.\\COM1");
    EXPECT_EQ(comport::ResolvePath(10, "C:\\orvex\\ports").wstring(), L"\\\\.\\COM10");
    EXPECT_EQ(comport::ResolvePath(256, "").wstring(), L"\\\\.\\COM256");
    for (int n : {0, -1, 257})
        EXPECT_TRUE(comport::ResolvePath(n, "").empty()) << n;
}
