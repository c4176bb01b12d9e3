// [MQTT] in a build that publishes: written between [GENERAL] and [TREND], and read back.
#include <gtest/gtest.h>

#include <string>

#include "settings/OrvexSettings.h"
#include "store/IniEx.h"

TEST(MqttSectionTest, PublishingIsWrittenWhereOlderFilesHaveItAndReadsBack) {
    CIniEx ini;
    ini.LoadText("", true);
    OrvexSettings s;
    s.mqtt.enabled = true;
    s.mqtt.host = "broker.lan";
    s.trend.spanSeconds = 3600;
    WriteOrvexSettings(ini, s);
    const std::string text = ini.ToText();
    const auto general = text.find("[GENERAL]\r\n");
    const auto mqtt = text.find("[MQTT]\r\n");
    const auto trend = text.find("[TREND]\r\n");
    ASSERT_NE(mqtt, std::string::npos) << text;
    EXPECT_LT(general, mqtt);
    EXPECT_LT(mqtt, trend);
    EXPECT_NE(text.find("ENABLED=1\r\n", mqtt), std::string::npos) << text;

    CIniEx again;
    again.LoadText(text, true);
    EXPECT_TRUE(ReadOrvexSettings(again).mqtt.enabled);
    EXPECT_EQ(ReadOrvexSettings(again).mqtt.host, "broker.lan");
}
