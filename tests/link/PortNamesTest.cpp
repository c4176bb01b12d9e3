#include <gtest/gtest.h>

#include "link/ComPortMap.h"

// The Linux device families are plain text rules, the same on every platform.
TEST(ComPortMap, BuiltInRuleBothWays) {
    struct Case {
        const char* name;
        int number;
    } cases[] = {{"ttyS0", 1},    {"ttyS31", 32},  {"ttyUSB0", 33}, {"ttyUSB31", 64},
                 {"ttyACM0", 65}, {"ttyACM5", 70}, {"ttyAMA0", 97}, {"ttyAMA31", 128}};
    for (const Case& c : cases) {
        EXPECT_EQ(comport::NumberForDeviceName(c.name), c.number) << c.name;
        EXPECT_EQ(comport::DeviceNameForNumber(c.number), c.name) << c.number;
    }
}

TEST(ComPortMap, NamesOutsideTheRule) {
    for (const char* name :
         {"ttyS32", "ttyUSB", "ttyUSB01", "ttyUSB1x", "tty0", "ttyXYZ3", "ttyS-1", "pts/3", ""}) {
        EXPECT_EQ(comport::NumberForDeviceName(name), 0) << name;
    }
    for (int n : {0, -1, 129, 256, 257})
        EXPECT_EQ(comport::DeviceNameForNumber(n), "") << n;
}
