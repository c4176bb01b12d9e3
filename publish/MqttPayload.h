#pragma once
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "device/InputReading.h"

// Topics and payloads the publisher sends: pure functions, so the bytes other programs read are
// fixed by golden tests. Every text is UTF-8.

// One measured quantity of an input.
struct ChannelReading {
    std::string key;          // JSON key and entity suffix: "temperature", "temperature3", ...
    std::string title;        // Polish name for the entity: "Temperatura"
    std::string unit;         // as the program shows it; empty when the quantity has none
    std::string deviceClass;  // Home Assistant device class; empty when none fits the unit
    std::string haUnit;       // the unit Home Assistant expects for deviceClass
    std::optional<std::string> value;  // a JSON number; empty when absent or invalid
};

// What one input holds in one cycle.
struct InputDescription {
    enum class Kind { Empty, Binary, Unknown, Sensor };
    Kind kind = Kind::Empty;
    std::string model;  // "TQ21" .. "TQ28" for a sensor
    uint16_t serial = 0;
    std::vector<ChannelReading> channels;  // fixed per model: null values keep their place
    // Model, serial and the channels' units identify the sensor; a change of any replaces its
    // entities.
    bool SameSensor(const InputDescription& o) const {
        if (kind != o.kind || model != o.model || serial != o.serial ||
            channels.size() != o.channels.size()) {
            return false;
        }
        for (std::size_t i = 0; i < channels.size(); ++i) {
            if (channels[i].key != o.channels[i].key || channels[i].unit != o.channels[i].unit) {
                return false;
            }
        }
        return true;
    }
};

InputDescription DescribeInput(const InputReading& reading);

// "2026-12-07T14:05:01+01:00" for a UTC offset in seconds.
std::string IsoTime(std::chrono::system_clock::time_point time, int utcOffsetSeconds);
// The local time zone's offset at that moment.
int LocalUtcOffset(std::chrono::system_clock::time_point time);

std::string StatusTopic(std::string_view prefix, uint16_t deviceSerial);
// input is 1..8.
std::string InputTopic(std::string_view prefix, uint16_t deviceSerial, int input);

// {"time": ..., "model": ..., "serial": ..., "values": {"<key>": {"value": v, "unit": u}, ...}}
std::string InputPayload(const InputDescription& input, std::string_view isoTime);

// Status payloads.
inline constexpr std::string_view kStatusOnline = "online";
inline constexpr std::string_view kStatusOffline = "offline";
inline constexpr std::string_view kStatusSilent = "silent";

// Home Assistant discovery.
inline constexpr std::string_view kDefaultDiscoveryPrefix = "homeassistant";
inline constexpr int kExpireAfterSeconds = 300;

struct DiscoveryContext {
    std::string prefix;
    uint16_t deviceSerial = 0;
    std::string swVersion;
    std::string discoveryPrefix{kDefaultDiscoveryPrefix};
};

// "<discovery prefix>/status": where Home Assistant says it came online.
std::string HaStatusTopic(std::string_view discoveryPrefix);
// "orvex_<device serial>" under the default topic prefix, "orvex_<prefix>_<device serial>"
// under another (lower case, anything but letters and digits as "_"): two sites with one
// concentrator serial under different prefixes are different devices.
std::string NodeId(std::string_view prefix, uint16_t deviceSerial);
// "<node id>_in<input>_<channel key>": stable across renames in Home Assistant.
std::string UniqueId(const DiscoveryContext& context, int input, std::string_view channelKey);
// "<discovery prefix>/sensor/<unique id>/config" ("binary_sensor" for a binary input's state).
std::string DiscoveryTopic(const DiscoveryContext& context, int input, const InputDescription& desc,
                           const ChannelReading& channel);
std::string DiscoveryConfig(const DiscoveryContext& context, int input,
                            const InputDescription& desc, const ChannelReading& channel);
// ", \"device\": {...}, \"origin\": {...}": the blocks every config of the device ends with.
std::string DeviceAndOrigin(const DiscoveryContext& context);

// The publisher's own state, retained on "<prefix>/<device serial>/diagnostics":
// {"device": "responding" or "silent", "queue": n, "dropped": n, "last_error": text or null}.
struct Diagnostics {
    bool responding = false;
    std::uint64_t queue = 0;
    std::uint64_t dropped = 0;
    std::string lastError;  // Polish; empty for none
    bool operator==(const Diagnostics&) const = default;
};
std::string DiagnosticsTopic(std::string_view prefix, uint16_t deviceSerial);
std::string DiagnosticsPayload(const Diagnostics& diagnostics);
// Discovery of the four fields as diagnostic sensors of the device: topic and config each.
std::vector<std::pair<std::string, std::string>> DiagnosticsDiscovery(
    const DiscoveryContext& context);

// Minimal JSON string literal, quotes included.
std::string JsonString(std::string_view utf8);
