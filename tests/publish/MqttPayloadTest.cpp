#include <gtest/gtest.h>

#include "publish/MqttPayload.h"
#include "tests/support/MakeReading.h"

namespace {

using namespace std::chrono;

// 2026-12-07 13:05:01 UTC.
const system_clock::time_point kTime = system_clock::time_point(seconds(1796648701));

std::string Payload(const InputReading& r) {
    return InputPayload(DescribeInput(r), IsoTime(kTime, 3600));
}

TEST(MqttPayload, IsoTimeCarriesTheOffsetOfTheCycle) {
    EXPECT_EQ(IsoTime(kTime, 3600), "2026-12-07T14:05:01+01:00");
    EXPECT_EQ(IsoTime(kTime, 0), "2026-12-07T13:05:01+00:00");
    EXPECT_EQ(IsoTime(kTime + milliseconds(999), -(3 * 3600 + 1800)), "2026-12-07T09:35:01-03:30");
    // Across midnight and a year.
    EXPECT_EQ(IsoTime(system_clock::time_point(seconds(1798761599)), 7200),
              "2027-01-01T01:59:59+02:00");
}

TEST(MqttPayload, GoldenSensorPayloads) {
    EXPECT_EQ(Payload(MakeReading(ModelTQ21, 2101, {453, 217})),
              R"({"time": "2026-12-07T14:05:01+01:00", "model": "TQ21", "serial": 2101, )"
              R"("values": {"humidity": {"value": 45.3, "unit": "%"}, )"
              R"("temperature": {"value": 21.7, "unit": "°C"}}})");
    EXPECT_EQ(Payload(MakeReading(ModelTQ23, 7, {10132, 501, -5}, {0, 0, 0})),
              R"({"time": "2026-12-07T14:05:01+01:00", "model": "TQ23", "serial": 7, )"
              R"("values": {"humidity": {"value": 50.1, "unit": "%"}, )"
              R"("temperature": {"value": -0.5, "unit": "°C"}, )"
              R"("pressure": {"value": 1013.2, "unit": "hPa"}}})");
    EXPECT_EQ(Payload(MakeReading(ModelTQ28, 9, {123, 456, 789, -1234})),
              R"({"time": "2026-12-07T14:05:01+01:00", "model": "TQ28", "serial": 9, )"
              R"("values": {"humidity": {"value": 78.9, "unit": "%"}, )"
              R"("temperature": {"value": -12.34, "unit": "°C"}, )"
              R"("permittivity": {"value": 12.3, "unit": null}, )"
              R"("conductivity": {"value": 45.6, "unit": "mS/m"}}})");
}

TEST(MqttPayload, QuantityTheSensorLacksIsAbsentAndAnIncompleteReadIsNull) {
    // A temperature-only sensor: no humidity at all, not 0 %.
    const InputReading tempOnly = MakeReading(ModelTQ21, 5, {0, 215}, {0, FlagAbsent});
    EXPECT_EQ(Payload(tempOnly),
              R"({"time": "2026-12-07T14:05:01+01:00", "model": "TQ21", "serial": 5, )"
              R"("values": {"temperature": {"value": 21.5, "unit": "°C"}}})");
    EXPECT_FALSE(
        DescribeInput(tempOnly).SameSensor(DescribeInput(MakeReading(ModelTQ21, 5, {0, 215}))));
    // As the driver reads a type-6 sensor: humidity 0 and valid, the type register saying why.
    InputReading typeSix = MakeReading(ModelTQ21, 5, {0, 215}, {0, 0});
    typeSix.sensorType = SensorTypeTQ21TempOnly;
    EXPECT_EQ(Payload(typeSix), Payload(tempOnly));
    // A read that did not complete: every quantity null, binary state included.
    InputReading partial = MakeReading(ModelTQ23, 7, {10132, 501, -5});
    partial.status = 3;
    EXPECT_EQ(Payload(partial).find(R"("value": 1)"), std::string::npos) << Payload(partial);
    EXPECT_NE(Payload(partial).find(R"("pressure": {"value": null, "unit": "hPa"})"),
              std::string::npos);
    InputReading binary;
    binary.isBinary = 1;
    binary.binaryState = 1;
    binary.status = 3;
    EXPECT_NE(Payload(binary).find(R"("state": {"value": null)"), std::string::npos);
}

TEST(MqttPayload, UnitsAndDecimalsFollowTheSensorsFormat) {
    // TQ24: whole pascals, or tenths of hectopascals.
    EXPECT_NE(Payload(MakeReading(ModelTQ24, 1, {-12}, {0, 0, 0}, 0))
                  .find(R"("pressure": {"value": -12, "unit": "Pa"})"),
              std::string::npos);
    EXPECT_NE(Payload(MakeReading(ModelTQ24, 1, {-12}, {0, 1, 0}, 1))
                  .find(R"("pressure": {"value": -1.2, "unit": "hPa"})"),
              std::string::npos);
    // TQ26: kLx or W/m2 changes the key, since they are different quantities.
    EXPECT_NE(Payload(MakeReading(ModelTQ26, 1, {-1}, {0, 0, 0}, 0))
                  .find(R"("irradiance": {"value": 65535, "unit": "W/m2"})"),
              std::string::npos);
    EXPECT_NE(Payload(MakeReading(ModelTQ26, 1, {25}, {0, 0, 1}, 1))
                  .find(R"("illuminance": {"value": 2.5, "unit": "kLx"})"),
              std::string::npos);
    // TQ25: direction in whole degrees.
    EXPECT_NE(Payload(MakeReading(ModelTQ25, 1, {359, 35}))
                  .find(R"("wind_speed": {"value": 3.5, "unit": "m/s"}, )"
                        R"("wind_direction": {"value": 359, "unit": "°"})"),
              std::string::npos);
}

TEST(MqttPayload, InvalidOrAbsentValuesAreNullNeverZero) {
    // TQ21 with a humidity error.
    EXPECT_NE(Payload(MakeReading(ModelTQ21, 1, {0, 217}, {0, 1}))
                  .find(R"("humidity": {"value": null, "unit": "%"}, )"
                        R"("temperature": {"value": 21.7)"),
              std::string::npos);
    // TQ22: absent probes stay in place as null; the average is null when no probe is valid.
    InputReading tq22 = MakeReading(ModelTQ22, 22, {}, {0, 2, 2, 2, 2, 2, 2, 2});
    tq22.probeValues[0] = -35;
    tq22.averageFlag = FlagValid;
    tq22.average = -35;
    const std::string p = Payload(tq22);
    EXPECT_NE(p.find(R"("temperature1": {"value": -3.5, "unit": "°C"}, )"
                     R"("temperature2": {"value": null, "unit": "°C"})"),
              std::string::npos);
    EXPECT_NE(p.find(R"("temperature_average": {"value": -3.5)"), std::string::npos);
    // A read that did not complete: the stale numbers are not current.
    InputReading failed = MakeReading(ModelTQ21, 5, {453, 217});
    failed.status = 3;
    EXPECT_EQ(Payload(failed),
              R"({"time": "2026-12-07T14:05:01+01:00", "model": "TQ21", "serial": 5, )"
              R"("values": {"humidity": {"value": null, "unit": "%"}, )"
              R"("temperature": {"value": null, "unit": "°C"}}})");
}

TEST(MqttPayload, EmptyUnknownAndBinaryInputs) {
    EXPECT_EQ(
        Payload(InputReading{}),
        R"({"time": "2026-12-07T14:05:01+01:00", "model": null, "serial": null, "values": {}})");
    EXPECT_EQ(
        Payload(MakeReading(ModelUnnamed, 3, {100})),
        R"({"time": "2026-12-07T14:05:01+01:00", "model": null, "serial": null, "values": {}})");
    InputReading binary;
    binary.isBinary = 1;
    binary.binaryState = 1;
    EXPECT_EQ(Payload(binary),
              R"({"time": "2026-12-07T14:05:01+01:00", "model": "binary", )"
              R"("serial": null, "values": {"state": {"value": 1, "unit": null}}})");
}

TEST(MqttPayload, Topics) {
    EXPECT_EQ(StatusTopic("orvex", 2101), "orvex/2101/status");
    EXPECT_EQ(InputTopic("plant/a", 2101, 8), "plant/a/2101/input8");
}

TEST(MqttPayload, GoldenDiscoveryConfig) {
    const InputDescription d = DescribeInput(MakeReading(ModelTQ21, 2101, {453, 217}));
    const DiscoveryContext context{"orvex", 777, "1.09"};
    EXPECT_EQ(DiscoveryTopic(context, 3, d, d.channels[1]),
              "homeassistant/sensor/orvex_777_in3_temperature/config");
    EXPECT_EQ(
        DiscoveryConfig(context, 3, d, d.channels[1]),
        R"({"name": "Wejście 3 Temperatura", "unique_id": "orvex_777_in3_temperature", )"
        R"("object_id": "orvex_777_in3_temperature", )"
        R"("default_entity_id": "sensor.orvex_777_in3_temperature", "state_topic": "orvex/777/input3", )"
        R"("value_template": "{{ value_json['values']['temperature']['value'] }}", )"
        R"("device_class": "temperature", "unit_of_measurement": "°C", )"
        R"("state_class": "measurement", "expire_after": 300, )"
        R"("availability_topic": "orvex/777/status", )"
        R"("availability_template": "{{ 'online' if value == 'online' else 'offline' }}", )"
        R"("device": {"identifiers": ["orvex_777"], "name": "ORVEX nr 777", )"
        R"("manufacturer": "ORVEX", "model": "ORVEX", "sw_version": "1.09"}, )"
        R"("origin": {"name": "orvex", "sw_version": "1.09"}, )"
        R"("json_attributes_topic": "orvex/777/input3", )"
        R"("json_attributes_template": "{{ {'model': value_json.model, 'serial': value_json.serial} | tojson }}"})");
}

TEST(MqttPayload, DiscoveryIsUniquePerTopicPrefixAndDiscoveryPrefix) {
    const InputDescription d = DescribeInput(MakeReading(ModelTQ21, 2101, {453, 217}));
    const DiscoveryContext site1{"zaklad/Site1", 777, "1", "ha"};
    const DiscoveryContext site2{"zaklad/site2", 777, "1", "ha"};
    EXPECT_EQ(DiscoveryTopic(site1, 1, d, d.channels[0]),
              "ha/sensor/orvex_zaklad_site1_777_in1_humidity/config");
    EXPECT_NE(DiscoveryTopic(site1, 1, d, d.channels[0]),
              DiscoveryTopic(site2, 1, d, d.channels[0]));
    const std::string c = DiscoveryConfig(site1, 1, d, d.channels[0]);
    EXPECT_NE(
        c.find(
            R"x("identifiers": ["orvex_zaklad_site1_777"], "name": "ORVEX nr 777 (zaklad/Site1)")x"),
        std::string::npos);
    EXPECT_NE(c.find(R"("state_topic": "zaklad/Site1/777/input1")"), std::string::npos);
    EXPECT_EQ(HaStatusTopic("ha"), "ha/status");
}

// Each template reads fields of the input's payload: each must exist there (or be null), for
// every model, so Home Assistant never logs a missing attribute.
TEST(MqttPayload, EveryValueTemplateFindsItsFieldInTheRealPayload) {
    InputReading binary;
    binary.isBinary = 1;
    const std::vector<InputReading> readings = {
        MakeReading(ModelTQ21, 1, {453, 217}),
        MakeReading(ModelTQ21, 1, {0, 217}, {0, FlagAbsent}),
        MakeReading(ModelTQ22, 1, {}),
        MakeReading(ModelTQ23, 1, {10132, 501, -5}),
        MakeReading(ModelTQ24, 1, {12}, {0, 1, 0}, 1),
        MakeReading(ModelTQ25, 1, {359, 35}),
        MakeReading(ModelTQ26, 1, {25}, {0, 0, 1}, 1),
        MakeReading(ModelTQ28, 1, {1, 2, 3, 4}),
        binary};
    const DiscoveryContext context{"orvex", 1, "1"};
    for (const InputReading& r : readings) {
        const InputDescription d = DescribeInput(r);
        const std::string payload = InputPayload(d, "2026-12-07T14:05:01+01:00");
        for (const ChannelReading& c : d.channels) {
            const std::string config = DiscoveryConfig(context, 1, d, c);
            // value_json['values']['<key>']['value'] in the template, "<key>": {"value": in
            // the payload.
            const std::size_t at = config.find("value_json['values']['");
            ASSERT_NE(at, std::string::npos) << config;
            const std::size_t from = at + std::string("value_json['values']['").size();
            const std::string key = config.substr(from, config.find('\'', from) - from);
            EXPECT_NE(payload.find("\"" + key + "\": {\"value\": "), std::string::npos)
                << key << " in " << payload;
            if (config.find("json_attributes_template") != std::string::npos) {
                EXPECT_NE(payload.find("\"model\": "), std::string::npos);
                EXPECT_NE(payload.find("\"serial\": "), std::string::npos);
            }
            // No arithmetic mean of an angle (nor of an on/off state).
            EXPECT_EQ(c.key == "wind_direction" || d.kind == InputDescription::Kind::Binary,
                      config.find("state_class") == std::string::npos)
                << config;
        }
    }
}

TEST(MqttPayload, DiagnosticsPayloadAndItsDiagnosticSensors) {
    EXPECT_EQ(DiagnosticsTopic("zaklad/a", 7), "zaklad/a/7/diagnostics");
    EXPECT_EQ(DiagnosticsPayload({true, 12, 3, ""}),
              R"({"device": "responding", "queue": 12, "dropped": 3, "last_error": null})");
    const std::string silent = DiagnosticsPayload({false, 0, 0, "broker odmówił \"x\""});
    EXPECT_EQ(silent, R"({"device": "silent", "queue": 0, "dropped": 0, )"
                      R"("last_error": "broker odmówił \"x\""})");
    const auto configs = DiagnosticsDiscovery({"orvex", 7, "1"});
    ASSERT_EQ(configs.size(), 4u);
    EXPECT_EQ(configs[0].first, "homeassistant/sensor/orvex_7_diag_device/config");
    for (const auto& [topic, config] : configs) {
        EXPECT_NE(config.find(R"("entity_category": "diagnostic")"), std::string::npos);
        EXPECT_NE(config.find(R"("state_topic": "orvex/7/diagnostics")"), std::string::npos);
        const std::size_t from = config.find("value_json['") + 12;
        const std::string key = config.substr(from, config.find('\'', from) - from);
        EXPECT_NE(silent.find("\"" + key + "\": "), std::string::npos) << key;
    }
    EXPECT_NE(configs[2].second.find(R"("state_class": "total_increasing")"), std::string::npos);
}

TEST(MqttPayload, DiscoveryFitsHomeAssistantUnits) {
    const DiscoveryContext context{"orvex", 1, "1"};
    const InputDescription klx = DescribeInput(MakeReading(ModelTQ26, 1, {25}, {0, 0, 1}, 1));
    const std::string c = DiscoveryConfig(context, 1, klx, klx.channels[0]);
    EXPECT_EQ(c.find("device_class"), std::string::npos);  // illuminance takes lx only
    EXPECT_NE(c.find(R"("unit_of_measurement": "klx")"), std::string::npos);
    const InputDescription wm2 = DescribeInput(MakeReading(ModelTQ26, 1, {25}));
    EXPECT_NE(DiscoveryConfig(context, 1, wm2, wm2.channels[0])
                  .find(R"("device_class": "irradiance", "unit_of_measurement": "W/m²")"),
              std::string::npos);
    InputReading binary;
    binary.isBinary = 1;
    const InputDescription b = DescribeInput(binary);
    EXPECT_EQ(DiscoveryTopic(context, 2, b, b.channels[0]),
              "homeassistant/binary_sensor/orvex_1_in2_state/config");
    EXPECT_NE(DiscoveryConfig(context, 2, b, b.channels[0]).find(R"("payload_on": "1")"),
              std::string::npos);
}

TEST(MqttPayload, SameSensorSeesModelSerialAndUnitChanges) {
    const InputDescription a = DescribeInput(MakeReading(ModelTQ21, 1, {1, 2}));
    EXPECT_TRUE(a.SameSensor(DescribeInput(MakeReading(ModelTQ21, 1, {5, 6}, {1, 1}))));
    EXPECT_FALSE(a.SameSensor(DescribeInput(MakeReading(ModelTQ21, 2, {1, 2}))));
    EXPECT_FALSE(a.SameSensor(DescribeInput(MakeReading(ModelTQ23, 1, {1, 2}))));
    EXPECT_FALSE(DescribeInput(MakeReading(ModelTQ24, 1, {1}, {0, 0, 0}))
                     .SameSensor(DescribeInput(MakeReading(ModelTQ24, 1, {1}, {0, 1, 0}))));
}

TEST(MqttPayload, JsonStringEscapes) {
    EXPECT_EQ(JsonString("a\"b\\c\n\x01ż"), "\"a\\\"b\\\\c\\n\\u0001ż\"");
}

}  // namespace
