#include "link/ComPortMap.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

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

TEST(ComPortMap, LinkInPortsFolderWinsOverBuiltInRule) {
    fs::path dir = fs::temp_directory_path() / ("orvex-portmap-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "ports");
    fs::create_symlink("/dev/null", dir / "ports" / "com33");
    // A link that points nowhere still names the port: opening it reports the failure.
    fs::create_symlink(dir / "missing", dir / "ports" / "com200");

    EXPECT_EQ(comport::ResolvePath(33, dir / "ports"), dir / "ports" / "com33");
    EXPECT_EQ(comport::ResolvePath(200, dir / "ports"), dir / "ports" / "com200");
    EXPECT_EQ(comport::ResolvePath(34, dir / "ports"), fs::path("/dev/ttyUSB1"));
    EXPECT_EQ(comport::ResolvePath(1, "", "/fake/dev"), fs::path("/fake/dev/ttyS0"));
    EXPECT_EQ(comport::ResolvePath(150, dir / "ports"), fs::path());
    EXPECT_EQ(comport::ResolvePath(0, dir / "ports"), fs::path());
    EXPECT_EQ(comport::ResolvePath(257, dir / "ports"), fs::path());
    fs::remove_all(dir);
}
