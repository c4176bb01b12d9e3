#include "trend/TrendColumn.h"

#include <cmath>

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
        // Enter the column at the extreme nearer to where the line is, so the joins between
        // columns stay short: half the pixels to paint when every column spans a wide range.
        const bool downward =
            !points.empty() && !std::isnan(points.back().y) &&
            std::fabs(points.back().y - c.max) < std::fabs(points.back().y - c.min);
        points.push_back({x, downward ? c.max : c.min});
        if (c.max != c.min)
            points.push_back({x, downward ? c.min : c.max});
        penDown = (c.flags & TrendColumn::BreakLast) == 0;
    }
    return points;
}
