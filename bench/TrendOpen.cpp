// Opens a recording as the trend window does (read, pyramid, one full-range column query per
// channel at 1600 pixel columns) and prints the times and the memory, then the widest view that
// is drawn from raw samples read again from the file:
// orvex_trend_open FILE.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>

#include "trend/RecordingReader.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: orvex_trend_open FILE\n");
        return 2;
    }
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const RecordingRead r = ReadRecordingFile(argv[1]);
    const auto read = Clock::now();
    if (!r.store) {
        std::fprintf(stderr, "%s\n", r.error.c_str());
        return 1;
    }
    const CSampleStore& st = *r.store;
    std::size_t points = 0;
    for (std::size_t c = 0; c < st.ChannelCount(); ++c) {
        const auto columns =
            st.Columns(static_cast<int>(c), st.FirstTime(), st.LastTime() + 1, 1600);
        points += ColumnsToPolyline(columns, 0, 1).size();
    }
    const auto drawn = Clock::now();
    // The widest view drawn from raw samples (just under 1600 columns of the finest bucket kept),
    // in the middle: its blocks are read again from the file, then drawn again from the cache.
    const int64_t narrow = CSampleStore::LevelWidth(st.FinestLevel()) * 1600 - 1000;
    const int64_t middle = (st.FirstTime() + st.LastTime()) / 2;
    double pagedMs[2] = {0, 0};
    for (double& t : pagedMs) {
        const auto from = Clock::now();
        for (std::size_t c = 0; c < st.ChannelCount(); ++c) {
            const auto columns = st.Columns(static_cast<int>(c), middle, middle + narrow, 1600);
            points += ColumnsToPolyline(columns, 0, 1).size();
        }
        t = std::chrono::duration<double, std::milli>(Clock::now() - from).count();
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto ms = [](auto d) { return std::chrono::duration<double, std::milli>(d).count(); };
    std::printf("records %zu bad %zu gaps %zu channels %zu\n", r.summary.records,
                r.summary.badRecords, r.summary.gaps, st.ChannelCount());
    std::printf(
        "read %.1f ms, columns %.2f ms (%zu points), store %.1f MB, peak RSS %.1f MB, "
        "file %.1f MB\n",
        ms(read - start), ms(drawn - read), points, st.MemoryBytes() / 1e6, usage.ru_maxrss / 1e3,
        r.summary.bytes / 1e6);
    std::printf("finest level kept %d; a view of %.1f h from raw samples: %.1f ms, again %.2f ms\n",
                st.FinestLevel(), static_cast<double>(narrow) / 3.6e6, pagedMs[0], pagedMs[1]);
    return 0;
}
