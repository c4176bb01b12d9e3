#include "recording/format/BinaryRecordFormat.h"

#include <charconv>
#include <cstdio>

namespace {

struct Channel {
    int quantityCode;
    double value;
    uint8_t flag;  // valid when 0
};

double Unsigned(int16_t raw) {
    return static_cast<uint16_t>(raw);
}
double UnsignedTenths(int16_t raw) {
    return static_cast<uint16_t>(raw) / 10.0;
}
double SignedTenths(int16_t raw) {
    return raw / 10.0;
}

std::optional<Channel> ChannelOf(const InputReading& r, int channel) {
    const uint8_t* f = r.valueFlags;
    if (r.isBinary != 0) {
        if (channel == 0) {
            return Channel{57, r.binaryState == 1 ? 1.0 : 0.0, 0};
        }
        return std::nullopt;
    }
    switch (r.model) {
        case ModelTQ21:
            if (channel == 0)
                return Channel{26, UnsignedTenths(r.values[0]), f[1]};
            if (channel == 1)
                return Channel{25, SignedTenths(r.values[1]), f[0]};
            break;
        case ModelTQ22:
            if (channel >= 0 && channel < 8) {
                return Channel{25, SignedTenths(r.probeValues[channel]), f[channel]};
            }
            break;
        case ModelTQ23:
            if (channel == 0)
                return Channel{26, UnsignedTenths(r.values[1]), f[2]};
            if (channel == 1)
                return Channel{25, SignedTenths(r.values[2]), f[1]};
            if (channel == 2)
                return Channel{27, UnsignedTenths(r.values[0]), f[0]};
            break;
        case ModelTQ24:
            if (channel == 0) {
                const double value = r.auxFlag != 0 ? SignedTenths(r.values[0]) : r.values[0];
                return Channel{27, value, f[2]};
            }
            break;
        case ModelTQ25:
            if (channel == 0)
                return Channel{29, UnsignedTenths(r.values[1]), f[1]};
            if (channel == 1)
                return Channel{28, Unsigned(r.values[0]), f[0]};
            break;
        case ModelTQ26:
            if (channel == 0) {
                const double value =
                    r.auxFlag != 0 ? UnsignedTenths(r.values[0]) : Unsigned(r.values[0]);
                return Channel{f[2] != 0 ? 46 : 45, value, f[1]};
            }
            break;
        default:
            break;
    }
    return std::nullopt;
}

// One decimal with a full stop: to_chars ignores the locale, unlike printf's "%.1f".
std::string OneDecimal(double value) {
    char buffer[32];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
    return std::string(buffer, result.ptr);
}

}  // namespace

std::optional<int> BinaryTypeCode(const InputReading& r) {
    if (r.isBinary != 0) {
        return 107;
    }
    switch (r.model) {
        case ModelTQ21:
            return 21;
        case ModelTQ22:
            return 22;
        case ModelTQ23:
            return 19;
        case ModelTQ24:
            return 20;
        case ModelTQ25:
            return 100;
        case ModelTQ26:
            return 101;
        default:
            return std::nullopt;
    }
}

int BinaryChannelId(const InputReading& r, int inputNumber) {
    return r.isBinary != 0 ? inputNumber : r.serialNumber;
}

int BinaryQuantityCode(const InputReading& r, int channel) {
    const auto c = ChannelOf(r, channel);
    return c ? c->quantityCode : -1;
}

double BinaryChannelValue(const InputReading& r, int channel) {
    const auto c = ChannelOf(r, channel);
    return c ? c->value : 0.0;
}

bool BinaryChannelValid(const InputReading& r, int channel) {
    // A reading whose last read did not complete holds old values: none of it is valid.
    const auto c = ChannelOf(r, channel);
    return c && c->flag == 0 && r.status == 0;
}

std::string BinaryEntry(const InputReading& r, int inputNumber, int channel) {
    return std::to_string(BinaryTypeCode(r).value_or(-1)) + "," +
           std::to_string(BinaryChannelId(r, inputNumber)) + "," +
           std::to_string(BinaryQuantityCode(r, channel)) + "," +
           OneDecimal(BinaryChannelValue(r, channel)) + ",1$";
}

std::string BinaryRecordText(const std::array<InputReading, 8>& readings, const RecordTime& t) {
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d%02d%02d%02d$", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    std::string text = stamp;
    for (int i = 0; i < 8; ++i) {
        const InputReading& r = readings[i];
        if (!BinaryTypeCode(r)) {
            continue;
        }
        for (int k = 0; BinaryChannelValid(r, k); ++k) {
            text += BinaryEntry(r, i + 1, k);
        }
    }
    return text;
}

std::array<uint8_t, 3> BinaryTrailer(std::string_view text) {
    int sum = 0;
    for (char c : text) {
        sum += static_cast<int8_t>(c);
    }
    // Floored modulo keeps both check bytes in range even for a non-ASCII text.
    auto mod = [sum](int m) { return ((sum % m) + m) % m; };
    return {0x40, static_cast<uint8_t>(mod(253) + 1), static_cast<uint8_t>(mod(251) + 1)};
}

std::string EncodeBinaryRecord(std::string_view text) {
    std::string record(text);
    for (uint8_t b : BinaryTrailer(text)) {
        record += static_cast<char>(b);
    }
    for (char& c : record) {
        c = static_cast<char>(-static_cast<uint8_t>(c));
    }
    return record;
}

std::string BuildBinaryRecord(const std::array<InputReading, 8>& readings, const RecordTime& time) {
    return EncodeBinaryRecord(BinaryRecordText(readings, time));
}
