// Writes a long 1 s recording in both formats, as the recording code writes them, for the trend
// benchmarks: orvex_trend_gen DAYS TEXT_FILE QDX_FILE.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "recording/format/BinaryRecordFormat.h"
#include "recording/format/TextRecordFormat.h"

namespace {

InputReading Sensor(SensorModel model, uint16_t serial) {
    InputReading r;
    r.model = model;
    r.serialNumber = serial;
    return r;
}

// The realistic map: all eight inputs, one TQ22 with eight probes, a TQ28 (text file only) and a
// binary input; a TQ21 humidity "???" for ten minutes every two days and the TQ21 replaced on
// day 15. About 140 bytes a text row and 336 a binary record.
std::array<InputReading, 8> Readings(long s) {
    std::array<InputReading, 8> r{};
    const double day = std::sin(static_cast<double>(s) * 2 * M_PI / 86400);
    const double fast = std::sin(static_cast<double>(s) * 2 * M_PI / 613);
    // Weather: one day is not the one before.
    const double slow = std::sin(static_cast<double>(s) * 2 * M_PI / (7.3 * 86400));
    r[0] = Sensor(ModelTQ21, s < 15 * 86400L ? 1201 : 1207);
    r[0].values[0] = static_cast<int16_t>(500 + 150 * day + 4 * fast - 60 * slow);
    r[0].values[1] = static_cast<int16_t>(180 + 60 * day + 30 * slow);
    if (s % 172800 >= 30000 && s % 172800 < 30600)
        r[0].valueFlags[1] = FlagError;
    r[1] = Sensor(ModelTQ22, 2201);
    for (int p = 0; p < 8; ++p)
        r[1].probeValues[p] = static_cast<int16_t>(200 + 10 * p + 40 * day + (p == 3 ? fast : 0));
    r[1].average = static_cast<int16_t>(235 + 40 * day);
    r[2] = Sensor(ModelTQ23, 2301);
    r[2].values[0] = static_cast<int16_t>(10130 + 50 * day);
    r[2].values[1] = static_cast<int16_t>(600 + 100 * day + 6 * fast);
    r[2].values[2] = static_cast<int16_t>(210 + 30 * day + 20 * slow);
    r[3] = Sensor(ModelTQ24, 2401);
    r[3].values[0] = static_cast<int16_t>(10080 + 40 * day);
    r[3].valueFlags[1] = 1;  // hPa
    r[3].auxFlag = 1;        // one decimal
    r[4] = Sensor(ModelTQ25, 2501);
    r[4].values[0] = static_cast<int16_t>((s / 7) % 360);
    r[4].values[1] = static_cast<int16_t>(30 + 20 * std::fabs(day) + 2 * fast);
    r[5] = Sensor(ModelTQ26, 2601);
    r[5].values[0] = static_cast<int16_t>(std::max(0.0, 8000 * day));
    r[5].auxFlag = 1;
    r[6] = Sensor(ModelTQ28, 2801);
    r[6].values[0] = static_cast<int16_t>(123 + 10 * fast);
    r[6].values[1] = static_cast<int16_t>(456);
    r[6].values[2] = static_cast<int16_t>(523 + 50 * day);
    r[6].values[3] = static_cast<int16_t>(2150 + 300 * day);
    r[7].isBinary = 1;
    r[7].binaryState = static_cast<uint8_t>((s / 3600) % 2);
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: orvex_trend_gen DAYS TEXT_FILE QDX_FILE\n");
        return 2;
    }
    const long seconds = std::atol(argv[1]) * 86400L;
    std::FILE* text = std::fopen(argv[2], "wb");
    std::FILE* qdx = std::fopen(argv[3], "wb");
    if (text == nullptr || qdx == nullptr) {
        std::perror("open");
        return 1;
    }
    std::array<bool, 8> all;
    all.fill(true);
    std::string lastHeader;
    const std::time_t start = 1764547200;  // 2025-12-01 00:00 UTC
    for (long s = 0; s < seconds; ++s) {
        const std::time_t t = start + s;
        std::tm tm{};
        localtime_r(&t, &tm);
        const RecordTime time = RecordTimeFromTm(tm);
        const auto readings = Readings(s);
        // An hour of silence every ten days, as a real recording has.
        const bool silent = s % 864000 >= 432000 && s % 864000 < 435600;
        const TextRecord record = BuildTextRecord(readings, all, '\t', !silent, time, lastHeader);
        std::fwrite(record.bytes.data(), 1, record.bytes.size(), text);
        lastHeader = record.header;
        if (!silent) {
            const std::string bytes = BuildBinaryRecord(readings, time);
            std::fwrite(bytes.data(), 1, bytes.size(), qdx);
        }
    }
    const bool ok = std::fclose(text) == 0 && std::fclose(qdx) == 0;
    return ok ? 0 : 1;
}
