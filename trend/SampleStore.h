#pragma once
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "trend/Channel.h"
#include "trend/CompactValues.h"
#include "trend/TrendColumn.h"

// Samples of every channel over time, with a min/max pyramid for drawing.
//
// Promises:
// - Samples arrive in cycles (BeginCycle, Put for each channel that has a value, EndCycle). A
//   channel without a value in a cycle gets a break (NaN): a silent device, a failed input, an
//   invalid value or a removed sensor never joins the line across it. A cycle later than the gap
//   limit after the one before also breaks every line. Cycles whose time goes backwards are
//   refused (counted), so times stay sorted.
// - With maxCycles set the store is a ring: the oldest cycles are dropped (and every bucket that
//   began before the oldest kept cycle, so evicted values are never drawn). Memory per cycle is
//   8 bytes of time plus, per channel, 2 bytes of value (4 once a channel holds a value that is
//   not 16-bit fixed point) and about 3 bytes of pyramid at 1 s cycles (a 24-byte bucket per
//   16 s, halved per level): 131072 cycles (36 h at 1 s) with 20 channels take about 14 MB.
// - Columns() answers "[t0, t1) in n columns" with one min/max per column in time bounded by n
//   and the width of one bucket, not by the number of samples: bucket edges lie on a fixed grid
//   of 16 s * 2^level from the epoch, so panning never reshuffles which samples share a column.
// - A paged store (a file being read) keeps no samples: only the pyramid, within a memory bound
//   (past it the finest level goes and its queries are answered from samples), and the cycles'
//   blocks, which a pager decodes again from the file when raw samples are asked for. A block
//   decoded again must give the same cycles (count and first and last time) or it is not used.
// - Not thread-safe: one thread feeds and reads it (the window's), or it is handed over whole;
//   queries of a paged store read the file and fill its cache of decoded blocks.
class CSampleStore;

// Decodes one block of a paged store's cycles again, from where they were first read.
class CSamplePager {
public:
    virtual ~CSamplePager() = default;
    // Feeds the block's cycles into the store made by NewBlockStore; false when they cannot be
    // read (the file went or changed).
    virtual bool Load(std::size_t block, CSampleStore& into) = 0;
};

class CSampleStore {
public:
    struct Options {
        std::size_t maxCycles = 0;     // 0: unbounded (a file being read)
        int64_t gapMs = 0;             // 0: from the data (2.5 x the shortest step, at least +2 s)
        bool paged = false;            // keep no samples: a pager reads them again by blocks
        std::size_t pyramidBytes = 0;  // 0: unbounded; beyond it the finest level goes
    };

    CSampleStore() : CSampleStore(Options{}) {}
    explicit CSampleStore(Options options);

    // The channel's index; an existing key gives the existing channel.
    int AddChannel(const ChannelInfo& info);
    int FindChannel(std::string_view key) const;
    std::size_t ChannelCount() const { return channels.size(); }
    const ChannelInfo& Channel(int index) const { return channels[index].info; }
    void SetDecimals(int index, int decimals) { channels[index].info.decimals = decimals; }

    // False (cycle refused) when tMs is before the last cycle.
    bool BeginCycle(int64_t tMs);
    void Put(int channel, float value);  // NaN is a break
    void EndCycle();

    // Cycles held in memory: none in a paged store (see Spans).
    std::size_t CycleCount() const { return times.size(); }
    int64_t CycleTime(std::size_t i) const { return times[i]; }
    // The value of a channel in retained cycle i (NaN when none).
    float Value(int channel, std::size_t i) const;
    // First retained cycle at or after tMs.
    std::size_t CycleAtOrAfter(int64_t tMs) const;
    bool Empty() const { return times.empty() && !anyCycle; }
    int64_t FirstTime() const { return times.empty() ? firstMs : times.front(); }
    int64_t LastTime() const { return lastMs; }

    // Raw cycles with t0Ms <= time < t1Ms, in time order, as index ranges of stores that hold
    // them: this store, or decoded blocks of a paged one (kept alive by holder). Channel indices
    // are the same in all of them.
    struct Span {
        std::shared_ptr<const CSampleStore> holder;
        const CSampleStore* store = nullptr;
        std::size_t begin = 0;
        std::size_t end = 0;
    };
    std::vector<Span> Spans(int64_t t0Ms, int64_t t1Ms) const;

    // Paged stores: the cycles from here on form a new block.
    void StartBlock();
    std::size_t BlockCount() const { return blocks.size(); }
    void SetPager(std::unique_ptr<CSamplePager> pager);
    // An empty store with this store's channels and its state before the block, for the pager.
    std::unique_ptr<CSampleStore> NewBlockStore(std::size_t block) const;
    // The finest pyramid level kept (0 unless a memory bound dropped levels).
    int FinestLevel() const { return finestLevel; }

    std::size_t RefusedCycles() const { return refused; }
    // Silences between values: a step beyond the gap limit, or cycles in which no channel had a
    // value (a silent device writes such rows in the text file and nothing in the .qdx file), so
    // one outage counts once whichever file it was read from. A run of both counts once, and
    // only when values come back: a file that starts or ends silent has no gap there.
    std::size_t TimeGaps() const { return gaps; }
    // True when the channel has a value somewhere in the retained cycles.
    bool HasValues(int channel) const;

    // Min/max per column of [t0Ms, t1Ms) split into n equal columns.
    std::vector<TrendColumn> Columns(int channel, int64_t t0Ms, int64_t t1Ms, int n) const;

    // The valid sample nearest to tMs within maxDistanceMs.
    struct Sample {
        int64_t tMs;
        float value;
    };
    std::optional<Sample> Nearest(int channel, int64_t tMs, int64_t maxDistanceMs) const;

    // Min, max, mean and count of a channel's values in [t0Ms, t1Ms): raw samples at the two
    // ends, whole pyramid buckets between them, so a year costs no more than an hour.
    struct Statistics {
        std::size_t count = 0;
        float min = 0;
        float max = 0;
        double sum = 0;
        double Mean() const { return count > 0 ? sum / static_cast<double>(count) : 0; }
    };
    Statistics RangeStatistics(int channel, int64_t t0Ms, int64_t t1Ms) const;

    std::size_t MemoryBytes() const;
    static int64_t LevelWidth(int level) { return kBaseBucketMs << level; }

    static constexpr int64_t kBaseBucketMs = 16000;
    static constexpr int kLevels = 20;  // the top bucket spans about 97 days

private:
    struct Bucket {
        int32_t index = 0;  // start = index * width of its level
        TrendColumn column;
    };
    struct Series {
        ChannelInfo info;
        std::size_t first = 0;  // global cycle number of values.front()
        CCompactValues values;
        // The bucket being filled at each level; a bucket of level L goes into levels[L] and
        // into open[L + 1] when time leaves it, so each sample costs one update.
        bool started = false;
        Bucket open[kLevels];
        std::deque<Bucket> levels[kLevels];  // closed buckets, oldest first
        bool lastWasBreak = true;
        bool anyValue = false;
    };

    void AddToPyramid(Series& s, int32_t bucket, float value);
    void Advance(Series& s, int32_t bucket);
    void Evict();
    void ColumnsFromSamples(int channel, int64_t t0, double width, int n,
                            std::vector<TrendColumn>& out) const;
    void ColumnsFromLevel(const Series& s, int level, int64_t t0, double width, int n,
                          std::vector<TrendColumn>& out) const;
    void AddSamples(int channel, int64_t t0, int64_t t1, TrendColumn& into) const;
    void DropFinestLevel();
    struct Block;
    static void NoteBlockCycle(Block& block, int64_t tMs);
    std::shared_ptr<const CSampleStore> DecodedBlock(std::size_t block) const;
    // The whole bucket of a level, closed or still being filled; false when it holds nothing.
    bool WholeBucket(const Series& s, int level, int64_t index, TrendColumn& into) const;

    Options options;
    std::vector<Series> channels;
    std::deque<int64_t> times;
    std::size_t base = 0;  // global number of times.front()
    std::vector<uint8_t> putThisCycle;
    int32_t cycleBucket = 0;  // level-0 bucket of the current cycle
    int64_t shortestStep = 0;
    std::size_t refused = 0;
    std::size_t gaps = 0;
    bool inCycle = false;
    bool cycleHasValue = false;
    bool seenValue = false;
    bool silentSinceValue = false;
    bool anyCycle = false;
    int64_t firstMs = 0;
    int64_t lastMs = 0;
    int finestLevel = 0;
    std::size_t storedBuckets = 0;

    struct Block {
        int64_t firstMs = 0;  // of its first cycle; with no cycles the last time before it
        int64_t lastMs = 0;
        std::size_t cycles = 0;
        // The store's state before the block, so that decoding it again gives the same cycles.
        bool anyBefore = false;
        int64_t lastBefore = 0;
        int64_t shortestStepBefore = 0;
    };
    std::vector<Block> blocks;
    std::unique_ptr<CSamplePager> pager;
    struct Decoded {
        std::size_t block;
        std::shared_ptr<const CSampleStore> store;
        uint64_t used;
    };
    mutable std::vector<Decoded> decoded;  // a small cache, the least recently used goes first
    mutable uint64_t useClock = 0;
};

// Inline: these run for every value of a file being read.
inline void CSampleStore::Put(int channel, float value) {
    if (!inCycle || channel < 0 || static_cast<std::size_t>(channel) >= channels.size() ||
        putThisCycle[channel]) {
        return;
    }
    putThisCycle[channel] = 1;
    cycleHasValue = cycleHasValue || !std::isnan(value);
    Series& s = channels[channel];
    if (!options.paged) {
        if (!s.values.Started())  // a deque's size is not free
            s.values.SetDecimals(s.info.decimals);
        s.values.Push(value);
    }
    AddToPyramid(s, cycleBucket, value);
}

inline void CSampleStore::AddToPyramid(Series& s, int32_t bucket, float value) {
    const bool isBreak = std::isnan(value);
    // Only the first break after a value matters to the drawing.
    if (isBreak && s.lastWasBreak)
        return;
    s.lastWasBreak = isBreak;
    if (!s.started) {
        for (int level = 0; level < kLevels; ++level)
            s.open[level] = Bucket{bucket >> level, {}};
        s.started = true;
    } else if (s.open[0].index != bucket) {
        Advance(s, bucket);
    }
    if (isBreak) {
        s.open[0].column.AddBreak();
    } else {
        s.open[0].column.AddValue(value);
        s.anyValue = true;
    }
}
