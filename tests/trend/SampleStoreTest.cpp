#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "tests/trend/TrendFiles.h"
#include "trend/CompactValues.h"
#include "trend/LiveFeed.h"
#include "trend/SampleStore.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
// A grid-aligned start, so a column of 2^k base buckets is exactly one pyramid bucket.
constexpr int64_t kT0 = 1700000000LL * 1000 / (16000LL << 10) * (16000LL << 10);

ChannelInfo Named(const std::string& key) {
    ChannelInfo c;
    c.key = key;
    c.title = key;
    return c;
}

std::size_t Breaks(const std::vector<TrendPoint>& line) {
    std::size_t n = 0;
    for (const auto& p : line)
        n += std::isnan(p.y) ? 1 : 0;
    return n;
}

TEST(SampleStore, PyramidColumnsMatchTheSamplesAtEveryLevel) {
    CSampleStore store;
    const int c = store.AddChannel(Named("a"));
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> value(-50, 50);
    std::vector<float> samples;
    const int count = 3 * 86400;
    for (int i = 0; i < count; ++i) {
        // Occasional failed readings; cycles stay 1 s apart so no time gap is inserted.
        const float v = (rng() % 97 == 0) ? kNaN : value(rng);
        samples.push_back(v);
        store.BeginCycle(kT0 + i * 1000LL);
        if (!std::isnan(v))
            store.Put(c, v);
        store.EndCycle();
    }
    for (int level : {0, 1, 4, 9}) {
        const int64_t w = CSampleStore::kBaseBucketMs << level;
        const int n = static_cast<int>(std::min<int64_t>(count * 1000LL / w - 4, 400));
        const int64_t t0 = kT0 + 3 * w;
        const auto columns = store.Columns(c, t0, t0 + n * w, n);
        for (int col = 0; col < n; ++col) {
            float lo = INFINITY, hi = -INFINITY;
            for (int64_t t = t0 + col * w; t < t0 + (col + 1) * w; t += 1000) {
                const float v = samples[(t - kT0) / 1000];
                if (!std::isnan(v)) {
                    lo = std::min(lo, v);
                    hi = std::max(hi, v);
                }
            }
            ASSERT_TRUE(columns[col].HasValues()) << "level " << level << " column " << col;
            EXPECT_EQ(columns[col].min, lo) << "level " << level << " column " << col;
            EXPECT_EQ(columns[col].max, hi) << "level " << level << " column " << col;
        }
    }
    // Zoomed in below one bucket the samples themselves are used: one per column here.
    const auto fine = store.Columns(c, kT0, kT0 + 100 * 1000, 100);
    for (int i = 0; i < 100; ++i) {
        if (std::isnan(samples[i]))
            EXPECT_FALSE(fine[i].HasValues());
        else
            EXPECT_EQ(fine[i].min, samples[i]);
    }
}

TEST(SampleStore, NewestSamplesAreDrawnBeforeTheirBucketCloses) {
    CSampleStore store;
    const int c = store.AddChannel(Named("a"));
    for (int i = 0; i < 20; ++i) {
        store.BeginCycle(kT0 + i * 1000LL);
        store.Put(c, static_cast<float>(i));
        store.EndCycle();
    }
    // One column for a whole day: level buckets hold up to 16 s, the open one the rest.
    const auto day = store.Columns(c, kT0, kT0 + 86400000, 10);
    EXPECT_EQ(day[0].min, 0);
    EXPECT_EQ(day[0].max, 19);
}

TEST(SampleStore, SilenceFailedValueAndMissingSensorBreakTheLine) {
    CSampleStore store;  // the gap limit follows the shortest step: 1 s here
    const int a = store.AddChannel(Named("a"));
    const int b = store.AddChannel(Named("b"));
    auto cycle = [&](int s, float va, bool withB) {
        store.BeginCycle(kT0 + s * 1000LL);
        store.Put(a, va);
        if (withB)
            store.Put(b, 1.0f);
        store.EndCycle();
    };
    for (int s = 0; s < 10; ++s)
        cycle(s, 1.0f, true);
    cycle(11, 1.0f, true);  // a 2 s step is jitter, not a gap
    cycle(60, 2.0f, true);  // 49 s of silence
    cycle(61, 2.0f, true);
    cycle(62, kNaN, true);   // a failed value
    cycle(63, 3.0f, false);  // b's sensor gone
    cycle(64, 3.0f, true);
    EXPECT_EQ(store.TimeGaps(), 1u);
    auto lineOf = [&](int channel) {
        return ColumnsToPolyline(store.Columns(channel, kT0, kT0 + 65000, 65), 0, 1);
    };
    EXPECT_EQ(Breaks(lineOf(a)), 2u);  // the silence and the failed value
    EXPECT_EQ(Breaks(lineOf(b)), 2u);  // the silence and the missing sensor
    // From the pyramid (16 s buckets) the silence still cuts the line.
    const auto coarse = store.Columns(a, kT0, kT0 + 130000, 8);
    EXPECT_EQ(Breaks(ColumnsToPolyline(coarse, 0, 1)), 1u);
}

TEST(SampleStore, ColumnsAcrossABreakAreNotJoined) {
    TrendColumn before, empty, after;
    before.AddValue(1);
    before.AddBreak();
    after.AddValue(2);
    EXPECT_EQ(Breaks(ColumnsToPolyline({before, empty, after}, 0, 1)), 1u);
    TrendColumn plain;
    plain.AddValue(1);
    EXPECT_EQ(Breaks(ColumnsToPolyline({plain, empty, after}, 0, 1)), 0u);
    // A break merged into a column ahead of its values cuts the line before that column.
    TrendColumn leading;
    leading.AddBreak();
    leading.Merge(after);
    EXPECT_EQ(Breaks(ColumnsToPolyline({plain, leading}, 0, 1)), 1u);
}

TEST(SampleStore, PolylineJoinsColumnsAtTheirNearerExtremes) {
    TrendColumn low, high;
    for (float v : {0.0f, 100.0f})
        low.AddValue(v), high.AddValue(v + 10);
    const auto line = ColumnsToPolyline({low, high, low}, 0, 1);
    ASSERT_EQ(line.size(), 6u);
    // Up through the first column, then down through the second from its top: joins of 10.
    EXPECT_EQ(line[1].y, 100);
    EXPECT_EQ(line[2].y, 110);
    EXPECT_EQ(line[3].y, 10);
    EXPECT_EQ(line[4].y, 0);
}

TEST(SampleStore, RingKeepsTheNewestCyclesInBoundedMemory) {
    CSampleStore::Options o;
    o.maxCycles = 6400;
    o.gapMs = 15000;
    CSampleStore store(o);
    const int c = store.AddChannel(Named("a"));
    std::size_t memoryAtFull = 0;
    for (int i = 0; i < 50000; ++i) {
        store.BeginCycle(kT0 + i * 1000LL);
        store.Put(c, static_cast<float>(i));
        store.EndCycle();
        if (i == 10000)
            memoryAtFull = store.MemoryBytes();
    }
    EXPECT_LE(store.CycleCount(), o.maxCycles + o.maxCycles / 64);
    EXPECT_EQ(store.LastTime(), kT0 + 49999 * 1000LL);
    EXPECT_EQ(store.Value(c, store.CycleCount() - 1), 49999.0f);
    EXPECT_EQ(store.Value(c, 0), static_cast<float>((store.FirstTime() - kT0) / 1000));
    EXPECT_LT(store.MemoryBytes(), memoryAtFull * 11 / 10);
    // Nothing older than the retained cycles is drawn.
    const auto old = store.Columns(c, kT0, store.FirstTime() - 16000 * 4, 10);
    for (const auto& col : old)
        EXPECT_FALSE(col.HasValues());
}

TEST(SampleStore, TimeGoingBackIsRefused) {
    CSampleStore store;
    const int c = store.AddChannel(Named("a"));
    EXPECT_TRUE(store.BeginCycle(kT0 + 5000));
    store.Put(c, 1);
    store.EndCycle();
    EXPECT_FALSE(store.BeginCycle(kT0));
    store.Put(c, 2);
    store.EndCycle();
    EXPECT_EQ(store.CycleCount(), 1u);
    EXPECT_EQ(store.RefusedCycles(), 1u);
}

TEST(SampleStore, RangeStatisticsAgreeWithTheSamples) {
    CSampleStore store;
    const int c = store.AddChannel(Named("a"));
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> tenths(-500, 1500);
    int64_t t = kT0 + 3500;  // off the grid
    for (int i = 0; i < 5 * 86400; ++i) {
        // Failed readings, and a silence of an hour on the second day.
        t += i == 100000 ? 3600000 : 1000;
        ASSERT_TRUE(store.BeginCycle(t));
        if (i % 97 != 13)
            store.Put(c, static_cast<float>(tenths(rng)) / 10);
        store.EndCycle();
    }
    auto direct = [&](int64_t t0, int64_t t1) {
        CSampleStore::Statistics d;
        for (std::size_t i = store.CycleAtOrAfter(t0);
             i < store.CycleCount() && store.CycleTime(i) < t1; ++i) {
            const float v = store.Value(c, i);
            if (std::isnan(v))
                continue;
            d.min = d.count == 0 ? v : std::min(d.min, v);
            d.max = d.count == 0 ? v : std::max(d.max, v);
            d.sum += v;
            ++d.count;
        }
        return d;
    };
    std::uniform_int_distribution<int64_t> at(store.FirstTime() - 60000, store.LastTime() + 60000);
    std::vector<std::pair<int64_t, int64_t>> ranges = {
        {store.FirstTime(), store.LastTime() + 1},  // everything, the open buckets included
        {kT0 + 16000, kT0 + 32000},                 // one bucket exactly
        {kT0 + 20000, kT0 + 20500},                 // within one
        {store.LastTime() - 5000, store.LastTime() + 1},
    };
    for (int k = 0; k < 200; ++k) {
        const int64_t a = at(rng);
        const int64_t b = at(rng);
        ranges.emplace_back(std::min(a, b), std::max(a, b));
    }
    for (const auto& [t0, t1] : ranges) {
        const CSampleStore::Statistics want = direct(t0, t1);
        const CSampleStore::Statistics got = store.RangeStatistics(c, t0, t1);
        ASSERT_EQ(got.count, want.count) << t0 - kT0 << ".." << t1 - kT0;
        if (want.count == 0)
            continue;
        ASSERT_EQ(got.min, want.min) << t0 - kT0 << ".." << t1 - kT0;
        ASSERT_EQ(got.max, want.max) << t0 - kT0 << ".." << t1 - kT0;
        ASSERT_NEAR(got.Mean(), want.Mean(), 1e-3) << t0 - kT0 << ".." << t1 - kT0;
    }
}

TEST(LiveFeed, ChannelsFollowTheSensorsAndSilenceBreaksThem) {
    CSampleStore store(LiveStoreOptions());
    PollingCycle cycle;
    cycle.responding = true;
    cycle.readings[2] = Tq21(1234, 523, -15);
    InputReading probes = MakeReading(ModelTQ22, 77, {});
    probes.valueFlags[1] = FlagAbsent;
    probes.probeValues[0] = 201;
    probes.average = 201;
    cycle.readings[5] = probes;
    cycle.readings[7].isBinary = 1;
    cycle.readings[7].binaryState = 1;
    auto at = [&](int s) {
        cycle.time =
            std::chrono::system_clock::time_point(std::chrono::milliseconds(kT0 + s * 1000LL));
        AppendPollingCycle(store, cycle);
    };
    at(0);
    const int humidity = store.FindChannel("3|TQ21 1234 Wilgotność [%]");
    const int temperature = store.FindChannel("3|TQ21 1234 Temperatura [°C]");
    const int probe1 = store.FindChannel("6|TQ22 77 Temperatura1 [°C]");
    const int binary = store.FindChannel("Wejście binarne 8");
    ASSERT_GE(humidity, 0);
    ASSERT_GE(temperature, 0);
    ASSERT_GE(probe1, 0);
    ASSERT_GE(binary, 0);
    EXPECT_LT(store.FindChannel("6|TQ22 77 Temperatura2 [°C]"), 0);  // absent probe: no line
    EXPECT_EQ(store.Value(humidity, 0), 52.3f);
    EXPECT_EQ(store.Value(temperature, 0), -1.5f);
    EXPECT_EQ(store.Channel(temperature).input, 3);
    EXPECT_EQ(store.Channel(temperature).unit, "°C");
    EXPECT_EQ(store.Value(binary, 0), 1.0f);
    EXPECT_TRUE(store.Channel(binary).binary);

    cycle.readings[2].valueFlags[1] = FlagError;  // humidity fails
    at(1);
    EXPECT_TRUE(std::isnan(store.Value(humidity, 1)));
    EXPECT_EQ(store.Value(temperature, 1), -1.5f);

    cycle.responding = false;
    at(2);
    EXPECT_TRUE(std::isnan(store.Value(temperature, 2)));

    cycle.responding = true;
    cycle.readings[2].status = 3;  // the input's read failed: its values are stale
    at(3);
    EXPECT_TRUE(std::isnan(store.Value(temperature, 3)));
    EXPECT_EQ(store.Value(binary, 3), 1.0f);

    cycle.readings[2] = Tq21(999, 400, 100);  // another sensor on the same input
    at(4);
    EXPECT_TRUE(std::isnan(store.Value(temperature, 4)));
    EXPECT_EQ(store.Value(store.FindChannel("3|TQ21 999 Temperatura [°C]"), 4), 10.0f);
}

}  // namespace

namespace {

TEST(CompactValues, FixedPointUntilAValueDoesNotFitThenFloats) {
    CCompactValues v;
    v.SetDecimals(1);
    for (float x : {52.3f, -3276.7f, 0.0f, 3276.7f})
        v.Push(x);
    v.Push(kNaN);
    EXPECT_FALSE(v.Wide());
    EXPECT_EQ(v.Bytes(), 10u);
    EXPECT_EQ(v.At(0), 52.3f);
    EXPECT_EQ(v.At(1), -3276.7f);
    EXPECT_TRUE(std::isnan(v.At(4)));
    v.Push(6553.5f);  // an unsigned 16-bit value in tenths: beyond the fixed point
    v.Push(0.25f);    // and a second decimal
    EXPECT_TRUE(v.Wide());
    EXPECT_EQ(v.At(0), 52.3f);
    EXPECT_TRUE(std::isnan(v.At(4)));
    EXPECT_EQ(v.At(5), 6553.5f);
    EXPECT_EQ(v.At(6), 0.25f);
    v.DropFront(5);
    EXPECT_EQ(v.Size(), 2u);
    EXPECT_EQ(v.At(0), 6553.5f);
}

}  // namespace
