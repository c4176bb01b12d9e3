#include "app/WindowPlacement.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace {

// Part of the window a screen must show for the user to reach it.
constexpr std::int64_t kGrip = 48;

struct Rect {
    std::int64_t left, top, right, bottom;
    std::int64_t Width() const { return right - left; }
    std::int64_t Height() const { return bottom - top; }
};

Rect From(const WindowRect& r) {
    return Rect{r.left, r.top, r.right, r.bottom};
}

Rect Intersection(const Rect& a, const Rect& b) {
    return Rect{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                std::min(a.bottom, b.bottom)};
}

std::int64_t Area(const Rect& r) {
    return r.Width() > 0 && r.Height() > 0 ? r.Width() * r.Height() : 0;
}

// Gap between the two along one axis; 0 when they overlap there.
std::int64_t Gap(std::int64_t lowA, std::int64_t highA, std::int64_t lowB, std::int64_t highB) {
    return std::max<std::int64_t>({0, lowB - highA, lowA - highB});
}

bool Reachable(const Rect& window, const Rect& screen) {
    const Rect seen = Intersection(window, screen);
    return seen.Width() >= std::min(kGrip, window.Width()) &&
           seen.Height() >= std::min(kGrip, window.Height());
}

// The screen the window overlaps most, or else the one closest to it.
const Rect& Nearest(const Rect& window, const std::vector<Rect>& screens) {
    const Rect* best = &screens.front();
    std::int64_t bestArea = -1;
    double bestDistance = 0;
    for (const Rect& screen : screens) {
        const std::int64_t area = Area(Intersection(window, screen));
        const double dx =
            static_cast<double>(Gap(window.left, window.right, screen.left, screen.right));
        const double dy =
            static_cast<double>(Gap(window.top, window.bottom, screen.top, screen.bottom));
        const double distance = dx * dx + dy * dy;
        if (area > bestArea || (area == 0 && bestArea == 0 && distance < bestDistance)) {
            best = &screen;
            bestArea = area;
            bestDistance = distance;
        }
    }
    return *best;
}

std::int64_t Clamp(std::int64_t value, std::int64_t low, std::int64_t high) {
    return std::max(low, std::min(value, high));
}

}  // namespace

WindowRect PlaceWindowRect(const WindowRect& stored, const WindowRect& builtIn,
                           const std::vector<WindowRect>& screenRects) {
    Rect window = From(stored);
    if (window.Width() <= 0 || window.Height() <= 0) {
        window = From(builtIn);
    }
    std::vector<Rect> screens;
    for (const WindowRect& s : screenRects) {
        if (s.right > s.left && s.bottom > s.top) {
            screens.push_back(From(s));
        }
    }

    std::int64_t maxWidth = std::numeric_limits<int>::max() / 2;
    std::int64_t maxHeight = maxWidth;
    if (!screens.empty()) {
        Rect extent = screens.front();
        for (const Rect& s : screens) {
            extent = Rect{std::min(extent.left, s.left), std::min(extent.top, s.top),
                          std::max(extent.right, s.right), std::max(extent.bottom, s.bottom)};
        }
        maxWidth = std::max<std::int64_t>(extent.Width(), kMinWindowWidth);
        maxHeight = std::max<std::int64_t>(extent.Height(), kMinWindowHeight);
    }
    window.right = window.left + Clamp(window.Width(), kMinWindowWidth, maxWidth);
    window.bottom = window.top + Clamp(window.Height(), kMinWindowHeight, maxHeight);

    const bool reachable = std::any_of(screens.begin(), screens.end(),
                                       [&](const Rect& s) { return Reachable(window, s); });
    if (!screens.empty() && !reachable) {
        const Rect& screen = Nearest(window, screens);
        const std::int64_t width =
            std::min(window.Width(), std::max<std::int64_t>(screen.Width(), kMinWindowWidth));
        const std::int64_t height =
            std::min(window.Height(), std::max<std::int64_t>(screen.Height(), kMinWindowHeight));
        window.left = Clamp(window.left, screen.left, screen.right - width);
        window.top = Clamp(window.top, screen.top, screen.bottom - height);
        window.right = window.left + width;
        window.bottom = window.top + height;
    }

    // Without screens to go by, at least keep the edges within the int range.
    constexpr std::int64_t kLow = std::numeric_limits<int>::min();
    constexpr std::int64_t kHigh = std::numeric_limits<int>::max();
    const std::int64_t left = Clamp(window.left, kLow, kHigh - window.Width());
    const std::int64_t top = Clamp(window.top, kLow, kHigh - window.Height());
    return WindowRect{static_cast<int>(left), static_cast<int>(top),
                      static_cast<int>(left + window.Width()),
                      static_cast<int>(top + window.Height())};
}
