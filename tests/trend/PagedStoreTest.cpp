// A recording opened paged (pyramid within its memory bound, raw samples read again from the
// file by blocks) answers every query as a store holding every sample does.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>
#include <string>

#include "tests/recording/RecordingTestFiles.h"
#include "tests/trend/FlatCycles.h"
#include "tests/trend/TrendFiles.h"
#include "trend/QdxStoreSink.h"
#include "trend/RecordingReader.h"

namespace {

constexpr int kSeconds = 36 * 3600;  // a few MB: several blocks

Readings Sensors(int s) {
    Readings r{};
    // Temperature drifts and jumps; humidity fails for a minute every few hours.
    const auto t = static_cast<int16_t>((s / 7) % 600 - 300 + (s % 97 == 0 ? 150 : 0));
    r[0] = Tq21(1234, static_cast<int16_t>(300 + s % 500), t, (s / 60) % 211 == 0 ? 1 : 0);
    r[4].isBinary = 1;
    r[4].binaryState = static_cast<uint8_t>(s / 3600 % 2);
    return r;
}

// The same recording read into a store that keeps every sample.
struct Pair {
    TempFolder dir;
    std::string path;
    RecordingRead paged;
    CSampleStore whole;
};

void Fill(Pair& p, bool qdx) {
    std::string bytes;
    TextFileWriter text(';');
    for (int s = 0; s < kSeconds; ++s) {
        if (s >= 50000 && s < 50300)
            continue;  // a silence: a gap in both
        if (qdx)
            bytes += BuildBinaryRecord(Sensors(s), TimeAt(s));
        else
            text.Row(Sensors(s), s);
    }
    if (!qdx)
        bytes = text.bytes;
    p.path = p.dir.File(qdx ? "rec.qdx" : "rec.txt");
    WriteFile(p.path, bytes);
    ReadControl control;
    control.pyramidBytes = 16 * 1024;  // too little for the finer levels
    p.paged = ReadRecordingFile(p.path, control);
    if (qdx) {
        QdxStoreSink sink(p.whole);
        CQdxParser parser([&sink](const QdxRecord& r) { sink(r); });
        parser.Feed(bytes, true);
    } else {
        CTextRecordingParser parser(p.whole);
        parser.Feed(bytes, true);
    }
}

class PagedStore : public ::testing::TestWithParam<bool> {};

TEST_P(PagedStore, AnswersAsAStoreWithEverySample) {
    Pair p;
    Fill(p, GetParam());
    ASSERT_TRUE(p.paged.error.empty()) << p.paged.error;
    const CSampleStore& paged = *p.paged.store;
    const CSampleStore& whole = p.whole;
    ASSERT_GT(paged.BlockCount(), 3u);
    ASSERT_GT(paged.FinestLevel(), 2);
    ASSERT_EQ(paged.ChannelCount(), whole.ChannelCount());
    EXPECT_EQ(paged.FirstTime(), whole.FirstTime());
    EXPECT_EQ(paged.LastTime(), whole.LastTime());
    EXPECT_EQ(paged.CycleCount(), 0u);  // no sample is held

    // Raw cycles, read back block by block, are the ones read at first.
    const FlatCycles flat(paged);
    ASSERT_EQ(flat.CycleCount(), whole.CycleCount());
    for (std::size_t i = 0; i < whole.CycleCount(); i += 1 + i % 5) {
        ASSERT_EQ(flat.CycleTime(i), whole.CycleTime(i)) << i;
        for (std::size_t c = 0; c < whole.ChannelCount(); ++c) {
            const float a = flat.Value(static_cast<int>(c), i);
            const float b = whole.Value(static_cast<int>(c), i);
            ASSERT_TRUE(a == b || (std::isnan(a) && std::isnan(b))) << i << " channel " << c;
        }
    }

    std::mt19937 rng(5);
    const int64_t t0 = whole.FirstTime();
    const int64_t span = whole.LastTime() - t0;
    for (int round = 0; round < 60; ++round) {
        // Views from a few seconds per column (from samples) to hours (from the pyramid).
        const int64_t width = int64_t{1000} << (round % 15);
        const int n = 300;
        // Columns on the bucket grid, so that buckets and samples fall into the same columns.
        int64_t from = t0 - 5000 + static_cast<int64_t>(rng() % static_cast<uint32_t>(span));
        from -= from % width;
        for (std::size_t c = 0; c < whole.ChannelCount(); ++c) {
            const int ch = static_cast<int>(c);
            const auto a = paged.Columns(ch, from, from + width * n, n);
            const auto b = whole.Columns(ch, from, from + width * n, n);
            for (int k = 0; k < n; ++k) {
                ASSERT_EQ(a[k].HasValues(), b[k].HasValues()) << width << " " << k;
                if (a[k].HasValues()) {
                    ASSERT_EQ(a[k].min, b[k].min) << width << " column " << k;
                    ASSERT_EQ(a[k].max, b[k].max) << width << " column " << k;
                    ASSERT_EQ(a[k].count, b[k].count) << width << " column " << k;
                }
            }
            const int64_t to = from + static_cast<int64_t>(rng() % static_cast<uint32_t>(span));
            const auto sa = paged.RangeStatistics(ch, from, to);
            const auto sb = whole.RangeStatistics(ch, from, to);
            ASSERT_EQ(sa.count, sb.count) << from << " " << to;
            ASSERT_EQ(sa.min, sb.min);
            ASSERT_EQ(sa.max, sb.max);
            ASSERT_NEAR(sa.Mean(), sb.Mean(), 1e-3);
            const auto na = paged.Nearest(ch, to, 90000);
            const auto nb = whole.Nearest(ch, to, 90000);
            ASSERT_EQ(na.has_value(), nb.has_value());
            if (na) {
                ASSERT_EQ(na->tMs, nb->tMs);
                ASSERT_EQ(na->value, nb->value);
            }
        }
    }
}

TEST_P(PagedStore, AFileChangedSinceOpeningIsNotReadAgain) {
    Pair p;
    Fill(p, GetParam());
    ASSERT_TRUE(p.paged.store);
    const CSampleStore& paged = *p.paged.store;
    const int64_t mid = paged.FirstTime() + 20 * 3600 * 1000LL;
    const int ch = 0;
    ASSERT_TRUE(paged.Columns(ch, mid, mid + 600000, 600)[300].HasValues());
    {
        // Bytes overwritten in place with others of the same length, nothing appended.
        std::fstream f(p.path, std::ios::in | std::ios::out | std::ios::binary);
        for (std::streamoff at = 0; at < static_cast<std::streamoff>(p.paged.summary.bytes);
             at += 4096) {
            f.seekp(at + 100);
            f.put('7');
        }
    }
    // Blocks not yet read again give nothing rather than other values; the pyramid is kept.
    const int64_t later = mid + 12 * 3600 * 1000LL;  // another block, not read again yet
    const auto columns = paged.Columns(ch, later, later + 600000, 600);
    for (const TrendColumn& c : columns)
        ASSERT_FALSE(c.HasValues());
    const int64_t bucket = CSampleStore::LevelWidth(paged.FinestLevel());
    const int n = static_cast<int>((paged.LastTime() - paged.FirstTime()) / bucket / 2);
    ASSERT_GT(n, 1);
    const auto wide = paged.Columns(ch, paged.FirstTime(), paged.LastTime(), n);
    EXPECT_TRUE(wide[n / 2].HasValues());
}

TEST_P(PagedStore, BytesAppendedWhileOpenLeaveTheReadPartAsItWas) {
    Pair p;
    Fill(p, GetParam());
    ASSERT_TRUE(p.paged.store);
    {
        std::ofstream f(p.path, std::ios::app | std::ios::binary);
        if (GetParam()) {
            f << BuildBinaryRecord(Sensors(kSeconds), TimeAt(kSeconds));
        } else {
            TextFileWriter more(';');
            more.Row(Sensors(kSeconds), kSeconds);
            f << more.bytes;
        }
    }
    const FlatCycles flat(*p.paged.store);
    EXPECT_EQ(flat.CycleCount(), p.whole.CycleCount());
    EXPECT_EQ(flat.CycleTime(flat.CycleCount() - 1), p.whole.LastTime());
}

INSTANTIATE_TEST_SUITE_P(Formats, PagedStore, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Qdx" : "Text"; });

}  // namespace
