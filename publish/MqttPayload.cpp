#include "publish/MqttPayload.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

std::string Unsigned(unsigned value) {
    return std::to_string(value);
}

// Fixed-point raw values as JSON numbers, with the decimals the window shows.
std::string UnsignedTenths(int16_t raw) {
    const unsigned q = static_cast<uint16_t>(raw);
    return Unsigned(q / 10) + "." + Unsigned(q % 10);
}

std::string SignedTenths(int16_t raw) {
    const unsigned q = static_cast<unsigned>(std::abs(static_cast<int>(raw)));
    return (raw < 0 ? "-" : "") + Unsigned(q / 10) + "." + Unsigned(q % 10);
}

std::string SignedHundredths(int16_t raw) {
    const unsigned q = static_cast<unsigned>(std::abs(static_cast<int>(raw)));
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, "%02u", q % 100);
    return (raw < 0 ? "-" : "") + Unsigned(q / 100) + "." + fraction;
}

std::string PlainUnsigned(int16_t raw) {
    return Unsigned(static_cast<uint16_t>(raw));
}

std::optional<std::string> If(uint8_t flag, std::string value) {
    if (flag != FlagValid) {
        return std::nullopt;
    }
    return value;
}

ChannelReading Channel(std::string key, std::string title, std::string unit,
                       std::string deviceClass, std::string haUnit,
                       std::optional<std::string> value) {
    return ChannelReading{std::move(key),         std::move(title),  std::move(unit),
                          std::move(deviceClass), std::move(haUnit), std::move(value)};
}

ChannelReading Humidity(uint8_t flag, std::string value) {
    return Channel("humidity", "Wilgotność", "%", "humidity", "%", If(flag, std::move(value)));
}

ChannelReading Temperature(std::string key, std::string title, uint8_t flag, std::string value) {
    return Channel(std::move(key), std::move(title), "°C", "temperature", "°C",
                   If(flag, std::move(value)));
}

void SetSensor(InputDescription& d, const char* model, const InputReading& r) {
    d.kind = InputDescription::Kind::Sensor;
    d.model = model;
    d.serial = r.serialNumber;
}

std::string Escaped(std::string_view text) {
    std::string out;
    for (unsigned char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buffer[8];
                    std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                    out += buffer;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out;
}

std::string DeviceTopic(std::string_view prefix, uint16_t deviceSerial) {
    return std::string(prefix) + "/" + std::to_string(deviceSerial);
}

}  // namespace

std::string JsonString(std::string_view utf8) {
    return "\"" + Escaped(utf8) + "\"";
}

InputDescription DescribeInput(const InputReading& r) {
    InputDescription d;
    if (r.isBinary != 0) {
        d.kind = InputDescription::Kind::Binary;
        d.model = "binary";
        // A binary state is read whole or the input's read fails.
        d.channels.push_back(
            Channel("state", "Stan", "", "", "",
                    r.status == 0 ? std::optional<std::string>(r.binaryState != 0 ? "1" : "0")
                                  : std::nullopt));
        return d;
    }
    const uint8_t* f = r.valueFlags;
    switch (r.model) {
        case ModelTQ21:
            SetSensor(d, "TQ21", r);
            // A temperature-only sensor has no humidity: no channel, never a made-up 0 %.
            if (f[1] != FlagAbsent && r.sensorType != SensorTypeTQ21TempOnly) {
                d.channels.push_back(Humidity(f[1], UnsignedTenths(r.values[0])));
            }
            d.channels.push_back(
                Temperature("temperature", "Temperatura", f[0], SignedTenths(r.values[1])));
            break;
        case ModelTQ22:
            SetSensor(d, "TQ22", r);
            for (int j = 0; j < 8; ++j) {
                const std::string n = std::to_string(j + 1);
                d.channels.push_back(Temperature("temperature" + n, "Temperatura " + n, f[j],
                                                 SignedTenths(r.probeValues[j])));
            }
            d.channels.push_back(Temperature("temperature_average", "Temperatura średnia",
                                             r.averageFlag, SignedTenths(r.average)));
            break;
        case ModelTQ23:
            SetSensor(d, "TQ23", r);
            d.channels.push_back(Humidity(f[2], UnsignedTenths(r.values[1])));
            d.channels.push_back(
                Temperature("temperature", "Temperatura", f[1], SignedTenths(r.values[2])));
            d.channels.push_back(Channel("pressure", "Ciśnienie", "hPa", "pressure", "hPa",
                                         If(f[0], UnsignedTenths(r.values[0]))));
            break;
        case ModelTQ24: {
            SetSensor(d, "TQ24", r);
            const char* unit = f[1] != 0 ? "hPa" : "Pa";
            d.channels.push_back(Channel("pressure", "Ciśnienie", unit, "pressure", unit,
                                         If(f[2], r.auxFlag != 0 ? SignedTenths(r.values[0])
                                                                 : std::to_string(r.values[0]))));
            break;
        }
        case ModelTQ25:
            SetSensor(d, "TQ25", r);
            d.channels.push_back(Channel("wind_speed", "Prędkość", "m/s", "wind_speed", "m/s",
                                         If(f[1], UnsignedTenths(r.values[1]))));
            d.channels.push_back(Channel("wind_direction", "Kierunek", "°", "", "°",
                                         If(f[0], PlainUnsigned(r.values[0]))));
            break;
        case ModelTQ26: {
            SetSensor(d, "TQ26", r);
            const std::optional<std::string> value =
                If(f[1], r.auxFlag != 0 ? UnsignedTenths(r.values[0]) : PlainUnsigned(r.values[0]));
            // Home Assistant's illuminance class takes lx only; kLx goes without a class.
            if (f[2] != 0) {
                d.channels.push_back(
                    Channel("illuminance", "Natężenie oświetlenia", "kLx", "", "klx", value));
            } else {
                d.channels.push_back(Channel("irradiance", "Natężenie promieniowania", "W/m2",
                                             "irradiance", "W/m²", value));
            }
            break;
        }
        case ModelTQ28:
            SetSensor(d, "TQ28", r);
            d.channels.push_back(Humidity(f[2], UnsignedTenths(r.values[2])));
            d.channels.push_back(
                Temperature("temperature", "Temperatura", f[1], SignedHundredths(r.values[3])));
            d.channels.push_back(Channel("permittivity", "Przenikalność elektryczna", "", "", "",
                                         If(r.auxFlag, UnsignedTenths(r.values[0]))));
            // Home Assistant's conductivity class has no mS/m.
            d.channels.push_back(Channel("conductivity", "Konduktywność", "mS/m", "", "mS/m",
                                         If(f[0], UnsignedTenths(r.values[1]))));
            break;
        case ModelNone:
            return d;
        default:
            d.kind = InputDescription::Kind::Unknown;
            return d;
    }
    // A read that did not complete leaves last cycle's numbers behind: none of them is current.
    if (r.status != 0) {
        for (ChannelReading& c : d.channels) {
            c.value.reset();
        }
    }
    return d;
}

std::string IsoTime(std::chrono::system_clock::time_point time, int utcOffsetSeconds) {
    const auto seconds = std::chrono::floor<std::chrono::seconds>(time).time_since_epoch().count() +
                         utcOffsetSeconds;
    const std::time_t local = static_cast<std::time_t>(seconds);
    std::tm tm{};
    gmtime_r(&local, &tm);
    const int offset = utcOffsetSeconds < 0 ? -utcOffsetSeconds : utcOffsetSeconds;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d",
                  tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  utcOffsetSeconds < 0 ? '-' : '+', offset / 3600, (offset % 3600) / 60);
    return buffer;
}

int LocalUtcOffset(std::chrono::system_clock::time_point time) {
    const std::time_t t = std::chrono::system_clock::to_time_t(time);
    std::tm tm{};
    if (localtime_r(&t, &tm) == nullptr) {
        return 0;
    }
    return static_cast<int>(tm.tm_gmtoff);
}

std::string StatusTopic(std::string_view prefix, uint16_t deviceSerial) {
    return DeviceTopic(prefix, deviceSerial) + "/status";
}

std::string InputTopic(std::string_view prefix, uint16_t deviceSerial, int input) {
    return DeviceTopic(prefix, deviceSerial) + "/input" + std::to_string(input);
}

std::string InputPayload(const InputDescription& input, std::string_view isoTime) {
    std::string out = "{\"time\": " + JsonString(isoTime) + ", \"model\": ";
    out += input.model.empty() ? "null" : JsonString(input.model);
    out += ", \"serial\": ";
    out += input.kind == InputDescription::Kind::Sensor ? std::to_string(input.serial) : "null";
    out += ", \"values\": {";
    bool first = true;
    for (const ChannelReading& c : input.channels) {
        if (!first) {
            out += ", ";
        }
        first = false;
        out += JsonString(c.key) + ": {\"value\": " + (c.value ? *c.value : "null") +
               ", \"unit\": " + (c.unit.empty() ? "null" : JsonString(c.unit)) + "}";
    }
    out += "}}";
    return out;
}

std::string HaStatusTopic(std::string_view discoveryPrefix) {
    return std::string(discoveryPrefix) + "/status";
}

std::string NodeId(std::string_view prefix, uint16_t deviceSerial) {
    std::string node = "orvex_";
    if (prefix != "orvex") {
        for (unsigned char c : prefix) {
            node += std::isalnum(c) != 0 && c < 0x80 ? static_cast<char>(std::tolower(c)) : '_';
        }
        node += '_';
    }
    return node + std::to_string(deviceSerial);
}

std::string UniqueId(const DiscoveryContext& context, int input, std::string_view channelKey) {
    return NodeId(context.prefix, context.deviceSerial) + "_in" + std::to_string(input) + "_" +
           std::string(channelKey);
}

namespace {

const char* Component(const InputDescription& desc) {
    return desc.kind == InputDescription::Kind::Binary ? "binary_sensor" : "sensor";
}

}  // namespace

std::string DeviceAndOrigin(const DiscoveryContext& context) {
    const std::string serial = std::to_string(context.deviceSerial);
    // The serial goes in the name: a serial_number key makes Home Assistant 2024.1 and older
    // reject the whole config.
    const std::string name = context.prefix == "orvex"
                                 ? "ORVEX nr " + serial
                                 : "ORVEX nr " + serial + " (" + context.prefix + ")";
    return ", \"device\": {\"identifiers\": [" +
           JsonString(NodeId(context.prefix, context.deviceSerial)) +
           "], \"name\": " + JsonString(name) +
           ", \"manufacturer\": \"ORVEX\", \"model\": \"ORVEX\", \"sw_version\": " +
           JsonString(context.swVersion) +
           "}, \"origin\": {\"name\": \"orvex\", \"sw_version\": " + JsonString(context.swVersion) +
           "}";
}

std::string DiscoveryTopic(const DiscoveryContext& context, int input, const InputDescription& desc,
                           const ChannelReading& channel) {
    return context.discoveryPrefix + "/" + Component(desc) + "/" +
           UniqueId(context, input, channel.key) + "/config";
}

std::string DiscoveryConfig(const DiscoveryContext& context, int input,
                            const InputDescription& desc, const ChannelReading& channel) {
    const std::string uid = UniqueId(context, input, channel.key);
    // default_entity_id for current Home Assistant, object_id for versions before it.
    std::string out =
        "{\"name\": " + JsonString("Wejście " + std::to_string(input) + " " + channel.title) +
        ", \"unique_id\": " + JsonString(uid) + ", \"object_id\": " + JsonString(uid) +
        ", \"default_entity_id\": " + JsonString(std::string(Component(desc)) + "." + uid) +
        ", \"state_topic\": " +
        JsonString(InputTopic(context.prefix, context.deviceSerial, input)) +
        ", \"value_template\": " +
        JsonString("{{ value_json['values']['" + channel.key + "']['value'] }}");
    if (desc.kind == InputDescription::Kind::Binary) {
        out += ", \"payload_on\": \"1\", \"payload_off\": \"0\"";
    } else {
        if (!channel.deviceClass.empty()) {
            out += ", \"device_class\": " + JsonString(channel.deviceClass);
        }
        if (!channel.haUnit.empty()) {
            out += ", \"unit_of_measurement\": " + JsonString(channel.haUnit);
        }
        // An angle has no arithmetic mean: no long-term statistics for the wind direction.
        if (channel.key != "wind_direction") {
            out += ", \"state_class\": \"measurement\"";
        }
    }
    out += ", \"expire_after\": " + std::to_string(kExpireAfterSeconds);
    // "silent" and "offline" both make the entity unavailable.
    out += ", \"availability_topic\": " +
           JsonString(StatusTopic(context.prefix, context.deviceSerial)) +
           ", \"availability_template\": \"{{ 'online' if value == 'online' else 'offline' }}\"";
    out += DeviceAndOrigin(context);
    if (desc.kind == InputDescription::Kind::Sensor) {
        out +=
            ", \"json_attributes_topic\": " +
            JsonString(InputTopic(context.prefix, context.deviceSerial, input)) +
            ", \"json_attributes_template\": " +
            JsonString("{{ {'model': value_json.model, 'serial': value_json.serial} | tojson }}");
    }
    out += "}";
    return out;
}

std::string DiagnosticsTopic(std::string_view prefix, uint16_t deviceSerial) {
    return DeviceTopic(prefix, deviceSerial) + "/diagnostics";
}

std::string DiagnosticsPayload(const Diagnostics& d) {
    return std::string("{\"device\": ") + (d.responding ? "\"responding\"" : "\"silent\"") +
           ", \"queue\": " + std::to_string(d.queue) +
           ", \"dropped\": " + std::to_string(d.dropped) +
           ", \"last_error\": " + (d.lastError.empty() ? "null" : JsonString(d.lastError)) + "}";
}

std::vector<std::pair<std::string, std::string>> DiagnosticsDiscovery(
    const DiscoveryContext& context) {
    struct Field {
        const char* key;
        const char* title;
        const char* extra;
    };
    static constexpr Field kFields[] = {
        {"device", "Stan urządzenia", ""},
        {"queue", "Cykle w kolejce MQTT", ", \"state_class\": \"measurement\""},
        {"dropped", "Cykle odrzucone", ", \"state_class\": \"total_increasing\""},
        {"last_error", "Ostatni błąd MQTT", ""},
    };
    std::vector<std::pair<std::string, std::string>> out;
    const std::string state = DiagnosticsTopic(context.prefix, context.deviceSerial);
    for (const Field& f : kFields) {
        const std::string uid = NodeId(context.prefix, context.deviceSerial) + "_diag_" + f.key;
        // Always available: it tells why the readings are not.
        std::string config =
            "{\"name\": " + JsonString(f.title) + ", \"unique_id\": " + JsonString(uid) +
            ", \"object_id\": " + JsonString(uid) +
            ", \"default_entity_id\": " + JsonString("sensor." + uid) +
            ", \"state_topic\": " + JsonString(state) + ", \"value_template\": " +
            JsonString(std::string("{{ value_json['") + f.key + "'] }}") +
            ", \"entity_category\": \"diagnostic\"" + f.extra + DeviceAndOrigin(context) + "}";
        out.emplace_back(context.discoveryPrefix + "/sensor/" + uid + "/config", std::move(config));
    }
    return out;
}
