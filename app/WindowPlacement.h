#pragma once
#include <vector>

#include "settings/WindowRect.h"

// Smallest outer window size a stored rectangle is given at start.
constexpr int kMinWindowWidth = WindowRect::kMinWidth;
constexpr int kMinWindowHeight = WindowRect::kMinHeight;

// The rectangle the window starts with, from the one read from orvex.ini and the screens'
// available rectangles. An empty or inverted rectangle gives way to builtIn; the size is kept
// between the minimum and the extent of all screens; a window of which no screen shows a corner
// big enough to grab is moved (and if need be shrunk) onto the nearest screen. Edges are
// computed in 64 bits, so values from a damaged file cannot overflow.
WindowRect PlaceWindowRect(const WindowRect& stored, const WindowRect& builtIn,
                           const std::vector<WindowRect>& screens);
