#pragma once
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <deque>

// The values of one channel, two bytes each while every value is a whole number of its decimal
// steps within 16 bits (as the device's fixed-point values are), floats from the first value that
// is not. A break (NaN) is the one 16-bit value the device's values never need here: -32768.
class CCompactValues {
public:
    // Before the first value: the channel's digits after the decimal point.
    void SetDecimals(int decimals);
    // Inline: called once per value of every file read.
    void Push(float value) {
        started = true;
        if (!wide) {
            if (std::isnan(value)) {
                fixed.push_back(kBreak16);
                return;
            }
            const double steps = static_cast<double>(value) * scale;
            if (steps > -32767.5 && steps < 32767.5) {
                const auto whole = static_cast<int16_t>(steps + (steps < 0 ? -0.5 : 0.5));
                if (std::fabs(steps - whole) < 0.01) {
                    fixed.push_back(whole);
                    return;
                }
            }
            Widen();
        }
        floats.push_back(value);
    }
    float At(std::size_t i) const;
    std::size_t Size() const { return wide ? floats.size() : fixed.size(); }
    void DropFront(std::size_t n);
    std::size_t Bytes() const { return fixed.size() * 2 + floats.size() * 4; }
    bool Wide() const { return wide; }
    bool Started() const { return started; }

private:
    static constexpr int16_t kBreak16 = -32768;

    void Widen();

    std::deque<int16_t> fixed;
    std::deque<float> floats;
    bool wide = false;
    bool started = false;
    double scale = 10;
    int places = 1;
};
