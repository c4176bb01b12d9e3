#include "trend/CompactValues.h"

#include <cmath>
#include <limits>

#include "trend/CellValue.h"

void CCompactValues::SetDecimals(int decimals) {
    if (!started && decimals >= 0 && decimals <= 4) {
        scale = std::pow(10.0, decimals);
        places = decimals;
    }
}

float CCompactValues::At(std::size_t i) const {
    if (wide)
        return floats[i];
    const int16_t v = fixed[i];
    // Scaled as the readers turn text into values.
    return v == kBreak16 ? std::numeric_limits<float>::quiet_NaN()
                         : ScaledCell(v < 0 ? -v : v, places, v < 0);
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
