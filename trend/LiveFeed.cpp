#include "trend/LiveFeed.h"

#include <string>
#include <string_view>

#include "recording/format/TextRecordFormat.h"
#include "trend/CellValue.h"

namespace {

constexpr char kSeparator = '\t';

std::string_view NextItem(std::string_view& rest) {
    const auto end = rest.find(kSeparator);
    const std::string_view item = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    return item;
}

}  // namespace

CSampleStore::Options LiveStoreOptions() {
    CSampleStore::Options o;
    o.maxCycles = 131072;
    o.gapMs = 15000;
    return o;
}

void AppendPollingCycle(CSampleStore& store, const PollingCycle& cycle) {
    const int64_t t =
        std::chrono::duration_cast<std::chrono::milliseconds>(cycle.time.time_since_epoch())
            .count();
    if (!store.BeginCycle(t))
        return;
    if (cycle.responding) {
        for (int i = 0; i < 8; ++i) {
            // A failed read leaves the previous values in place: stale, so a gap.
            if (cycle.readings[i].status != 0)
                continue;
            const InputColumns columns =
                FormatInputColumns(cycle.readings[i], i + 1, kSeparator, true);
            std::string_view titles = columns.titles;
            std::string_view values = columns.values;
            while (!titles.empty()) {
                const ChannelInfo info = ChannelFromTitle(NextItem(titles), i + 1);
                const std::string_view cell = NextItem(values);
                const int channel = store.AddChannel(info);
                float value = 0;
                int decimals = 0;
                if (!ParseRecordingCell(cell, value, decimals) || decimals < 0)
                    continue;  // "???": a break
                if (store.Channel(channel).decimals != decimals)
                    store.SetDecimals(channel, decimals);
                store.Put(channel, value);
            }
        }
    }
    store.EndCycle();
}
