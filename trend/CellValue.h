#pragma once
#include <cstdint>
#include <string_view>

// A value cell of the text recording: "-12.34", "1013", "???" (NaN, decimals -1), or a binary
// input's "1 - włączone" / "0 - wyłączone" (the state). False for anything else.
bool ParseRecordingCell(std::string_view cell, float& value, int& decimals);

// The value of a cell's digits: mantissa / 10^places (places 0..6), rounded to float. Below 2^24
// a multiplication by the inverse stands in for the slow division: a quotient of such numbers
// lies at least 2^-44 (relative) from where float rounding turns, far beyond the product's error,
// so both round to the same float.
inline float ScaledCell(int64_t mantissa, int places, bool negative) {
    static constexpr double kScale[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
    static constexpr double kInverse[] = {1, 1e-1, 1e-2, 1e-3, 1e-4, 1e-5, 1e-6};
    const double m = negative ? -static_cast<double>(mantissa) : static_cast<double>(mantissa);
    return static_cast<float>(mantissa < (int64_t{1} << 24) ? m * kInverse[places]
                                                            : m / kScale[places]);
}
