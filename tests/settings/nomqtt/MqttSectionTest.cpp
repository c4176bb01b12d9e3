// [MQTT] in a build that cannot publish: the switch is read (to refuse it with a message), and
// a write leaves the section as the file had it, since this build knows none of its other keys.
#include <gtest/gtest.h>

#include <string>

#include "settings/OrvexSettings.h"
#include "store/IniEx.h"

TEST(MqttSectionTest, TheSwitchIsReadAndTheSectionKeptAsItWas) {
    const std::string section = "[MQTT]\r\nENABLED=1\r\nHOST=broker.lan\r\nPORT=8883\r\nTLS=1\r\n";
    CIniEx ini;
    ini.LoadText("[GENERAL]\r\nPORT_NR=3\r\n" + section, true);
    OrvexSettings s = ReadOrvexSettings(ini);
    EXPECT_TRUE(s.mqtt.enabled);
    s.mqtt.enabled = false;
    WriteOrvexSettings(ini, s);
    EXPECT_NE(ini.ToText().find(section), std::string::npos) << ini.ToText();

    CIniEx fresh;
    fresh.LoadText("", true);
    WriteOrvexSettings(fresh, OrvexSettings{});
    EXPECT_EQ(fresh.ToText().find("[MQTT]"), std::string::npos);
}
