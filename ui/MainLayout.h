#pragma once
#include <QRect>
#include <array>

// Where the main window puts its status line and its eight value controls for a client area
// of cx by cy pixels. Each control is cut from an equal share of the space below the status
// line and keeps a gap of `margin` above it.
struct MainLayout {
    QRect statusLine;
    std::array<QRect, 8> valueControls;
};

// The margin clamped to the range the layout accepts.
int ClampLayoutMargin(int frameMetric);

// Rectangles are given by their edges: right and bottom exclusive, as the window system
// reports client sizes.
MainLayout ComputeMainLayout(int cx, int cy, int margin, int statusHeight);
