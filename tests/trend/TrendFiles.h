#pragma once
// Recording files written by the recording code itself, for the readers to take apart.
#include <array>
#include <ctime>
#include <string>

#include "device/InputReading.h"
#include "os/LocalTime.h"
#include "recording/format/BinaryRecordFormat.h"
#include "recording/format/RecordTime.h"
#include "recording/format/TextRecordFormat.h"
#include "tests/support/MakeReading.h"

using Readings = std::array<InputReading, 8>;

// Local time of second s after 2024-03-07 14:00:00.
inline RecordTime TimeAt(int s) {
    std::tm tm{};
    tm.tm_year = 124;
    tm.tm_mon = 2;
    tm.tm_mday = 7;
    tm.tm_hour = 14;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    return RecordTimeFromTm(LocalTimeOf(std::mktime(&tm)));
}

inline int64_t EpochMsAt(int s) {
    std::tm tm{};
    tm.tm_year = 124;
    tm.tm_mon = 2;
    tm.tm_mday = 7;
    tm.tm_hour = 14;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&tm)) * 1000;
}

inline InputReading Tq21(uint16_t serial, int16_t humidity, int16_t temperature,
                         uint8_t humidityFlag = 0, uint8_t temperatureFlag = 0) {
    return MakeReading(ModelTQ21, serial, {humidity, temperature}, {temperatureFlag, humidityFlag});
}

// Appends text records as the recording does, keeping the last header across calls.
class TextFileWriter {
public:
    explicit TextFileWriter(char separator) : separator(separator) {}

    void Row(const Readings& r, int second, bool responding = true) {
        std::array<bool, 8> all;
        all.fill(true);
        const TextRecord rec = BuildTextRecord(r, all, separator, responding, TimeAt(second), last);
        bytes += rec.bytes;
        last = rec.header;
    }
    void Comment(const std::string& text, bool appending) {
        bytes += *TextCommentBlock(text, appending);
    }

    char separator;
    std::string bytes;
    std::string last;
};
