#include <gtest/gtest.h>

#include "store/IniEx.h"
#include "publish/AlarmPayload.h"
#include "publish/MqttSettings.h"

namespace {

constexpr const char* kTime = "2026-12-07T14:05:01+01:00";

TEST(AlarmPayload, TopicsStatesAndAnswers) {
    EXPECT_EQ(AlarmsTopic("zaklad/a", 2101), "zaklad/a/2101/alarms");
    EXPECT_EQ(AlarmsCommandTopic("orvex", 2101), "orvex/2101/alarms/set");
    EXPECT_EQ(AlarmsResultTopic("orvex", 2101), "orvex/2101/alarms/result");
    EXPECT_EQ(AlarmsPayload({1, 0}, kTime),
              R"({"time": "2026-12-07T14:05:01+01:00", "internal": 1, "external": 0})");
    // Not read: null, never a remembered value.
    EXPECT_EQ(AlarmsPayload({}, kTime),
              R"({"time": "2026-12-07T14:05:01+01:00", "internal": null, "external": null})");

    AlarmAnswer ok;
    ok.command = AlarmCommand{std::nullopt, 1};
    ok.state = {0, 1};
    EXPECT_EQ(AlarmAnswerPayload(ok, kTime),
              R"({"time": "2026-12-07T14:05:01+01:00", "command": {"external": 1}, )"
              R"("result": "ok", "message": null, "internal": 0, "external": 1})");
    AlarmAnswer refused;
    refused.result = AlarmAnswer::Result::Refused;
    refused.message = "wartość \"x\"";
    EXPECT_EQ(AlarmAnswerPayload(refused, kTime),
              R"({"time": "2026-12-07T14:05:01+01:00", "command": null, "result": "refused", )"
              R"("message": "wartość \"x\"", "internal": null, "external": null})");
    AlarmAnswer failed;
    failed.result = AlarmAnswer::Result::Failed;
    failed.command = AlarmCommand{0, 1};
    failed.message = "Ustawienie alarmów nie powiodło się";
    EXPECT_NE(AlarmAnswerPayload(failed, kTime)
                  .find(R"("command": {"internal": 0, "external": 1}, "result": "failed")"),
              std::string::npos);
}

TEST(AlarmPayload, CommandsAreReadStrictly) {
    std::string why;
    auto both = ParseAlarmCommand(" {\"internal\" : 1,\n\"external\":0 } ", why);
    ASSERT_TRUE(both) << why;
    EXPECT_EQ(both->internal, 1);
    EXPECT_EQ(both->external, 0);
    auto one = ParseAlarmCommand(R"({"external": 1})", why);
    ASSERT_TRUE(one);
    EXPECT_FALSE(one->internal);
    EXPECT_EQ(one->external, 1);

    struct Bad {
        const char* payload;
        const char* reason;  // a part of the Polish reason
    };
    const Bad bad[] = {
        {"", "oczekiwano obiektu JSON"},
        {"1", "oczekiwano obiektu JSON"},
        {"ON", "oczekiwano obiektu JSON"},
        {R"({"internal": 1)", "oczekiwano obiektu JSON"},
        {R"({"internal": 1} x)", "oczekiwano obiektu JSON"},
        {R"({"internal": 1,})", "oczekiwano obiektu JSON"},
        {"{}", "nie ustawia żadnego alarmu"},
        {R"({"siren": 1})", "nieznany klucz polecenia „siren”"},
        {R"({"internal": 1, "internal": 0})", "podany dwa razy"},
        {R"({"internal": "1"})", "musi być liczbą 0 lub 1"},
        {R"({"internal": true})", "musi być liczbą 0 lub 1"},
        {R"({"internal": 1.0})", "musi być liczbą 0 lub 1"},
        {R"({"internal": 2})", "wartość spoza zakresu: internal = 2"},
        {R"({"external": -1})", "wartość spoza zakresu: external = -1"},
        {R"({"internal": 01})", "wartość spoza zakresu"},
        {R"({"internal": 99999999999999999999})", "wartość spoza zakresu"},
    };
    for (const Bad& b : bad) {
        EXPECT_FALSE(ParseAlarmCommand(b.payload, why)) << b.payload;
        EXPECT_NE(why.find(b.reason), std::string::npos) << b.payload << ": " << why;
    }
    const std::string padded = "{\"internal\": 1" + std::string(300, ' ') + "}";
    EXPECT_FALSE(ParseAlarmCommand(padded, why));
    EXPECT_NE(why.find("dłuższe niż 256 bajtów"), std::string::npos);
}

TEST(AlarmPayload, GoldenDiscoveryOfBinarySensorsAndSwitches) {
    const DiscoveryContext context{"orvex", 777, "1.09"};
    const auto sensors = AlarmsDiscovery(context, false);
    ASSERT_EQ(sensors.size(), 2u);
    EXPECT_EQ(sensors[0].first, "homeassistant/binary_sensor/orvex_777_alarm_internal/config");
    EXPECT_EQ(sensors[1].first, "homeassistant/binary_sensor/orvex_777_alarm_external/config");
    EXPECT_EQ(
        sensors[0].second,
        R"({"name": "Alarm wewnętrzny", "unique_id": "orvex_777_alarm_internal", )"
        R"("object_id": "orvex_777_alarm_internal", )"
        R"("default_entity_id": "binary_sensor.orvex_777_alarm_internal", )"
        R"("state_topic": "orvex/777/alarms", "value_template": "{{ value_json['internal'] }}", )"
        R"("payload_on": "1", "payload_off": "0", "expire_after": 300, )"
        R"("availability_topic": "orvex/777/status", )"
        R"("availability_template": "{{ 'online' if value == 'online' else 'offline' }}", )"
        R"("device": {"identifiers": ["orvex_777"], "name": "ORVEX nr 777", )"
        R"("manufacturer": "ORVEX", "model": "ORVEX", "sw_version": "1.09"}, )"
        R"("origin": {"name": "orvex", "sw_version": "1.09"}})");

    const auto all = AlarmsDiscovery({"zaklad/a", 777, "1.09", "ha"}, true);
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[3].first, "ha/switch/orvex_zaklad_a_777_alarm_external_switch/config");
    EXPECT_EQ(
        all[3].second,
        R"({"name": "Ustawienie alarmu zewnętrznego", )"
        R"("unique_id": "orvex_zaklad_a_777_alarm_external_switch", )"
        R"("object_id": "orvex_zaklad_a_777_alarm_external_switch", )"
        R"("default_entity_id": "switch.orvex_zaklad_a_777_alarm_external_switch", )"
        R"("state_topic": "zaklad/a/777/alarms", "value_template": "{{ value_json['external'] }}", )"
        R"("state_on": "1", "state_off": "0", "command_topic": "zaklad/a/777/alarms/set", )"
        R"("payload_on": "{\"external\": 1}", "payload_off": "{\"external\": 0}", )"
        R"("optimistic": false, "qos": 1, "retain": false, )"
        R"("availability_topic": "zaklad/a/777/status", )"
        R"("availability_template": "{{ 'online' if value == 'online' else 'offline' }}", )"
        R"x("device": {"identifiers": ["orvex_zaklad_a_777"], "name": "ORVEX nr 777 (zaklad/a)", )x"
        R"("manufacturer": "ORVEX", "model": "ORVEX", "sw_version": "1.09"}, )"
        R"("origin": {"name": "orvex", "sw_version": "1.09"}})");
}

// What a switch sends must be a command the program takes, and what its template reads must be
// in the state payload.
TEST(AlarmPayload, SwitchPayloadsAreCommandsAndTemplatesFindTheirFields) {
    const std::string state = AlarmsPayload({}, kTime);
    for (const auto& [topic, config] : AlarmsDiscovery({"orvex", 1, "1"}, true)) {
        const std::size_t from = config.find("value_json['") + 12;
        const std::string key = config.substr(from, config.find('\'', from) - from);
        EXPECT_NE(state.find("\"" + key + "\": "), std::string::npos) << key;
        for (const char* field : {"\"payload_on\": \"", "\"payload_off\": \""}) {
            const std::size_t at = config.find(field);
            if (topic.find("/switch/") == std::string::npos) {
                continue;
            }
            ASSERT_NE(at, std::string::npos) << config;
            std::string sent = config.substr(at + std::string(field).size());
            sent = sent.substr(0, sent.find("}\"") + 1);
            std::string unescaped;
            for (std::size_t i = 0; i < sent.size(); ++i) {
                if (sent[i] != '\\') {
                    unescaped += sent[i];
                }
            }
            std::string why;
            const auto command = ParseAlarmCommand(unescaped, why);
            ASSERT_TRUE(command) << unescaped << ": " << why;
            EXPECT_EQ(key == "internal", command->internal.has_value());
        }
    }
}

TEST(AlarmSettings, CommandsNeedTlsAndAUserUnlessInsecure) {
    MqttSettings s;
    EXPECT_EQ(CommandsProblem(s), "");  // off: nothing to refuse
    EXPECT_FALSE(CommandsActive(s));
    s.commands = true;
    EXPECT_NE(CommandsProblem(s).find("[MQTT] COMMANDS"), std::string::npos);
    EXPECT_NE(CommandsProblem(s).find("TLS=0"), std::string::npos);
    s.tls = true;
    EXPECT_NE(CommandsProblem(s).find("USERNAME"), std::string::npos);
    s.username = "hala";
    EXPECT_EQ(CommandsProblem(s), "");
    EXPECT_TRUE(CommandsActive(s));
    MqttSettings plain;
    plain.commands = true;
    plain.commandsInsecure = true;
    EXPECT_TRUE(CommandsActive(plain));
    // A refusal of commands is no reason to refuse publishing.
    MqttSettings refused;
    refused.enabled = true;
    refused.commands = true;
    EXPECT_EQ(MqttSettingsProblem(refused), "");
}

TEST(AlarmSettings, OlderFilesReadAsOffAndAreWrittenUnchanged) {
    CIniEx ini;
    ini.LoadText("[MQTT]\r\nENABLED=1\r\n", true);
    const MqttSettings read = ReadMqttSettings(ini);
    EXPECT_FALSE(read.commands);
    EXPECT_FALSE(read.commandsInsecure);
    WriteMqttSettings(ini, read);
    EXPECT_EQ(ini.ToText().find("COMMANDS"), std::string::npos);

    MqttSettings on = read;
    on.commands = true;
    WriteMqttSettings(ini, on);
    EXPECT_NE(ini.ToText().find("COMMANDS=1\r\n"), std::string::npos);
    EXPECT_EQ(ini.ToText().find("COMMANDS_INSECURE"), std::string::npos);
    on.commands = false;
    WriteMqttSettings(ini, on);  // once there, switched off in place
    EXPECT_NE(ini.ToText().find("COMMANDS=0\r\n"), std::string::npos);
    CIniEx again;
    again.LoadText("[MQTT]\r\nCOMMANDS=1\r\nCOMMANDS_INSECURE=1\r\n", true);
    EXPECT_TRUE(ReadMqttSettings(again).commands);
    EXPECT_TRUE(ReadMqttSettings(again).commandsInsecure);
}

}  // namespace
