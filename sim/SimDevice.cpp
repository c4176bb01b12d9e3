#include "sim/SimDevice.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <numbers>

#include "link/ModbusCrc.h"

namespace {

constexpr uint8_t kIllegalFunction = 1;
constexpr uint8_t kIllegalAddress = 2;
constexpr uint8_t kIllegalValue = 3;
constexpr uint16_t kBinaryType = 8;

std::vector<std::string_view> SplitWords(std::string_view line) {
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
            ++i;
        if (i > start)
            words.push_back(line.substr(start, i - start));
    }
    return words;
}

// Decimal or 0x hexadecimal, up to `max`.
bool ParseNumber(std::string_view text, uint32_t max, uint32_t& out) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty())
        return false;
    uint64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size() || value > max)
        return false;
    out = static_cast<uint32_t>(value);
    return true;
}

bool ParseFloat(std::string_view text, float& out) {
    if (text.empty())
        return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && std::isfinite(out);
}

bool SplitKey(std::string_view word, std::string_view& key, std::string_view& value) {
    size_t eq = word.find('=');
    if (eq == std::string_view::npos || eq == 0)
        return false;
    key = word.substr(0, eq);
    value = word.substr(eq + 1);
    return true;
}

bool ParseOnOff(std::string_view word, bool& out) {
    if (word == "on") {
        out = true;
        return true;
    }
    if (word == "off") {
        out = false;
        return true;
    }
    return false;
}

std::string Text(std::string_view view) {
    return std::string(view);
}

}  // namespace

std::optional<FaultMode> ParseFaultMode(std::string_view name) {
    static constexpr std::pair<std::string_view, FaultMode> kModes[] = {
        {"none", FaultMode::None},           {"silence", FaultMode::Silence},
        {"slow", FaultMode::Slow},           {"badcrc", FaultMode::BadCrc},
        {"wrongaddr", FaultMode::WrongAddr}, {"exception", FaultMode::Exception},
        {"truncated", FaultMode::Truncated}, {"noise", FaultMode::Noise},
        {"echo", FaultMode::Echo},
    };
    for (const auto& [text, mode] : kModes) {
        if (text == name)
            return mode;
    }
    return std::nullopt;
}

const char* FaultModeName(FaultMode mode) {
    switch (mode) {
        case FaultMode::None:
            return "none";
        case FaultMode::Silence:
            return "silence";
        case FaultMode::Slow:
            return "slow";
        case FaultMode::BadCrc:
            return "badcrc";
        case FaultMode::WrongAddr:
            return "wrongaddr";
        case FaultMode::Exception:
            return "exception";
        case FaultMode::Truncated:
            return "truncated";
        case FaultMode::Noise:
            return "noise";
        case FaultMode::Echo:
            return "echo";
    }
    return "none";
}

void AppendCrc(std::vector<uint8_t>& frame) {
    uint16_t crc = ModbusCrc(frame.data(), frame.size());
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
}

CSimDevice::CSimDevice() {
    registers_[0] = 23073;
    registers_[2] = 1234;
}

float CSimDevice::Float(uint16_t reg) const {
    uint32_t bits = registers_[reg] | (uint32_t{registers_[static_cast<uint16_t>(reg + 1)]} << 16);
    return std::bit_cast<float>(bits);
}

void CSimDevice::SetFloat(uint16_t reg, float value) {
    uint32_t bits = std::bit_cast<uint32_t>(value);
    registers_[reg] = static_cast<uint16_t>(bits & 0xFFFF);
    registers_[static_cast<uint16_t>(reg + 1)] = static_cast<uint16_t>(bits >> 16);
}

bool CSimDevice::Apply(std::string_view line, std::string& error) {
    if (size_t hash = line.find('#'); hash != std::string_view::npos)
        line = line.substr(0, hash);
    std::vector<std::string_view> words = SplitWords(line);
    if (words.empty())
        return true;
    const std::string_view command = words[0];
    uint32_t number = 0;
    bool flag = false;
    if (command == "device")
        return ApplyDevice(words, error);
    if (command == "input")
        return ApplyInput(words, error);
    if (command == "reg") {
        uint32_t value = 0;
        if (words.size() != 3 || !ParseNumber(words[1], 0xFFFF, number) ||
            !ParseNumber(words[2], 0xFFFF, value)) {
            error = "usage: reg <addr> <value>";
            return false;
        }
        registers_[number] = static_cast<uint16_t>(value);
        return true;
    }
    if (command == "silence" || command == "drift" || command == "write-low-first" ||
        command == "write-high-first") {
        if (words.size() != 2 || !ParseOnOff(words[1], flag)) {
            error = "usage: " + Text(command) + " on|off";
            return false;
        }
        if (command == "write-high-first") {
            writeLowFirst_ = !flag;
        } else {
            (command == "silence" ? silent_ : command == "drift" ? drift_ : writeLowFirst_) = flag;
        }
        return true;
    }
    if (command == "fault") {
        std::optional<FaultMode> mode;
        if (words.size() == 2)
            mode = ParseFaultMode(words[1]);
        if (!mode) {
            error =
                "usage: fault none|silence|slow|badcrc|wrongaddr|exception|truncated|noise|echo";
            return false;
        }
        fault_ = *mode;
        return true;
    }
    if (command == "fail" || command == "unfail") {
        if (words.size() != 2 || !ParseNumber(words[1], 0xFFFF, number)) {
            error = "usage: " + Text(command) + " <reg>";
            return false;
        }
        if (command == "fail") {
            failed_.insert(static_cast<uint16_t>(number));
        } else {
            failed_.erase(static_cast<uint16_t>(number));
        }
        return true;
    }
    if (command == "address") {
        if (words.size() != 2 || !ParseNumber(words[1], 255, number) || number == 0) {
            error = "usage: address <1-255>";
            return false;
        }
        address_ = static_cast<uint8_t>(number);
        return true;
    }
    if (command == "slow-ms") {
        if (words.size() != 2 || !ParseNumber(words[1], 600000, number)) {
            error = "usage: slow-ms <milliseconds>";
            return false;
        }
        slowDelay_ = std::chrono::milliseconds(number);
        return true;
    }
    error = "unknown command: " + Text(command);
    return false;
}

bool CSimDevice::ApplyDevice(const std::vector<std::string_view>& words, std::string& error) {
    // Parse everything first so that a bad line changes nothing.
    std::vector<std::pair<uint16_t, uint16_t>> writes;
    for (size_t i = 1; i < words.size(); ++i) {
        std::string_view key, text;
        uint32_t value = 0;
        if (!SplitKey(words[i], key, text)) {
            error = "expected key=value: " + Text(words[i]);
            return false;
        }
        const uint32_t max = key == "reg42" ? 0xFFFFFFFF : 0xFFFF;
        if (!ParseNumber(text, max, value)) {
            error = "bad number: " + Text(words[i]);
            return false;
        }
        if (key == "id") {
            writes.emplace_back(0, value);
        } else if (key == "serial") {
            writes.emplace_back(2, value);
        } else if (key == "reg1") {
            writes.emplace_back(1, value);
        } else if (key == "reg42") {
            writes.emplace_back(42, value & 0xFFFF);
            writes.emplace_back(43, value >> 16);
        } else {
            error = "unknown device key: " + Text(key);
            return false;
        }
    }
    for (auto [reg, value] : writes)
        registers_[reg] = value;
    return true;
}

bool CSimDevice::ApplyInput(const std::vector<std::string_view>& words, std::string& error) {
    uint32_t n = 0;
    if (words.size() < 3 || !ParseNumber(words[1], kInputs, n) || n == 0) {
        error = "usage: input <1-8> none | key=value ...";
        return false;
    }
    const uint16_t base = static_cast<uint16_t>(100 * n);
    InputBase& inputBase = bases_[n - 1];
    if (words.size() == 3 && words[2] == "none") {
        for (int i = 0; i < 100; ++i)
            registers_[base + i] = 0;
        inputBase = InputBase{};
        return true;
    }
    std::vector<std::pair<uint16_t, uint16_t>> writes;
    std::optional<InputBase> newBase;
    bool typeGiven = false, presenceGiven = false;
    for (size_t i = 2; i < words.size(); ++i) {
        std::string_view key, text;
        if (!SplitKey(words[i], key, text)) {
            error = "expected key=value: " + Text(words[i]);
            return false;
        }
        if (key == "values") {
            InputBase values;
            for (;;) {
                const size_t comma = text.find(',');
                if (values.count == kValuesPerInput ||
                    !ParseFloat(text.substr(0, comma), values.values[values.count])) {
                    error = "bad values (up to 8 floats with a full stop): " + Text(words[i]);
                    return false;
                }
                ++values.count;
                if (comma == std::string_view::npos)
                    break;
                text = text.substr(comma + 1);
            }
            newBase = values;
            continue;
        }
        static constexpr std::pair<std::string_view, uint16_t> kKeys[] = {
            {"presence", 0}, {"valid", 1}, {"serial", 2}, {"type", 4}, {"format", 10}};
        uint32_t value = 0;
        const auto* found = std::find_if(std::begin(kKeys), std::end(kKeys),
                                         [&](const auto& entry) { return entry.first == key; });
        if (found == std::end(kKeys)) {
            error = "unknown input key: " + Text(key);
            return false;
        }
        if (!ParseNumber(text, 0xFFFF, value)) {
            error = "bad number: " + Text(words[i]);
            return false;
        }
        typeGiven |= key == "type";
        presenceGiven |= key == "presence";
        writes.emplace_back(static_cast<uint16_t>(base + found->second), value);
    }
    if (typeGiven && !presenceGiven)
        writes.emplace_back(base, 1);
    for (auto [reg, value] : writes)
        registers_[reg] = value;
    if (newBase) {
        inputBase = *newBase;
        for (int k = 0; k < inputBase.count; ++k) {
            SetFloat(static_cast<uint16_t>(base + 40 + 2 * k), inputBase.values[k]);
        }
    }
    return true;
}

void CSimDevice::LoadDemo() {
    static constexpr std::string_view kDemo[] = {
        "device id=23073 serial=4711 reg1=0x0103 reg42=0x020107",
        // TQ21: humidity, temperature
        "input 1 type=1 serial=2101 valid=0x3 values=45.3,21.7",
        // TQ22: probes 4 and 7 absent
        "input 2 type=7 serial=2202 valid=0xB7 "
        "values=21.5,22.1,20.9,0,19.4,-3.0,0,23.3",
        // TQ23: humidity, temperature, pressure
        "input 3 type=2 serial=2303 valid=0x7 values=55.2,19.8,1013.2",
        // TQ24 in hPa with one decimal
        "input 4 type=3 serial=2404 valid=0x1 format=0 values=1008.4",
        // TQ25: direction, speed
        "input 5 type=5 serial=2505 valid=0x3 values=225,3.4",
        // TQ26 in kLx with one decimal
        "input 6 type=4099 serial=2606 valid=0x1 format=0x2 values=12.5",
        // TQ28: permittivity, conductivity, humidity, temperature
        "input 7 type=4110 serial=2807 valid=0xF values=12.3,45.6,28.4,18.25",
        // binary input, on
        "input 8 type=8 serial=801 valid=0x1 values=1.0",
    };
    std::string error;
    for (std::string_view line : kDemo)
        Apply(line, error);
    drift_ = true;
}

void CSimDevice::UpdateDrift(double seconds) {
    if (!drift_)
        return;
    for (int n = 1; n <= kInputs; ++n) {
        const InputBase& inputBase = bases_[n - 1];
        const uint16_t base = static_cast<uint16_t>(100 * n);
        if (registers_[base + 4] == kBinaryType && inputBase.count > 0) {
            // A binary input toggles every 20 s, inputs out of step.
            const bool on = (static_cast<long>(seconds / 20.0) + n) % 2 == 0;
            SetFloat(base + 40, on ? 1.0f : 0.0f);
            continue;
        }
        for (int k = 0; k < inputBase.count; ++k) {
            // Slow bounded wander: a sine of its own period and phase around the configured value.
            const double value = inputBase.values[k];
            const double amplitude = std::clamp(std::abs(value) * 0.05, 0.5, 5.0);
            const double period = 45.0 + 7.0 * k + 11.0 * n;
            const double phase = 0.7 * n + 1.3 * k;
            const double wander =
                amplitude * std::sin(2.0 * std::numbers::pi * seconds / period + phase);
            SetFloat(static_cast<uint16_t>(base + 40 + 2 * k), static_cast<float>(value + wander));
        }
    }
}

bool CSimDevice::Touches(uint16_t first, unsigned count) const {
    for (uint16_t reg : failed_) {
        if (reg >= first && static_cast<unsigned>(reg - first) < count)
            return true;
    }
    return false;
}

SimOutcome CSimDevice::Handle(const std::vector<uint8_t>& frame) {
    SimOutcome outcome;
    if (frame.size() < 4)
        return outcome;
    const uint8_t address = frame[0];
    const bool broadcast = address == 0;
    if (address != address_ && !broadcast)
        return outcome;
    const uint8_t function = frame[1];
    const uint16_t word1 = frame.size() >= 4 ? static_cast<uint16_t>(frame[2] << 8 | frame[3]) : 0;
    uint16_t word2 = frame.size() >= 6 ? static_cast<uint16_t>(frame[4] << 8 | frame[5]) : 0;
    const bool known = (function == 3 || function == 4 || function == 6) && frame.size() == 8;
    if (known && function == 6)
        word2 = WriteValue(frame);
    outcome.log = "REQ " + std::to_string(function);
    if (frame.size() >= 8) {
        outcome.log += " " + std::to_string(word1) + " " + std::to_string(word2);
    }

    const unsigned touched = function == 6 ? 1 : word2;
    if (broadcast) {
        if (known && function == 6)
            registers_[word1] = word2;  // broadcasts are never answered
        return outcome;
    }
    if (silent_ || fault_ == FaultMode::Silence)
        return outcome;
    if (known && Touches(word1, touched))
        return outcome;

    outcome.reply = Answer(frame);
    Disturb(outcome.reply);
    if (fault_ == FaultMode::Slow)
        outcome.delay = slowDelay_;
    return outcome;
}

uint16_t CSimDevice::WriteValue(const std::vector<uint8_t>& frame) const {
    return writeLowFirst_ ? static_cast<uint16_t>(frame[5] << 8 | frame[4])
                          : static_cast<uint16_t>(frame[4] << 8 | frame[5]);
}

std::vector<uint8_t> CSimDevice::Answer(const std::vector<uint8_t>& frame) {
    const uint8_t function = frame[1];
    auto exception = [&](uint8_t code) {
        std::vector<uint8_t> reply{address_, static_cast<uint8_t>(function | 0x80), code};
        AppendCrc(reply);
        return reply;
    };
    const bool known = (function == 3 || function == 4 || function == 6) && frame.size() == 8;
    if (!known)
        return exception(kIllegalFunction);
    if (fault_ == FaultMode::Exception)
        return exception(kIllegalAddress);
    if (function == 6) {
        registers_[static_cast<uint16_t>(frame[2] << 8 | frame[3])] = WriteValue(frame);
        return frame;
    }

    const unsigned first = static_cast<unsigned>(frame[2] << 8 | frame[3]);
    const unsigned count = static_cast<unsigned>(frame[4] << 8 | frame[5]);
    if (count == 0 || count > 125)
        return exception(kIllegalValue);
    if (first + count > 65536)
        return exception(kIllegalAddress);
    std::vector<uint8_t> reply{address_, function, static_cast<uint8_t>(2 * count)};
    for (unsigned i = 0; i < count; ++i) {
        const uint16_t value = registers_[first + i];
        reply.push_back(static_cast<uint8_t>(value >> 8));
        reply.push_back(static_cast<uint8_t>(value & 0xFF));
    }
    AppendCrc(reply);
    return reply;
}

void CSimDevice::Disturb(std::vector<uint8_t>& reply) {
    switch (fault_) {
        case FaultMode::BadCrc:
            reply[reply.size() - 1] ^= 0xFF;
            reply[reply.size() - 2] ^= 0xFF;
            break;
        case FaultMode::WrongAddr:
            reply.resize(reply.size() - 2);
            reply[0] = static_cast<uint8_t>(address_ == 255 ? 1 : address_ + 1);
            AppendCrc(reply);
            break;
        case FaultMode::Truncated:
            reply.resize(reply.size() > 3 ? reply.size() - 3 : 1);
            break;
        case FaultMode::Noise: {
            std::uniform_int_distribution<int> count(1, 4), byte(0, 255);
            std::vector<uint8_t> noise(static_cast<size_t>(count(random_)));
            for (uint8_t& b : noise)
                b = static_cast<uint8_t>(byte(random_));
            reply.insert(reply.begin(), noise.begin(), noise.end());
            break;
        }
        default:
            break;
    }
}
