#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "publish/MqttPayload.h"

// The device's two alarm enables over MQTT: their state, the commands that set them and the
// answers, as pure functions like the readings' payloads.

// The enables as the latest alarm read found them: 0 off, 1 on (the device's 2 counts as on,
// as in the alarms dialog); empty when that read did not complete.
struct AlarmState {
    std::optional<std::uint8_t> internal;
    std::optional<std::uint8_t> external;
    bool Read() const { return internal.has_value() && external.has_value(); }
    bool operator==(const AlarmState&) const = default;
};

// What a command asks for; an enable it does not name stays as the device has it.
struct AlarmCommand {
    std::optional<std::uint8_t> internal;
    std::optional<std::uint8_t> external;
};

struct AlarmAnswer {
    enum class Result { Ok, Refused, Failed };
    Result result = Result::Ok;
    std::optional<AlarmCommand> command;  // empty when the payload was not a command
    std::string message;                  // Polish; empty for Ok
    AlarmState state;                     // read back from the device after the command
};

// A command payload is a small JSON object; anything longer is not one.
inline constexpr std::size_t kMaxAlarmCommand = 256;

// "<prefix>/<device serial>/alarms", ".../alarms/set", ".../alarms/result".
std::string AlarmsTopic(std::string_view prefix, uint16_t deviceSerial);
std::string AlarmsCommandTopic(std::string_view prefix, uint16_t deviceSerial);
std::string AlarmsResultTopic(std::string_view prefix, uint16_t deviceSerial);

// {"time": ..., "internal": 0|1|null, "external": 0|1|null}
std::string AlarmsPayload(const AlarmState& state, std::string_view isoTime);
// {"time": ..., "command": {...}|null, "result": "ok"|"refused"|"failed", "message": text|null,
//  "internal": ..., "external": ...}
std::string AlarmAnswerPayload(const AlarmAnswer& answer, std::string_view isoTime);
// {"internal": 1} and the like, as the answer repeats it.
std::string AlarmCommandJson(const AlarmCommand& command);

// A JSON object naming "internal", "external" or both, each 0 or 1 (whitespace as JSON allows).
// Anything else is refused with the reason in Polish in why.
std::optional<AlarmCommand> ParseAlarmCommand(std::string_view payload, std::string& why);

// Home Assistant discovery of the two alarms as binary sensors, and, when commands are on, as
// switches that set them: topic and config each.
std::vector<std::pair<std::string, std::string>> AlarmsDiscovery(const DiscoveryContext& context,
                                                                 bool switches);
