// Settings written into orvex.ini: the text as older versions wrote it, and read back whole.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/IniText.h"
#include "settings/OrvexSettings.h"
#include "store/IniEx.h"

namespace {

std::vector<std::string> SectionNames(const CIniEx& ini) {
    std::vector<std::string> names;
    for (const IniSection& section : ini.Sections()) {
        if (!section.name.empty()) {
            names.push_back(section.name);
        }
    }
    return names;
}

OrvexSettings Unusual() {
    OrvexSettings s;
    s.general = GeneralSettings{7, 19200, 'N', WindowRect{120, 80, 620, 480}, true, false};
    for (int n = 0; n < 8; ++n) {
        s.inputs[n] = InputLook{0x102030u + n, 0xA0B0C0u + n, -(14 + n), "Face", 1, 100 * n};
    }
    s.inputs[3].fontName = "Łódź;Sans";
    s.inputs[5].fontName = "日本";
    s.log.textOn = true;
    s.log.textPath = "/dane/zapis;1.csv";
    s.log.binaryPath = "/dane/zapis.qdx";
    s.log.separatorCode = 2;
    s.log.interval = 90;
    s.log.recordInput = {0, 1, 0, 1, 0, 1, 0, 5};
    s.log.writeComment = 1;
    s.trend.inUse = true;
    s.trend.left = 5;
    s.trend.width = 900;
    s.trend.height = 500;
    s.trend.spanSeconds = 3600;
    s.trend.hiddenChannels = {"in2", "łąka"};
    return s;
}

}  // namespace

TEST(SettingsWriteTest, GeneralAndLogAreWrittenAsOlderVersionsWroteThem) {
    CIniEx ini;
    ini.LoadText("", true);
    const OrvexSettings s = Unusual();
    WriteGeneralSettings(ini, s.general);
    WriteLogSettings(ini, s.log);
    EXPECT_EQ(ini.ToText(),
              "[GENERAL]\r\nPORT_NR=7\r\nPORT_SPEED=19200\r\nPORT_PARITY=78\r\nWINDOW_TOP=80\r\n"
              "WINDOW_BOTTOM=480\r\nWINDOW_LEFT=120\r\nWINDOW_RIGHT=620\r\nTOPMOST=1\r\n"
              "SHOW_ADV=0\r\n"
              "[LOG]\r\nFILE_INPUT0=0\r\nFILE_INPUT1=1\r\nFILE_INPUT2=0\r\nFILE_INPUT3=1\r\n"
              "FILE_INPUT4=0\r\nFILE_INPUT5=1\r\nFILE_INPUT6=0\r\nFILE_INPUT7=5\r\n"
              "FILE_NAME=/dane/zapis;1.csv;\r\nFILE_NAME_BIN=/dane/zapis.qdx\r\nFILE_LOG=1\r\n"
              "FILE_LOG_BIN=0\r\nFILE_SEP_FORMAT=2\r\nFILE_INTERVAL=90\r\n"
              "FILE_CHECK_COMMENT=1\r\n");
}

TEST(SettingsWriteTest, AnInputsLookIsWrittenInTheCodePageOrAsMarkedUtf8) {
    CIniEx ini;
    ini.LoadText("", true);
    const OrvexSettings s = Unusual();
    WriteInputLook(ini, 3, s.inputs[3]);
    WriteInputLook(ini, 5, s.inputs[5]);
    EXPECT_EQ(ini.ToText(),
              "[INPUT3]\r\nBACKGROUND_INPUT=1056819\r\nTEXT_INPUT=10531011\r\n"
              "FONT_HEIGHT_INPUT=-17\r\nFONT_NAME_INPUT=\xA3\xF3\x64\x9F;Sans;\r\n"
              "FONT_ITALIC_INPUT=1\r\nFONT_WEIGHT_INPUT=300\r\n"
              "[INPUT5]\r\nBACKGROUND_INPUT=1056821\r\nTEXT_INPUT=10531013\r\n"
              "FONT_HEIGHT_INPUT=-19\r\nFONT_NAME_INPUT=\xEF\xBB\xBF日本\r\n"
              "FONT_ITALIC_INPUT=1\r\nFONT_WEIGHT_INPUT=500\r\n");
}

// A first write lays the sections out as older versions did; everything reads back as written.
TEST(SettingsWriteTest, EverySectionReadsBackAsWritten) {
    CIniEx ini;
    ini.LoadText("", true);
    const OrvexSettings s = Unusual();
    WriteOrvexSettings(ini, s);
    std::vector<std::string> expected{"INPUT0", "LOG"};
    for (int n = 1; n < 8; ++n) {
        expected.push_back("INPUT" + std::to_string(n));
    }
    expected.push_back("GENERAL");
    expected.push_back("TREND");
    EXPECT_EQ(SectionNames(ini), expected);

    CIniEx again;
    again.LoadText(ini.ToText(), true);
    EXPECT_EQ(ReadOrvexSettings(again).general, s.general);
    EXPECT_EQ(ReadOrvexSettings(again).log, s.log);
    EXPECT_EQ(ReadOrvexSettings(again).inputs, s.inputs);
    EXPECT_EQ(ReadOrvexSettings(again).trend, s.trend);
}

// A program that never published nor opened the trend window writes the file older versions
// wrote.
TEST(SettingsWriteTest, OptionalSectionsAppearOnlyWhenTheyApply) {
    CIniEx ini;
    ini.LoadText("", true);
    WriteOrvexSettings(ini, OrvexSettings{});
    const std::vector<std::string> names = SectionNames(ini);
    EXPECT_EQ(names.size(), 10u);
    EXPECT_EQ(names.back(), "GENERAL");
}

TEST(SettingsWriteTest, ATextTheCodePageCannotHoldSurvivesTheRoundTrip) {
    for (const std::string text : {"zwykły", "日本",
                                   "\xEF\xBB\xBF"
                                   "x",
                                   ""}) {
        EXPECT_EQ(DecodeIniText(EncodeIniText(text)), text) << text;
    }
    EXPECT_EQ(EncodeIniText("łąka"), "\xB3\xB9ka");
}
