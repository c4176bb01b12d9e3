#pragma once
#include <cstdint>
#include <string>

// Local wall-clock times of the recording files to milliseconds since the epoch and back.
// mktime is slow, so the start of the current hour is cached: a file of a month at 1 s asks the
// C library about 720 times instead of 2.6 million.
class CLocalTimeCache {
public:
    // -1 when the fields are out of range.
    int64_t ToEpochMs(int year, int month, int day, int hour, int minute, int second);

private:
    int64_t hourKey = -1;
    int64_t hourStartMs = 0;
};

// "2024.03.07 14:05:09" in local time for milliseconds since the epoch (the fraction dropped).
std::string LocalTextStamp(int64_t tMs);
