#pragma once
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
    void Push(float value);
    float At(std::size_t i) const;
    std::size_t Size() const { return wide ? floats.size() : fixed.size(); }
    void DropFront(std::size_t n);
    std::size_t Bytes() const { return fixed.size() * 2 + floats.size() * 4; }
    bool Wide() const { return wide; }

private:
    void Widen();

    std::deque<int16_t> fixed;
    std::deque<float> floats;
    bool wide = false;
    bool started = false;
    double scale = 10;
};
