#include "link/ComPortMap.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

namespace fs = std::filesystem;

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
