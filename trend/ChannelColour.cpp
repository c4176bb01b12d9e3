#include "trend/ChannelColour.h"

#include <cmath>
#include <cstdlib>
#include <string_view>

namespace {

// Eight hues far apart, one per input: blue, red, green, purple, orange, teal, pink, olive.
constexpr int kHues[8] = {210, 355, 125, 275, 28, 182, 318, 75};

int Slot(const ChannelInfo& c) {
    if (c.input >= 1 && c.input <= 8)
        return c.input - 1;
    // FNV-1a: stable across runs and platforms, unlike std::hash.
    uint32_t h = 2166136261u;
    for (std::string_view part : {std::string_view(c.model), std::string_view(c.serial)}) {
        for (char ch : part) {
            h ^= static_cast<unsigned char>(ch);
            h *= 16777619u;
        }
    }
    return static_cast<int>(h % 8);
}

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

// 0 for the sensor's main quantity, then one step per further quantity or probe.
int Variant(const ChannelInfo& c) {
    const std::string_view q = c.quantity;
    if (StartsWith(q, "Temperatura")) {
        const std::string_view probe = q.substr(std::string_view("Temperatura").size());
        return probe.empty() ? 0 : std::atoi(std::string(probe).c_str()) - 1;
    }
    if (StartsWith(q, "Wilgotno"))
        return 1;
    if (StartsWith(q, "Ciśnienie"))
        return 2;
    if (StartsWith(q, "Prędko"))
        return 3;
    if (StartsWith(q, "Kierunek"))
        return 4;
    return 5;
}

uint32_t FromHsv(double hue, double saturation, double value) {
    const double c = value * saturation;
    const double h = std::fmod(hue, 360.0) / 60.0;
    const double x = c * (1 - std::fabs(std::fmod(h, 2.0) - 1));
    double r = 0, g = 0, b = 0;
    switch (static_cast<int>(h)) {
        case 0:
            r = c, g = x;
            break;
        case 1:
            r = x, g = c;
            break;
        case 2:
            g = c, b = x;
            break;
        case 3:
            g = x, b = c;
            break;
        case 4:
            r = x, b = c;
            break;
        default:
            r = c, b = x;
            break;
    }
    const double m = value - c;
    auto byte = [m](double v) { return static_cast<uint32_t>(std::lround((v + m) * 255)); };
    return byte(r) << 16 | byte(g) << 8 | byte(b);
}

}  // namespace

double Luminance(uint32_t rgb) {
    return (0.2126 * ((rgb >> 16) & 0xFF) + 0.7152 * ((rgb >> 8) & 0xFF) + 0.0722 * (rgb & 0xFF)) /
           255;
}

uint32_t ChannelColour(const ChannelInfo& c) {
    const int hue = kHues[Slot(c)];
    if (c.binary)
        return FromHsv(hue, 0.35, 0.45);  // a muted step strip beneath the measured lines
    // Shades of the input's hue: a small hue turn and three brightness levels, so the eight
    // probes of one sensor stay apart from each other and from the neighbouring hues.
    const int v = std::abs(Variant(c)) % 9;
    static constexpr double kValues[3] = {0.78, 0.55, 0.95};
    static constexpr double kSaturations[3] = {0.85, 0.9, 0.55};
    static constexpr double kTurns[3] = {0, 8, -8};
    const double turn = kTurns[v % 3];
    double value = kValues[v / 3 % 3];
    const double saturation = kSaturations[v / 3 % 3];
    uint32_t rgb = FromHsv(hue + 360 + turn, saturation, value);
    // Light hues (olive, orange) are darkened until a thin line reads on white.
    while (Luminance(rgb) > 0.5 && value > 0.3) {
        value -= 0.05;
        rgb = FromHsv(hue + 360 + turn, saturation, value);
    }
    return rgb;
}
