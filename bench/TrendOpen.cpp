// Opens a recording as the trend window does (read, pyramid, one full-range column query per
// channel at 1600 pixel columns) and prints the times and the memory:
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
    return 0;
}
