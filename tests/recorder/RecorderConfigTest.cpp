// The recorder's reading of orvex.ini: the window's keys, defaults and limits.
#include <gtest/gtest.h>

#include "recorder/RecorderConfig.h"
#include "recorder/RecorderPublisher.h"
#include "settings/IniText.h"
#include "store/IniEx.h"
#include "tests/store/IniFolderTest.h"

namespace {

RecorderConfig FromText(const std::string& text) {
    CIniEx ini;
    ini.LoadText(text, true);
    return ReadRecorderConfig(ini);
}

}  // namespace

TEST(RecorderConfigTest, ReadsTheWindowsKeysWithItsDefaultsAndLimits) {
    const RecorderConfig empty = FromText("");
    EXPECT_EQ(empty.general.portNumber, 0);
    EXPECT_EQ(empty.general.parity, 'E');
    EXPECT_EQ(empty.log.interval, 60);
    EXPECT_FALSE(empty.log.TextWanted());
    EXPECT_FALSE(empty.log.BinaryWanted());
    EXPECT_EQ(empty.log.recordInput, (std::array<int, 8>{1, 1, 1, 1, 1, 1, 1, 1}));

    const RecorderConfig set = FromText(
        "[general]\r\nport_nr=33\r\nPORT_SPEED=19200\r\nPORT_PARITY=78\r\n"
        "[LOG]\r\nFILE_NAME=/var/lib/orvex/a.csv\r\nFILE_LOG=1\r\nFILE_NAME_BIN=\r\n"
        "FILE_LOG_BIN=1\r\nFILE_SEP_FORMAT=2\r\nFILE_INTERVAL=0\r\nFILE_INPUT3=0\r\n");
    EXPECT_EQ(set.general.portNumber, 33);
    EXPECT_EQ(set.general.baudRate, 19200);
    EXPECT_EQ(set.general.parity, 'N');
    EXPECT_EQ(set.log.separatorCode, 2);
    EXPECT_EQ(set.Interval(), 1);  // as the window: at least a second
    EXPECT_TRUE(set.log.TextWanted());
    EXPECT_FALSE(set.log.BinaryWanted());  // switched on without a name
    EXPECT_EQ(set.log.recordInput[3], 0);
    EXPECT_NE(set.log.recordInput[2], 0);

    // A port number the program cannot map counts as none, so the recorder refuses it.
    for (const char* port : {"0", "-3", "257", "99999999999", "x"}) {
        const RecorderConfig config = FromText(std::string("[GENERAL]\r\nPORT_NR=") + port +
                                               "\r\n[LOG]\r\nFILE_LOG=1\r\n"
                                               "FILE_NAME=/tmp/a.csv\r\n");
        EXPECT_EQ(config.general.portNumber, 0) << port;
        EXPECT_NE(ConfigProblem(config).find("no serial port"), std::string::npos) << port;
    }
    // The refusal of a number that is there is told, not passed over.
    const RecorderConfig beyond =
        FromText("[GENERAL]\r\nPORT_NR=257\r\n[LOG]\r\nFILE_INTERVAL=0\r\n");
    EXPECT_EQ(beyond.notes.size(), 2u);
    EXPECT_TRUE(FromText("[GENERAL]\r\nPORT_NR=7\r\n").notes.empty());
    EXPECT_NE(ConfigProblem(FromText("[GENERAL]\r\nPORT_NR=7\r\n")).find("no recording file"),
              std::string::npos);
    EXPECT_EQ(ConfigProblem(set), "");
}

// The text decoding itself is the settings unit's (its tests); here only that the recorder's
// paths go through it, ";" protection included.
TEST(RecorderConfigTest, PathsComeThroughTheSettingsTextRules) {
    const RecorderConfig config = FromText(
        "[LOG]\r\nFILE_NAME=/dane/pomiary_\xB3\xB9ka;b.csv;\r\nFILE_NAME_BIN=/dane/c.qdx ; "
        "komentarz\r\n");
    EXPECT_EQ(config.log.textPath, "/dane/pomiary_łąka;b.csv");
    EXPECT_EQ(config.log.binaryPath, "/dane/c.qdx ");
}

class RecorderConfigFileTest : public IniFolderTest {};

TEST_F(RecorderConfigFileTest, SaysWhyASettingsFileCannotBeUsed) {
    RecorderConfig config;
    EXPECT_NE(LoadRecorderConfig(dir_, config).find("does not exist"), std::string::npos);
    std::filesystem::create_directory(path_);
    EXPECT_NE(LoadRecorderConfig(dir_, config).find("not a regular file"), std::string::npos);
    std::filesystem::remove(path_);
    WriteFile(path_, "[GENERAL]\r\nPORT_NR=5\r\n");
    EXPECT_EQ(LoadRecorderConfig(dir_, config), "");
    EXPECT_EQ(config.general.portNumber, 5);
}

TEST(RecorderConfigTest, TheShippedExampleIsARecordingStation) {
    RecorderConfig config;
    ASSERT_EQ(LoadRecorderConfig(ORVEX_EXAMPLE_SETTINGS, config), "");
    EXPECT_EQ(ConfigProblem(config), "");
    EXPECT_EQ(config.general.portNumber, 33);
    EXPECT_EQ(config.general.parity, 'E');
    EXPECT_EQ(config.log.textPath, "/var/lib/orvex/pomiary.csv");
    EXPECT_EQ(config.log.binaryPath, "/var/lib/orvex/pomiary.qdx");
    EXPECT_EQ(config.log.separatorCode, 2);
    EXPECT_EQ(config.Interval(), 60);
}

TEST(RecorderConfigTest, PublishingAloneIsATaskOnlyWhereTheBuildCanPublish) {
    const RecorderConfig config = FromText("[GENERAL]\r\nPORT_NR=7\r\n[MQTT]\r\nENABLED=1\r\n");
    EXPECT_TRUE(config.mqtt.enabled);
    if (CRecorderPublisher::Available()) {
        EXPECT_EQ(ConfigProblem(config), "");
    } else {
        EXPECT_NE(ConfigProblem(config).find("this build cannot publish"), std::string::npos);
    }
}

TEST(RecorderConfigTest, TheWindowsExampleIsARecordingStation) {
    RecorderConfig config;
    ASSERT_EQ(LoadRecorderConfig(ORVEX_WINDOWS_EXAMPLE_SETTINGS, config), "");
    EXPECT_EQ(ConfigProblem(config), "");
    EXPECT_EQ(config.general.portNumber, 3);
    EXPECT_EQ(config.log.textPath, "C:\\orvex\\pomiary.csv");
    EXPECT_EQ(config.log.binaryPath, "C:\\orvex\\pomiary.qdx");
    EXPECT_EQ(config.Interval(), 60);
}
