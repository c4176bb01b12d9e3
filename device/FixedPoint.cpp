#include "device/FixedPoint.h"

#include <cmath>
#include <cstdint>
#include <limits>

bool ToFixedPoint(double value, int decimals, int16_t& out) {
    constexpr int32_t kMin = std::numeric_limits<int16_t>::min();
    constexpr int32_t kMax = std::numeric_limits<int16_t>::max();
    if (std::isnan(value)) {
        out = 0;
        return false;
    }
    // One extra decimal is kept, truncated, and then rounded by adding 5 to it.
    const double scaled = std::fabs(value) * std::pow(10.0, decimals + 1);
    // Far beyond int16 anyway; also keeps the conversion below defined.
    if (scaled >= 1e15) {
        out = static_cast<int16_t>(value < 0 ? kMin : kMax);
        return false;
    }
    const int64_t magnitude = (static_cast<int64_t>(scaled) + 5) / 10;
    const int64_t result = value < 0 ? -magnitude : magnitude;
    if (result < kMin || result > kMax) {
        out = static_cast<int16_t>(result < 0 ? kMin : kMax);
        return false;
    }
    out = static_cast<int16_t>(result);
    return true;
}
