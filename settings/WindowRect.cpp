#include "settings/WindowRect.h"

#include <algorithm>
#include <cstdint>
#include <limits>

WindowRect ClampWindowRect(WindowRect rect, int screenWidth, int screenHeight) {
    // 64-bit arithmetic: the edges come from a file and may be anywhere in the int range.
    std::int64_t left = rect.left, top = rect.top, right = rect.right, bottom = rect.bottom;
    if (right > std::int64_t{screenWidth} + 10) {
        left -= right - screenWidth;
        right = screenWidth;
    }
    if (bottom > std::int64_t{screenHeight} + 10) {
        top -= bottom - screenHeight;
        bottom = screenHeight;
    }
    if (top < -10) {
        top = 0;
    }
    if (left < -10) {
        left = 0;
    }
    auto toInt = [](std::int64_t v) {
        return static_cast<int>(std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(),
                                                         std::numeric_limits<int>::max()));
    };
    return WindowRect{toInt(left), toInt(top), toInt(right), toInt(bottom)};
}
