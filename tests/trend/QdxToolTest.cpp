#include <gtest/gtest.h>

#include <filesystem>

#include "tests/recording/RecordingTestFiles.h"
#include "tests/trend/RunTool.h"
#include "tests/trend/TrendFiles.h"

namespace {

ToolRun Tool(const std::string& args) {
    return RunQdxTool(args);
}

// The worked example: TQ21 1234 with humidity raw 523 and temperature raw 215.
std::string WorkedExample() {
    Readings r{};
    r[2] = Tq21(1234, 523, 215);
    return BuildBinaryRecord(r, {2024, 3, 7, 14, 5, 9});
}

TEST(OrvexQdx, CsvOfTheWorkedExample) {
    TempFolder dir;
    WriteFile(dir.File("w.qdx"), WorkedExample());
    const ToolRun r = Tool("--csv " + dir.File("w.qdx"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "time,input,type,quantity,identifier,channel,value,valid\n"
              "2024-03-07 14:05:09,,21,26,1234,0,52.3,1\n"
              "2024-03-07 14:05:09,,21,25,1234,1,21.5,1\n");
}

TEST(OrvexQdx, DamagedFileIsSummarisedAndConvertedAroundTheDamage) {
    TempFolder dir;
    std::string bytes;
    std::size_t one = 0;  // the first records' length
    for (int s = 0; s < 6; ++s) {
        Readings r{};
        r[0] = Tq21(7, static_cast<int16_t>(500 + s), 200);
        r[4].isBinary = 1;
        bytes += BuildBinaryRecord(r, TimeAt(s));
        one = bytes.size() / (s + 1);
    }
    for (int s = 300; s < 302; ++s) {  // after a silence of almost five minutes
        Readings r{};
        r[0] = Tq21(7, 600, -35);
        bytes += BuildBinaryRecord(r, TimeAt(s));
    }
    bytes[one * 2 + 3] ^= 0x20;         // one record damaged
    bytes += bytes.substr(0, one / 2);  // and a torn tail
    WriteFile(dir.File("d.qdx"), bytes);

    const ToolRun summary = Tool(dir.File("d.qdx"));
    EXPECT_EQ(summary.status, 0) << summary.out;
    EXPECT_NE(summary.out.find("Rekordy: 7\n"), std::string::npos) << summary.out;
    EXPECT_NE(summary.out.find("Przerwy: 1\n"), std::string::npos) << summary.out;
    EXPECT_NE(summary.out.find("Uszkodzone rekordy: 2 (w tym urwany koniec pliku)"),
              std::string::npos)
        << summary.out;
    EXPECT_NE(summary.out.find("Od: 2024.03.07 14:00:00"), std::string::npos) << summary.out;
    EXPECT_NE(summary.out.find("Do: 2024.03.07 14:05:01"), std::string::npos) << summary.out;

    const ToolRun csv = Tool("--csv " + dir.File("d.qdx"));
    EXPECT_EQ(csv.status, 0);
    EXPECT_EQ(csv.out.find("14:00:02"), std::string::npos);  // the damaged record
    EXPECT_NE(csv.out.find("2024-03-07 14:00:03,5,107,57,5,0,0.0,1\n"), std::string::npos);
    EXPECT_NE(csv.out.find("2024-03-07 14:05:01,,21,25,7,1,-3.5,1\n"), std::string::npos);
    EXPECT_NE(csv.out.find("pominięto uszkodzone rekordy: 2"), std::string::npos);
}

// The recording's golden file gives the same CSV bytes (LF line ends) wherever the tool runs.
TEST(OrvexQdx, CsvIsTheSameOnEveryPlatform) {
    const std::filesystem::path golden = ORVEX_GOLDEN_DIR;
    const ToolRun r = Tool("--csv " + (golden / "wykres.qdx").string());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, ReadFile(golden / "wykres-csv.txt"));
    EXPECT_FALSE(r.out.empty());
}

TEST(OrvexQdx, RefusesWhatIsNotAQdxFile) {
    TempFolder dir;
    WriteFile(dir.File("t.txt"), "Data i Godzina\t\r\n2024.03.07 14:05:09\t\r\n");
    EXPECT_EQ(Tool(dir.File("t.txt")).status, 1);
    EXPECT_EQ(Tool("--csv " + dir.File("t.txt")).status, 1);
    EXPECT_EQ(Tool(dir.File("missing.qdx")).status, 1);
    EXPECT_EQ(Tool("").status, 2);
    const ToolRun help = Tool("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--csv"), std::string::npos);
}

}  // namespace
