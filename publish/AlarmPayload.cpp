#include "publish/AlarmPayload.h"

#include <cctype>

namespace {

constexpr const char* kKeys[2] = {"internal", "external"};

std::string DeviceTopic(std::string_view prefix, uint16_t deviceSerial) {
    return std::string(prefix) + "/" + std::to_string(deviceSerial);
}

std::string Value(const std::optional<std::uint8_t>& v) {
    return v ? std::to_string(*v) : "null";
}

std::string StateFields(const AlarmState& state) {
    return ", \"internal\": " + Value(state.internal) + ", \"external\": " + Value(state.external);
}

const char* ResultName(AlarmAnswer::Result result) {
    switch (result) {
        case AlarmAnswer::Result::Ok:
            return "ok";
        case AlarmAnswer::Result::Refused:
            return "refused";
        case AlarmAnswer::Result::Failed:
            return "failed";
    }
    return "failed";
}

// A strict reader of the one object a command is: no nesting, no strings as values.
class CommandReader {
public:
    explicit CommandReader(std::string_view text) : text_(text) {}

    std::optional<AlarmCommand> Read(std::string& why) {
        const std::string expected =
            "niepoprawne polecenie: oczekiwano obiektu JSON, np. {\"internal\": 1} lub "
            "{\"internal\": 0, \"external\": 1}";
        AlarmCommand command;
        if (!Take('{')) {
            why = expected;
            return std::nullopt;
        }
        bool first = true;
        while (!Take('}')) {
            if ((!first && !Take(',')) || !Take('"')) {
                why = expected;
                return std::nullopt;
            }
            first = false;
            const std::size_t end = text_.find('"', at_);
            if (end == std::string_view::npos) {
                why = expected;
                return std::nullopt;
            }
            const std::string_view key = text_.substr(at_, end - at_);
            at_ = end + 1;
            std::optional<std::uint8_t>* slot = key == kKeys[0]   ? &command.internal
                                                : key == kKeys[1] ? &command.external
                                                                  : nullptr;
            if (slot == nullptr) {
                why = "nieznany klucz polecenia „" + std::string(key.substr(0, 32)) +
                      "” (dozwolone: internal, external)";
                return std::nullopt;
            }
            if (slot->has_value()) {
                why = "klucz „" + std::string(key) + "” podany dwa razy";
                return std::nullopt;
            }
            if (!Take(':')) {
                why = expected;
                return std::nullopt;
            }
            Skip();
            const std::size_t from = at_;
            if (at_ < text_.size() && text_[at_] == '-') {
                ++at_;
            }
            while (at_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[at_]))) {
                ++at_;
            }
            const std::string_view number = text_.substr(from, at_ - from);
            if (number.empty() || number == "-" ||
                (at_ < text_.size() &&
                 (text_[at_] == '.' || text_[at_] == 'e' || text_[at_] == 'E'))) {
                why = "wartość „" + std::string(key) + "” musi być liczbą 0 lub 1";
                return std::nullopt;
            }
            if (number != "0" && number != "1") {
                why = "wartość spoza zakresu: " + std::string(key) + " = " +
                      std::string(number.substr(0, 12)) + " (dozwolone 0 lub 1)";
                return std::nullopt;
            }
            *slot = static_cast<std::uint8_t>(number == "1" ? 1 : 0);
        }
        Skip();
        if (at_ != text_.size()) {
            why = expected;
            return std::nullopt;
        }
        if (!command.internal && !command.external) {
            why = "polecenie nie ustawia żadnego alarmu (internal, external)";
            return std::nullopt;
        }
        return command;
    }

private:
    void Skip() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' ||
                                      text_[at_] == '\n' || text_[at_] == '\r')) {
            ++at_;
        }
    }
    bool Take(char c) {
        Skip();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

}  // namespace

std::string AlarmsTopic(std::string_view prefix, uint16_t deviceSerial) {
    return DeviceTopic(prefix, deviceSerial) + "/alarms";
}

std::string AlarmsCommandTopic(std::string_view prefix, uint16_t deviceSerial) {
    return AlarmsTopic(prefix, deviceSerial) + "/set";
}

std::string AlarmsResultTopic(std::string_view prefix, uint16_t deviceSerial) {
    return AlarmsTopic(prefix, deviceSerial) + "/result";
}

std::string AlarmsPayload(const AlarmState& state, std::string_view isoTime) {
    return "{\"time\": " + JsonString(isoTime) + StateFields(state) + "}";
}

std::string AlarmCommandJson(const AlarmCommand& command) {
    std::string out = "{";
    if (command.internal) {
        out += "\"internal\": " + Value(command.internal);
    }
    if (command.external) {
        out +=
            std::string(command.internal ? ", " : "") + "\"external\": " + Value(command.external);
    }
    return out + "}";
}

std::string AlarmAnswerPayload(const AlarmAnswer& answer, std::string_view isoTime) {
    return "{\"time\": " + JsonString(isoTime) +
           ", \"command\": " + (answer.command ? AlarmCommandJson(*answer.command) : "null") +
           ", \"result\": \"" + ResultName(answer.result) +
           "\", \"message\": " + (answer.message.empty() ? "null" : JsonString(answer.message)) +
           StateFields(answer.state) + "}";
}

std::optional<AlarmCommand> ParseAlarmCommand(std::string_view payload, std::string& why) {
    why.clear();
    if (payload.size() > kMaxAlarmCommand) {
        why = "polecenie dłuższe niż " + std::to_string(kMaxAlarmCommand) + " bajtów";
        return std::nullopt;
    }
    return CommandReader(payload).Read(why);
}

std::vector<std::pair<std::string, std::string>> AlarmsDiscovery(const DiscoveryContext& context,
                                                                 bool switches) {
    static constexpr const char* kTitles[2] = {"Alarm wewnętrzny", "Alarm zewnętrzny"};
    static constexpr const char* kSwitchTitles[2] = {"Ustawienie alarmu wewnętrznego",
                                                     "Ustawienie alarmu zewnętrznego"};
    const std::string node = NodeId(context.prefix, context.deviceSerial);
    const std::string state = AlarmsTopic(context.prefix, context.deviceSerial);
    // "silent" and "offline" make the alarms unavailable, as they do the readings.
    const std::string availability =
        ", \"expire_after\": " + std::to_string(kExpireAfterSeconds) +
        ", \"availability_topic\": " +
        JsonString(StatusTopic(context.prefix, context.deviceSerial)) +
        ", \"availability_template\": \"{{ 'online' if value == 'online' else 'offline' }}\"";
    std::vector<std::pair<std::string, std::string>> out;
    for (int i = 0; i < 2; ++i) {
        const std::string key = kKeys[i];
        const std::string template_ = JsonString("{{ value_json['" + key + "'] }}");
        const std::string uid = node + "_alarm_" + key;
        out.emplace_back(
            context.discoveryPrefix + "/binary_sensor/" + uid + "/config",
            "{\"name\": " + JsonString(kTitles[i]) + ", \"unique_id\": " + JsonString(uid) +
                ", \"object_id\": " + JsonString(uid) +
                ", \"default_entity_id\": " + JsonString("binary_sensor." + uid) +
                ", \"state_topic\": " + JsonString(state) + ", \"value_template\": " + template_ +
                ", \"payload_on\": \"1\", \"payload_off\": \"0\"" + availability +
                DeviceAndOrigin(context) + "}");
    }
    if (!switches) {
        return out;
    }
    for (int i = 0; i < 2; ++i) {
        const std::string key = kKeys[i];
        const std::string uid = node + "_alarm_" + key + "_switch";
        // No expire_after: a switch has none. Its state is what the device answered.
        out.emplace_back(
            context.discoveryPrefix + "/switch/" + uid + "/config",
            "{\"name\": " + JsonString(kSwitchTitles[i]) + ", \"unique_id\": " + JsonString(uid) +
                ", \"object_id\": " + JsonString(uid) + ", \"default_entity_id\": " +
                JsonString("switch." + uid) + ", \"state_topic\": " + JsonString(state) +
                ", \"value_template\": " + JsonString("{{ value_json['" + key + "'] }}") +
                ", \"state_on\": \"1\", \"state_off\": \"0\", \"command_topic\": " +
                JsonString(AlarmsCommandTopic(context.prefix, context.deviceSerial)) +
                ", \"payload_on\": " + JsonString("{\"" + key + "\": 1}") +
                ", \"payload_off\": " + JsonString("{\"" + key + "\": 0}") +
                ", \"optimistic\": false, \"qos\": 1, \"retain\": false" +
                ", \"availability_topic\": " +
                JsonString(StatusTopic(context.prefix, context.deviceSerial)) +
                ", \"availability_template\": \"{{ 'online' if value == 'online' else 'offline' "
                "}}\"" +
                DeviceAndOrigin(context) + "}");
    }
    return out;
}
