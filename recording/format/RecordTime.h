#pragma once
#include <ctime>

// Local time of a record, to the second. The caller reads the clock; the formats never do.
struct RecordTime {
    int year = 1970;  // full year, e.g. 2024
    int month = 1;    // 1 .. 12
    int day = 1;      // 1 .. 31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

inline RecordTime RecordTimeFromTm(const std::tm& tm) {
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}
