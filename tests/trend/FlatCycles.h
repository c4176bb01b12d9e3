#pragma once
// The raw cycles of a store, paged or not, gathered through its spans, for checking them one by
// one.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

#include "trend/SampleStore.h"

class FlatCycles {
public:
    explicit FlatCycles(const CSampleStore& store) : store(store), values(store.ChannelCount()) {
        for (const auto& span : store.Spans(std::numeric_limits<int64_t>::min(),
                                            std::numeric_limits<int64_t>::max())) {
            for (std::size_t i = span.begin; i < span.end; ++i) {
                times.push_back(span.store->CycleTime(i));
                for (std::size_t c = 0; c < values.size(); ++c)
                    values[c].push_back(span.store->Value(static_cast<int>(c), i));
            }
        }
    }

    std::size_t CycleCount() const { return times.size(); }
    int64_t CycleTime(std::size_t i) const { return times[i]; }
    float Value(int channel, std::size_t i) const { return values[channel][i]; }
    std::size_t CycleAtOrAfter(int64_t t) const {
        return static_cast<std::size_t>(std::lower_bound(times.begin(), times.end(), t) -
                                        times.begin());
    }
    int FindChannel(std::string_view key) const { return store.FindChannel(key); }
    const ChannelInfo& Channel(int c) const { return store.Channel(c); }
    std::size_t ChannelCount() const { return store.ChannelCount(); }

private:
    const CSampleStore& store;
    std::vector<int64_t> times;
    std::vector<std::vector<float>> values;
};
