#include "ui/MainLayout.h"

#include <algorithm>

namespace {

QRect FromEdges(int left, int top, int right, int bottom) {
    return QRect(left, top, right - left, bottom - top);
}

}  // namespace

int ClampLayoutMargin(int frameMetric) {
    return std::clamp(frameMetric, 2, 20);
}

MainLayout ComputeMainLayout(int cx, int cy, int margin, int statusHeight) {
    const int d = margin;
    MainLayout layout;
    layout.statusLine = FromEdges(d, d, cx - d, d + statusHeight);
    const int top = d + statusHeight + 2;
    const int bottom = cy - d;
    const int h = bottom - top;
    for (int i = 0; i < 8; ++i) {
        // Integer division truncates toward zero, also when the window is too small (h < 0).
        layout.valueControls[i] =
            FromEdges(d, top + d + (h * i) / 8, cx - d, top + (h * (i + 1)) / 8);
    }
    return layout;
}
