// Memory the store takes per byte of file, for the file shapes that cost the most per byte:
// many lines that are as short as lines can be.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "store/IniEx.h"
#include "tests/store/AllocationCounter.h"

namespace fs = std::filesystem;

namespace {

// Just above a power of two lines: where a table grown line by line is at its worst.
constexpr std::size_t kLines = (std::size_t{1} << 20) + 1;

std::string Repeat(std::string_view unit, std::size_t times) {
    std::string text;
    text.reserve(unit.size() * times);
    for (std::size_t i = 0; i < times; ++i) {
        text += unit;
    }
    return text;
}

TEST(IniMemoryTest, PeakMemoryPerByteOfFileStaysSmall) {
    const fs::path path =
        fs::temp_directory_path() / ("orvex-memory-" + std::to_string(::getpid()) + ".ini");
    const std::pair<const char*, std::string> shapes[] = {
        {"empty lines", Repeat("\n", kLines)},
        {"empty CR LF lines", Repeat("\r\n", kLines)},
        {"empty lines in GENERAL", "[GENERAL]\n" + Repeat("\n", kLines)},
        {"short keys", Repeat("k=v\n", kLines)},
        {"headers", Repeat("[]\n", kLines)},
        {"headers with one line", Repeat("[s]\nk\n", kLines / 2)},
        {"15-byte lines", Repeat("abcdefghijklmno\n", kLines / 4)},
    };
    for (const auto& [name, text] : shapes) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
        const std::size_t base = allocation::HeldBytes();
        allocation::ResetPeak();
        {
            CIniEx ini(4);
            ASSERT_TRUE(ini.Open(path, false, false, true)) << name;
            // What the program does next: lookups, and keys added to the sections.
            EXPECT_EQ(ini.GetText("GENERAL", "PORT_NR", "-"), "-");
            ini.SetInt("GENERAL", "PORT_NR", 7);
            ini.SetInt("", "ADDED", 1);
            EXPECT_EQ(ini.GetInt("GENERAL", "PORT_NR", 0), 7);
        }
        const double perByte =
            static_cast<double>(allocation::PeakBytes() - base) / static_cast<double>(text.size());
        EXPECT_LT(perByte, 100.0) << name;
        std::printf("%-22s %6.1f bytes of memory per byte of file\n", name, perByte);
    }
    fs::remove(path);
}

}  // namespace
