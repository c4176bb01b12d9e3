#pragma once
#include <cstdint>
#include <vector>

// What one pixel column (or one pyramid bucket) holds: min and max of its values, and where its
// breaks lie relative to them, so neighbouring columns know whether a line may join them; the sum
// and count of its values give statistics of any range from a few buckets.
struct TrendColumn {
    enum : uint8_t {
        HasValue = 1,
        HasBreak = 2,
        BreakFirst = 4,  // a break comes before the first value (or there is no value)
        BreakLast = 8,   // a break comes after the last value (or there is no value)
    };
    float min = 0;
    float max = 0;
    float sum = 0;  // a float's 7 digits are plenty for a mean shown with one or two decimals
    uint32_t count = 0;
    uint8_t flags = 0;

    bool HasValues() const { return (flags & HasValue) != 0; }
    void AddValue(float v);
    void AddBreak();
    // Appends what comes later in time.
    void Merge(const TrendColumn& later);
};

// Inline: these run for every sample stored.
inline void TrendColumn::AddValue(float v) {
    if (!HasValues()) {
        min = max = v;
    } else {
        min = v < min ? v : min;
        max = v > max ? v : max;
    }
    sum += v;
    ++count;
    flags = static_cast<uint8_t>((flags | HasValue) & ~BreakLast);
}

inline void TrendColumn::AddBreak() {
    if (!HasValues())
        flags |= BreakFirst;
    flags |= HasBreak | BreakLast;
}

inline void TrendColumn::Merge(const TrendColumn& later) {
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
    sum += later.sum;
    count += later.count;
    flags = static_cast<uint8_t>((flags & (HasValue | HasBreak | BreakFirst)) |
                                 (later.flags & (HasBreak | BreakLast)));
}

// A point of the polyline to draw; a NaN y lifts the pen.
struct TrendPoint {
    double x;
    double y;
};

// One min/max pair per column at the column's centre, joined to the previous column with a value
// unless a break lies between them. x of column i is x0 + (i + 0.5) * dx.
std::vector<TrendPoint> ColumnsToPolyline(const std::vector<TrendColumn>& columns, double x0,
                                          double dx);
