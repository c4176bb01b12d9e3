#pragma once
#include <cstdint>
#include <limits>
#include <string>

// Local wall-clock times of the recording files to milliseconds since the epoch and back.
//
// The files hold local time without an offset, so the hour the clocks go back is written twice.
// Times are read in file order: a wall time the zone passes twice is its first pass until that
// reading would go back before the time read last, then its second pass (the later offset).
// Only such an hour is read twice; any other step back stays a step back.
//
// mktime is slow, so the start of the current hour is cached: a file of a month at 1 s asks the
// C library about 720 times instead of 2.6 million.
class CLocalTimeCache {
public:
    // -1 when the fields are out of range.
    int64_t ToEpochMs(int year, int month, int day, int hour, int minute, int second);

    // The time read last, and reading on after it (a part of a file read again).
    int64_t LastMs() const { return lastMs; }
    void ResumeAfter(int64_t ms) { lastMs = ms; }

private:
    int64_t hourKey = -1;
    int64_t firstPassMs = 0;
    int64_t secondPassMs = -1;  // -1: the zone passes this hour once
    int64_t lastMs = std::numeric_limits<int64_t>::min();
};

// "2024.03.07 14:05:09" in local time for milliseconds since the epoch (the fraction dropped).
std::string LocalTextStamp(int64_t tMs);
