#include "trend/CompactValues.h"

#include <cmath>
#include <limits>

namespace {

constexpr int16_t kBreak16 = std::numeric_limits<int16_t>::min();

}  // namespace

void CCompactValues::SetDecimals(int decimals) {
    if (!started && decimals >= 0 && decimals <= 4)
        scale = std::pow(10.0, decimals);
}

void CCompactValues::Push(float value) {
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

float CCompactValues::At(std::size_t i) const {
    if (wide)
        return floats[i];
    const int16_t v = fixed[i];
    // Divided in double and rounded once, as the readers turn text into values.
    return v == kBreak16 ? std::numeric_limits<float>::quiet_NaN()
                         : static_cast<float>(static_cast<double>(v) / scale);
}

void CCompactValues::DropFront(std::size_t n) {
    if (wide)
        floats.erase(floats.begin(), floats.begin() + static_cast<std::ptrdiff_t>(n));
    else
        fixed.erase(fixed.begin(), fixed.begin() + static_cast<std::ptrdiff_t>(n));
}

void CCompactValues::Widen() {
    for (std::size_t i = 0; i < fixed.size(); ++i)
        floats.push_back(At(i));
    fixed.clear();
    fixed.shrink_to_fit();
    wide = true;
}
