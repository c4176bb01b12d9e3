#include "trend/SampleStore.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr float kBreak = std::numeric_limits<float>::quiet_NaN();

int64_t FloorDiv(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

}  // namespace

CSampleStore::CSampleStore(Options o) : options(o) {}

int CSampleStore::AddChannel(const ChannelInfo& info) {
    const int found = FindChannel(info.key);
    if (found >= 0)
        return found;
    Series s;
    s.info = info;
    const std::size_t next = base + times.size();
    s.first = inCycle ? next - 1 : next;
    channels.push_back(std::move(s));
    putThisCycle.push_back(false);
    return static_cast<int>(channels.size() - 1);
}

int CSampleStore::FindChannel(std::string_view key) const {
    for (std::size_t i = 0; i < channels.size(); ++i) {
        if (channels[i].info.key == key)
            return static_cast<int>(i);
    }
    return -1;
}

bool CSampleStore::BeginCycle(int64_t tMs) {
    inCycle = false;
    if (anyCycle) {
        const int64_t last = lastMs;
        const int64_t step = tMs - last;
        if (step < 0) {
            ++refused;
            return false;
        }
        if (step > 0 && (shortestStep == 0 || step < shortestStep))
            shortestStep = step;
        const int64_t limit =
            options.gapMs > 0 ? options.gapMs : std::max(shortestStep * 5 / 2, shortestStep + 2000);
        if (step > limit) {
            // A cycle of breaks right after the last one: nothing joins across the silence.
            silentSinceValue = true;
            const auto bucket = static_cast<int32_t>(FloorDiv(last + 1, kBaseBucketMs));
            for (Series& s : channels) {
                if (!options.paged)
                    s.values.Push(kBreak);
                AddToPyramid(s, bucket, kBreak);
            }
            if (!options.paged)
                times.push_back(last + 1);
            else if (!blocks.empty())
                NoteBlockCycle(blocks.back(), last + 1);
        }
    } else {
        firstMs = tMs;
        anyCycle = true;
    }
    lastMs = tMs;
    if (!options.paged)
        times.push_back(tMs);
    else if (!blocks.empty())
        NoteBlockCycle(blocks.back(), tMs);
    cycleBucket = static_cast<int32_t>(FloorDiv(tMs, kBaseBucketMs));
    std::fill(putThisCycle.begin(), putThisCycle.end(), uint8_t{0});
    cycleHasValue = false;
    inCycle = true;
    return true;
}

void CSampleStore::EndCycle() {
    if (!inCycle)
        return;
    inCycle = false;
    if (!cycleHasValue) {
        silentSinceValue = true;
    } else {
        if (silentSinceValue && seenValue)
            ++gaps;
        silentSinceValue = false;
        seenValue = true;
    }
    for (std::size_t c = 0; c < channels.size(); ++c) {
        if (!putThisCycle[c]) {
            if (!options.paged)
                channels[c].values.Push(kBreak);
            AddToPyramid(channels[c], cycleBucket, kBreak);
        }
    }
    if (options.pyramidBytes > 0 && storedBuckets * sizeof(Bucket) > options.pyramidBytes &&
        finestLevel < kLevels - 1) {
        DropFinestLevel();
    }
    if (options.maxCycles > 0 && times.size() > options.maxCycles + options.maxCycles / 64)
        Evict();
}

void CSampleStore::Advance(Series& s, int32_t bucket) {
    for (int level = 0; level < kLevels; ++level) {
        const int32_t index = bucket >> level;
        if (s.open[level].index == index)
            break;  // and so are the levels above
        Bucket& closing = s.open[level];
        if (closing.column.flags != 0) {
            if (level >= finestLevel) {
                s.levels[level].push_back(closing);
                ++storedBuckets;
            }
            if (level + 1 < kLevels)
                s.open[level + 1].column.Merge(closing.column);
        }
        closing = Bucket{index, {}};
    }
}

void CSampleStore::Evict() {
    const std::size_t drop = times.size() - options.maxCycles;
    times.erase(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(drop));
    base += drop;
    const int64_t oldest = times.front();
    for (Series& s : channels) {
        if (base > s.first) {
            s.values.DropFront(std::min(base - s.first, s.values.Size()));
            s.first = base;
        }
        for (int level = 0; level < kLevels; ++level) {
            auto& buckets = s.levels[level];
            // A bucket that began before the oldest cycle goes whole: it would draw evicted
            // values; at most its one column at the ring's old end stays empty instead.
            while (!buckets.empty() &&
                   static_cast<int64_t>(buckets.front().index) * LevelWidth(level) < oldest) {
                buckets.pop_front();
                --storedBuckets;
            }
            if (static_cast<int64_t>(s.open[level].index) * LevelWidth(level) < oldest)
                s.open[level].column = TrendColumn{};
        }
        bool any = false;
        for (std::size_t k = 0; k < s.values.Size() && !any; ++k)
            any = !std::isnan(s.values.At(k));
        s.anyValue = any;
    }
}

float CSampleStore::Value(int channel, std::size_t i) const {
    const Series& s = channels[channel];
    const std::size_t g = base + i;
    if (g < s.first || g - s.first >= s.values.Size())
        return kBreak;
    return s.values.At(g - s.first);
}

std::size_t CSampleStore::CycleAtOrAfter(int64_t tMs) const {
    return static_cast<std::size_t>(std::lower_bound(times.begin(), times.end(), tMs) -
                                    times.begin());
}

bool CSampleStore::HasValues(int channel) const {
    return channels[channel].anyValue;
}

std::vector<TrendColumn> CSampleStore::Columns(int channel, int64_t t0, int64_t t1, int n) const {
    std::vector<TrendColumn> out(static_cast<std::size_t>(std::max(n, 0)));
    if (n <= 0 || t1 <= t0 || channel < 0 || static_cast<std::size_t>(channel) >= channels.size())
        return out;
    const double width = static_cast<double>(t1 - t0) / n;
    if (width < static_cast<double>(LevelWidth(finestLevel))) {
        ColumnsFromSamples(channel, t0, width, n, out);
    } else {
        int level = static_cast<int>(std::floor(std::log2(width / kBaseBucketMs)));
        level = std::clamp(level, finestLevel, kLevels - 1);
        ColumnsFromLevel(channels[channel], level, t0, width, n, out);
    }
    return out;
}

void CSampleStore::ColumnsFromSamples(int channel, int64_t t0, double width, int n,
                                      std::vector<TrendColumn>& out) const {
    const int64_t t1 = t0 + static_cast<int64_t>(std::ceil(width * n));
    for (const Span& span : Spans(t0, t1)) {
        const CSampleStore& from = *span.store;
        for (std::size_t i = span.begin; i < span.end; ++i) {
            const float v = from.Value(channel, i);
            const auto col = std::min<int64_t>(
                static_cast<int64_t>(static_cast<double>(from.times[i] - t0) / width), n - 1);
            if (std::isnan(v))
                out[col].AddBreak();
            else
                out[col].AddValue(v);
        }
    }
}

void CSampleStore::ColumnsFromLevel(const Series& s, int level, int64_t t0, double width, int n,
                                    std::vector<TrendColumn>& out) const {
    const int64_t w = LevelWidth(level);
    const int64_t t1 = t0 + static_cast<int64_t>(std::ceil(width * n));
    const auto& buckets = s.levels[level];
    const int64_t firstIndex = FloorDiv(t0, w);
    auto it = std::lower_bound(buckets.begin(), buckets.end(), firstIndex,
                               [](const Bucket& b, int64_t i) { return b.index < i; });
    auto column = [&](int64_t start) {
        const auto col = static_cast<int64_t>(std::floor(static_cast<double>(start - t0) / width));
        return static_cast<std::size_t>(std::clamp<int64_t>(col, 0, n - 1));
    };
    for (; it != buckets.end(); ++it) {
        const int64_t start = static_cast<int64_t>(it->index) * w;
        if (start >= t1)
            break;
        out[column(start)].Merge(it->column);
    }
    // The buckets still being filled, from this level down, hold the newest samples in order.
    for (int k = level; k >= 0 && s.started; --k) {
        const Bucket& b = s.open[k];
        const int64_t start = static_cast<int64_t>(b.index >> (level - k)) * w;
        if (b.column.flags != 0 && start >= firstIndex * w && start < t1)
            out[column(start)].Merge(b.column);
    }
}

std::optional<CSampleStore::Sample> CSampleStore::Nearest(int channel, int64_t tMs,
                                                          int64_t maxDistanceMs) const {
    if (channel < 0 || static_cast<std::size_t>(channel) >= channels.size() || Empty())
        return std::nullopt;
    const std::vector<Span> spans = Spans(tMs - maxDistanceMs, tMs + maxDistanceMs + 1);
    std::optional<Sample> best;
    auto consider = [&](const CSampleStore& from, std::size_t i) {
        const float v = from.Value(channel, i);
        if (std::isnan(v))
            return false;
        const int64_t t = from.times[i];
        if (!best || std::llabs(t - tMs) < std::llabs(best->tMs - tMs))
            best = Sample{t, v};
        return true;
    };
    // The first valid sample on either side of tMs.
    bool found = false;
    for (auto span = spans.begin(); span != spans.end() && !found; ++span) {
        for (std::size_t i = std::max(span->begin, span->store->CycleAtOrAfter(tMs));
             i < span->end && !found; ++i) {
            found = consider(*span->store, i);
        }
    }
    found = false;
    for (auto span = spans.rbegin(); span != spans.rend() && !found; ++span) {
        for (std::size_t i = std::min(span->end, span->store->CycleAtOrAfter(tMs));
             i > span->begin && !found; --i) {
            found = consider(*span->store, i - 1);
        }
    }
    return best;
}

void CSampleStore::AddSamples(int channel, int64_t t0, int64_t t1, TrendColumn& into) const {
    if (t1 <= t0)
        return;
    for (const Span& span : Spans(t0, t1)) {
        for (std::size_t i = span.begin; i < span.end; ++i) {
            const float v = span.store->Value(channel, i);
            if (!std::isnan(v))
                into.AddValue(v);
        }
    }
}

bool CSampleStore::WholeBucket(const Series& s, int level, int64_t index, TrendColumn& into) const {
    const auto& closed = s.levels[level];
    auto it = std::lower_bound(closed.begin(), closed.end(), index,
                               [](const Bucket& b, int64_t i) { return b.index < i; });
    if (it != closed.end() && it->index == index) {
        into = it->column;
        return true;
    }
    if (!s.started || s.open[level].index != index)
        return false;
    // Still being filled: its own closed children plus the open ones beneath it.
    into = TrendColumn{};
    for (int k = level; k >= 0; --k)
        into.Merge(s.open[k].column);
    return true;
}

namespace {

// Sums in double across buckets: a year of them would strain a float.
struct StatisticsSum {
    CSampleStore::Statistics s;
    void Add(const TrendColumn& c) {
        if (!c.HasValues())
            return;
        s.min = s.count == 0 || c.min < s.min ? c.min : s.min;
        s.max = s.count == 0 || c.max > s.max ? c.max : s.max;
        s.sum += static_cast<double>(c.sum);
        s.count += c.count;
    }
};

}  // namespace

CSampleStore::Statistics CSampleStore::RangeStatistics(int channel, int64_t t0, int64_t t1) const {
    StatisticsSum total;
    if (channel < 0 || static_cast<std::size_t>(channel) >= channels.size() || t1 <= t0)
        return total.s;
    const Series& s = channels[channel];
    auto samples = [&](int64_t from, int64_t to) {
        TrendColumn c;
        AddSamples(channel, from, to, c);
        total.Add(c);
    };
    const int64_t w = LevelWidth(finestLevel);
    int64_t lo = FloorDiv(t0 + w - 1, w);  // the first whole bucket
    int64_t hi = FloorDiv(t1, w);          // after the last one
    if (lo >= hi) {
        samples(t0, t1);
        return total.s;
    }
    samples(t0, lo * w);
    samples(hi * w, t1);
    // Whole buckets, the widest that fit: an odd index at either end is a bucket of its own at
    // this level, the rest pair up into the level above.
    TrendColumn bucket;
    int level = finestLevel;
    for (; lo < hi && level < kLevels - 1; ++level, lo >>= 1, hi >>= 1) {
        if ((lo & 1) != 0 && WholeBucket(s, level, lo++, bucket))
            total.Add(bucket);
        if (lo < hi && (hi & 1) != 0 && WholeBucket(s, level, --hi, bucket))
            total.Add(bucket);
    }
    for (; lo < hi; ++lo) {
        if (WholeBucket(s, level, lo, bucket))
            total.Add(bucket);
    }
    return total.s;
}

std::size_t CSampleStore::MemoryBytes() const {
    std::size_t bytes = sizeof(*this) + times.size() * sizeof(int64_t);
    for (const Series& s : channels) {
        bytes += sizeof(Series) + s.values.Bytes();
        for (const auto& level : s.levels)
            bytes += level.size() * sizeof(Bucket);
    }
    return bytes;
}
