#pragma once

// Outer window rectangle in screen coordinates; right and bottom are exclusive edges.
struct WindowRect {
    // Smallest window that still shows its menu and can be grabbed and resized.
    static constexpr int kMinWidth = 240;
    static constexpr int kMinHeight = 160;

    int left = 100;
    int top = 100;
    int right = 700;
    int bottom = 500;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const WindowRect&) const = default;
};

// Moves a window left beyond the right or bottom screen edge (by more than 10 pixels) back
// inside, keeping its size; a top or left edge more than 10 pixels off screen becomes 0.
WindowRect ClampWindowRect(WindowRect rect, int screenWidth, int screenHeight);
