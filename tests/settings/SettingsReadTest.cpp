// orvex.ini as people and older versions wrote it: defaults, code pages, damaged values.
#include <gtest/gtest.h>

#include <string>

#include "settings/IniText.h"
#include "settings/OrvexSettings.h"
#include "store/IniEx.h"

namespace {

OrvexSettings FromText(const std::string& text, SettingsNotes* notes = nullptr) {
    CIniEx ini;
    ini.LoadText(text, true);
    return ReadOrvexSettings(ini, notes);
}

bool Mentions(const SettingsNotes& notes, const std::string& part) {
    for (const std::string& note : notes) {
        if (note.find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace

TEST(SettingsReadTest, AnEmptyFileGivesTheFilesDefaults) {
    SettingsNotes notes;
    const OrvexSettings s = FromText("", &notes);
    EXPECT_TRUE(notes.empty());
    EXPECT_EQ(s.general.portNumber, 0);
    EXPECT_EQ(s.general.baudRate, 0);
    EXPECT_EQ(s.general.parity, 'E');
    EXPECT_EQ(s.general.windowRect, (WindowRect{100, 50, 700, 550}));
    EXPECT_FALSE(s.general.alwaysOnTop);
    EXPECT_TRUE(s.general.showInfoAtStart);
    EXPECT_EQ(s.log.interval, 60);
    EXPECT_EQ(s.log.separatorCode, 0);
    EXPECT_FALSE(s.log.RecordingWanted());
    EXPECT_EQ(s.log.recordInput, (std::array<int, 8>{1, 1, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(s.inputs[0].background, 0xFFE4CAu);  // RGB(202, 228, 255)
    EXPECT_EQ(s.inputs[7].text, 0x56233Bu);        // RGB(59, 35, 86)
    EXPECT_EQ(s.inputs[3].fontName, "Arial");
    EXPECT_EQ(s.inputs[3].fontHeight, 25);
    EXPECT_FALSE(s.mqtt.enabled);
    EXPECT_FALSE(s.trend.inUse);
    EXPECT_EQ(s.trend.spanSeconds, 600);
}

// A file of an older version: lower-case names, no [MQTT] or [TREND], a path in Windows-1250.
TEST(SettingsReadTest, AnOlderFileReadsAsItWasWritten) {
    const OrvexSettings s = FromText(
        "[general]\r\nport_nr=33\r\nPORT_SPEED=19200\r\nPORT_PARITY=78\r\nTOPMOST=1\r\n"
        "SHOW_ADV=0\r\nWINDOW_LEFT=-5\r\n"
        "[Log]\r\nFILE_NAME=C:\\dane\\pomiary_\xB3\xB9ka.csv\r\nFILE_LOG=1\r\nFILE_NAME_BIN=\r\n"
        "FILE_LOG_BIN=1\r\nFILE_SEP_FORMAT=2\r\nFILE_INTERVAL=90\r\nFILE_INPUT3=0\r\n"
        "FILE_INPUT4=5\r\nFILE_CHECK_COMMENT=1\r\n"
        "[INPUT2]\r\nBACKGROUND_INPUT=-1\r\nFONT_NAME_INPUT=\xA3\xF3\x64\x9F Sans\r\n"
        "FONT_ITALIC_INPUT=1\r\nFONT_WEIGHT_INPUT=700\r\nFONT_HEIGHT_INPUT=-16\r\n");
    EXPECT_EQ(s.general.portNumber, 33);
    EXPECT_EQ(s.general.baudRate, 19200);
    EXPECT_EQ(s.general.parity, 'N');
    EXPECT_TRUE(s.general.alwaysOnTop);
    EXPECT_FALSE(s.general.showInfoAtStart);
    EXPECT_EQ(s.general.windowRect.left, -5);
    EXPECT_EQ(s.log.textPath, "C:\\dane\\pomiary_łąka.csv");
    EXPECT_TRUE(s.log.TextWanted());
    EXPECT_FALSE(s.log.BinaryWanted());  // switched on without a name
    EXPECT_EQ(s.log.separatorCode, 2);
    EXPECT_EQ(s.log.interval, 90);
    EXPECT_EQ(s.log.recordInput[3], 0);
    EXPECT_EQ(s.log.recordInput[4], 5);  // kept as written: recorded, and written back so
    EXPECT_EQ(s.log.recordInput[2], 1);
    EXPECT_EQ(s.log.writeComment, 1);
    EXPECT_EQ(s.inputs[2].background, 0xFFFFFFFFu);
    EXPECT_EQ(s.inputs[2].fontName, "Łódź Sans");
    EXPECT_EQ(s.inputs[2].italic, 1);
    EXPECT_EQ(s.inputs[2].weight, 700);
    EXPECT_EQ(s.inputs[2].fontHeight, -16);
    EXPECT_EQ(s.inputs[1], InputLook::Default(1));
}

TEST(SettingsReadTest, TextsComeInTheCodePageOrAsMarkedUtf8) {
    // Windows-1250 as the window writes a text it can hold: "ł" is 0xB3.
    EXPECT_EQ(DecodeIniText("/dane/pomiary_\xB3\xB9ka.csv"), "/dane/pomiary_łąka.csv");
    // UTF-8 behind a byte-order mark for one it cannot.
    EXPECT_EQ(DecodeIniText("\xEF\xBB\xBF/dane/日本.csv"), "/dane/日本.csv");
    // A mark before broken UTF-8 is read as the code page, not dropped.
    EXPECT_EQ(DecodeIniText("\xEF\xBB\xBF\xB3"), "ď»żł");

    // A ";" in a path is kept when protected, and ends the value when not.
    const OrvexSettings s =
        FromText("[LOG]\r\nFILE_NAME=/dane/a;b.csv;\r\nFILE_NAME_BIN=/dane/c.qdx ; komentarz\r\n");
    EXPECT_EQ(s.log.textPath, "/dane/a;b.csv");
    EXPECT_EQ(s.log.binaryPath, "/dane/c.qdx ");
}

// A port number the program cannot map counts as none, and the reader says why.
TEST(SettingsReadTest, APortNumberBeyondTheMapIsRefusedWithANote) {
    for (const char* port : {"-3", "257", "99999999999"}) {
        SettingsNotes notes;
        const OrvexSettings s =
            FromText(std::string("[GENERAL]\r\nPORT_NR=") + port + "\r\n", &notes);
        EXPECT_EQ(s.general.portNumber, 0) << port;
        EXPECT_TRUE(Mentions(notes, std::string("PORT_NR=") + port + " in [GENERAL]")) << port;
    }
    SettingsNotes notes;
    EXPECT_EQ(FromText("[GENERAL]\r\nPORT_NR=256\r\n", &notes).general.portNumber, 256);
    EXPECT_EQ(FromText("[GENERAL]\r\nPORT_NR=0\r\n", &notes).general.portNumber, 0);
    EXPECT_TRUE(notes.empty());
}

// Values the recording cannot use as written stay in the file unchanged; each gets a note
// saying what the recording does instead.
TEST(SettingsReadTest, RecordingValuesOutOfRangeAreKeptAndNoted) {
    SettingsNotes notes;
    const OrvexSettings s = FromText("[LOG]\r\nFILE_SEP_FORMAT=7\r\nFILE_INTERVAL=0\r\n", &notes);
    EXPECT_EQ(s.log.separatorCode, 7);
    EXPECT_EQ(s.log.interval, 0);
    EXPECT_EQ(s.log.EffectiveInterval(), 1);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_TRUE(Mentions(notes, "FILE_SEP_FORMAT=7 in [LOG]"));
    EXPECT_TRUE(Mentions(notes, "with tabs"));
    EXPECT_TRUE(Mentions(notes, "FILE_INTERVAL=0 in [LOG]"));
    EXPECT_TRUE(Mentions(notes, "a record every 1 s"));

    notes.clear();
    EXPECT_EQ(FromText("[LOG]\r\nFILE_INTERVAL=86400\r\n", &notes).log.EffectiveInterval(), 86399);
    EXPECT_TRUE(Mentions(notes, "a record every 86399 s"));
    notes.clear();
    EXPECT_EQ(FromText("[LOG]\r\nFILE_INTERVAL=86399\r\nFILE_SEP_FORMAT=1\r\n", &notes)
                  .log.EffectiveInterval(),
              86399);
    EXPECT_TRUE(notes.empty());
}

TEST(SettingsReadTest, TheTrendSectionHoldsItsLimits) {
    SettingsNotes notes;
    const OrvexSettings s = FromText(
        "[TREND]\r\nWINDOW_LEFT=10\r\nWINDOW_TOP=20\r\nWINDOW_WIDTH=100\r\nWINDOW_HEIGHT=400\r\n"
        "SPAN=5\r\nHIDDEN_COUNT=3\r\nHIDDEN0=t1\r\nHIDDEN1=\r\nHIDDEN2=\xB3\r\n",
        &notes);
    EXPECT_TRUE(s.trend.inUse);
    EXPECT_EQ(s.trend.width, 0);  // too narrow for a window: placed by the system
    EXPECT_EQ(s.trend.left, 0);
    EXPECT_EQ(s.trend.spanSeconds, 60);
    EXPECT_TRUE(Mentions(notes, "SPAN=5 in [TREND]"));
    EXPECT_EQ(s.trend.hiddenChannels, (std::vector<std::string>{"t1", "ł"}));

    const OrvexSettings framed = FromText(
        "[TREND]\r\nWINDOW_LEFT=10\r\nWINDOW_TOP=20\r\nWINDOW_WIDTH=800\r\nWINDOW_HEIGHT=400\r\n"
        "HIDDEN_COUNT=99999\r\n");
    EXPECT_FALSE(framed.trend.inUse);  // no span: the window was never used
    EXPECT_EQ(framed.trend.left, 10);
    EXPECT_EQ(framed.trend.height, 400);
    EXPECT_TRUE(framed.trend.hiddenChannels.empty());
}

// The recorder of a build without publishing knows only the switch of [MQTT].
TEST(SettingsReadTest, TheMqttSwitchIsReadInEveryBuild) {
    EXPECT_TRUE(FromText("[mqtt]\r\nENABLED=1\r\nHOST=broker\r\n").mqtt.enabled);
    EXPECT_FALSE(FromText("[MQTT]\r\nENABLED=0\r\n").mqtt.enabled);
}
