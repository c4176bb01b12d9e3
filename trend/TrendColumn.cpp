#include "trend/TrendColumn.h"

#include <cmath>

void TrendColumn::AddValue(float v) {
    if (!HasValues()) {
        min = max = v;
    } else {
        min = v < min ? v : min;
        max = v > max ? v : max;
    }
    flags = static_cast<uint8_t>((flags | HasValue) & ~BreakLast);
}

void TrendColumn::AddBreak() {
    if (!HasValues())
        flags |= BreakFirst;
    flags |= HasBreak | BreakLast;
}

void TrendColumn::Merge(const TrendColumn& later) {
    if (!later.HasValues()) {
        if ((later.flags & HasBreak) != 0)
            AddBreak();
        return;
    }
    if (!HasValues()) {
        const bool breakBefore = (flags & HasBreak) != 0;
        *this = later;
        if (breakBefore)
            flags |= HasBreak | BreakFirst;
        return;
    }
    min = later.min < min ? later.min : min;
    max = later.max > max ? later.max : max;
    flags = static_cast<uint8_t>((flags & (HasValue | HasBreak | BreakFirst)) |
                                 (later.flags & (HasBreak | BreakLast)));
}

std::vector<TrendPoint> ColumnsToPolyline(const std::vector<TrendColumn>& columns, double x0,
                                          double dx) {
    std::vector<TrendPoint> points;
    points.reserve(columns.size() * 2);
    bool penDown = false;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const TrendColumn& c = columns[i];
        if (!c.HasValues()) {
            if ((c.flags & TrendColumn::HasBreak) != 0)
                penDown = false;
            continue;
        }
        if ((c.flags & TrendColumn::BreakFirst) != 0 || !penDown) {
            if (!points.empty())
                points.push_back({x0 + (static_cast<double>(i) + 0.5) * dx, std::nan("")});
        }
        const double x = x0 + (static_cast<double>(i) + 0.5) * dx;
        points.push_back({x, c.min});
        if (c.max != c.min)
            points.push_back({x, c.max});
        penDown = (c.flags & TrendColumn::BreakLast) == 0;
    }
    return points;
}
