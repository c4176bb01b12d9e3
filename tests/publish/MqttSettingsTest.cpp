#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "store/IniEx.h"
#include "publish/MqttSettings.h"

namespace {

namespace fs = std::filesystem;

TEST(MqttSettings, AFileWithoutTheSectionReadsAsDefaults) {
    CIniEx ini;
    ini.LoadText("[GENERAL]\r\nPORT_NR=3\r\n", true);
    const MqttSettings s = ReadMqttSettings(ini);
    EXPECT_EQ(s, MqttSettings{});
    EXPECT_FALSE(s.enabled);
    EXPECT_EQ(s.EffectivePort(), 1883);
    EXPECT_EQ(s.topicPrefix, "orvex");
    EXPECT_EQ(s.qos, 1);
    MqttSettings tls;
    tls.tls = true;
    EXPECT_EQ(tls.EffectivePort(), 8883);
}

TEST(MqttSettings, RoundTripKeepsEveryKeyAndOtherSections) {
    MqttSettings s;
    s.enabled = true;
    s.host = "broker.example";
    s.port = 1999;
    s.tls = true;
    s.caFile = "/etc/ca;1.pem";  // ";" would start a comment
    s.certFile = "/home/zażółć/cert.pem";
    s.keyFile = "/k.pem";
    s.username = "hala";
    s.passwordFile = "/p";
    s.clientId = "orvex-hala-1";
    s.topicPrefix = "zaklad/hala1";
    s.qos = 0;
    s.keepalive = 30;
    s.discovery = false;
    s.discoveryPrefix = "ha";
    s.inputs = "10000001";
    CIniEx ini;
    ini.LoadText("[GENERAL]\r\nPORT_NR=3\r\n", true);
    WriteMqttSettings(ini, s);
    CIniEx again;
    again.LoadText(ini.ToText(), true);
    EXPECT_EQ(ReadMqttSettings(again), s);
    EXPECT_EQ(again.GetInt("GENERAL", "PORT_NR", 0), 3);
    EXPECT_EQ(ini.ToText().find("PASSWORD="), std::string::npos);
}

TEST(MqttSettings, DamagedValuesFallBackToDefaults) {
    CIniEx ini;
    ini.LoadText(
        "[MQTT]\r\nENABLED=1\r\nHOST=\r\nPORT=70000\r\nQOS=2\r\nKEEPALIVE=0\r\n"
        "TOPIC_PREFIX=a/#\r\n",
        true);
    const MqttSettings s = ReadMqttSettings(ini);
    EXPECT_TRUE(s.enabled);
    EXPECT_EQ(s.host, "localhost");
    EXPECT_EQ(s.port, 0);
    EXPECT_EQ(s.qos, 1);
    EXPECT_EQ(s.keepalive, 60);
    // Kept as written, so that it is refused rather than published somewhere else.
    EXPECT_EQ(s.topicPrefix, "a/#");
    EXPECT_EQ(MqttSettingsProblem(s),
              "[MQTT] TOPIC_PREFIX: prefiks tematów zawiera znak wieloznaczny „+” lub „#”");
}

TEST(MqttSettings, UnusablePrefixesAndClientIdsAreNamedWithTheirReason) {
    for (const auto& [prefix, reason] : std::initializer_list<std::pair<std::string, const char*>>{
             {"", "pusty"},
             {"zaklad/site1/", "kończyć się na „/”"},
             {"/zaklad", "zaczynać się od „/”"},
             {"a+b", "wieloznaczny"},
             {"a/#", "wieloznaczny"},
             {"$SYS/x", "„$”"},
             {std::string(1000, 'a'), "dłuższy niż 200"},
             {"a\tb", "sterujący"},
             {"hala\xff", "UTF-8"},
             {"hala\xc3", "UTF-8"},
             {"hala\xc0\xaf", "UTF-8"}}) {
        EXPECT_NE(TopicPrefixProblem(prefix).find(reason), std::string::npos)
            << prefix << ": " << TopicPrefixProblem(prefix);
        EXPECT_FALSE(IsValidTopicPrefix(prefix));
    }
    for (const char* good : {"orvex", "zakład/hala 1", "a/b/c", "x$"}) {
        EXPECT_EQ(TopicPrefixProblem(good), "") << good;
    }
    MqttSettings s;
    EXPECT_EQ(MqttSettingsProblem(s), "");
    s.clientId = std::string(257, 'x');
    EXPECT_NE(MqttSettingsProblem(s).find("[MQTT] CLIENT_ID: "), std::string::npos);
    s.clientId = std::string(256, 'x');
    EXPECT_EQ(MqttSettingsProblem(s), "");
    s.clientId = "a\nb";
    EXPECT_NE(MqttSettingsProblem(s).find("sterujący"), std::string::npos);
    s.clientId.clear();
    s.discoveryPrefix = "ha/";
    EXPECT_NE(MqttSettingsProblem(s).find("[MQTT] DISCOVERY_PREFIX: "), std::string::npos);
    s.discoveryPrefix = "ha";
    for (const char* inputs : {"1111111", "111111112", "11110000 "}) {
        s.inputs = inputs;
        EXPECT_NE(MqttSettingsProblem(s).find("[MQTT] INPUTS: "), std::string::npos) << inputs;
    }
    s.inputs = "01000000";
    EXPECT_EQ(MqttSettingsProblem(s), "");
    EXPECT_FALSE(s.Publishes(1));
    EXPECT_TRUE(s.Publishes(2));
    EXPECT_FALSE(s.Publishes(9));
}

TEST(MqttSettings, ClientIdDiffersBetweenSettingsFolders) {
    const std::string a = DefaultClientId("/home/a/.config/orvex");
    EXPECT_EQ(a, DefaultClientId("/home/a/.config/orvex"));
    EXPECT_NE(a, DefaultClientId("/srv/orvex/hala2"));
    EXPECT_EQ(a.rfind("orvex-", 0), 0u);
    MqttSettings s;
    s.clientId = "mine";
    EXPECT_EQ(EffectiveClientId(s, "/x"), "mine");
}

TEST(MqttSettings, PasswordFileIsReadWithCareAndOnlyItsFirstLine) {
    const fs::path dir = fs::temp_directory_path() / ("orvex-mqtt-pw-" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::string password;
    { std::ofstream(dir / "ok") << "s3cret\nsecond line\n"; }
    EXPECT_EQ(ReadPasswordFile(dir / "ok", password), PasswordFileError::None);
    EXPECT_EQ(password, "s3cret");
    { std::ofstream(dir / "crlf") << "x;y\r\n"; }
    EXPECT_EQ(ReadPasswordFile(dir / "crlf", password), PasswordFileError::None);
    EXPECT_EQ(password, "x;y");
    EXPECT_EQ(ReadPasswordFile(dir / "missing", password), PasswordFileError::Missing);
    EXPECT_EQ(ReadPasswordFile(dir, password), PasswordFileError::NotRegularFile);
    { std::ofstream(dir / "big") << std::string(5000, 'a'); }
    EXPECT_EQ(ReadPasswordFile(dir / "big", password), PasswordFileError::TooLarge);
    EXPECT_TRUE(password.empty());
    fs::permissions(dir / "ok", fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(PasswordFileWarning(dir / "ok"), "");
    fs::permissions(dir / "ok", fs::perms::group_read, fs::perm_options::add);
    EXPECT_NE(PasswordFileWarning(dir / "ok").find("inni użytkownicy"), std::string::npos);
    fs::remove_all(dir);
}

}  // namespace
