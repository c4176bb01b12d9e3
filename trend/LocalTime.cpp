#include "trend/LocalTime.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "os/LocalTime.h"

namespace {

// The start of the local hour under the given daylight-saving flag, or -1 when that flag does not
// give back the same wall-clock hour (the zone is not on that offset then).
int64_t HourStartAs(const std::tm& wall, int isDst) {
    std::tm tm = wall;
    tm.tm_isdst = isDst;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1))
        return -1;
    const std::tm back = LocalTimeOf(t);
    if (back.tm_year != wall.tm_year || back.tm_mon != wall.tm_mon ||
        back.tm_mday != wall.tm_mday || back.tm_hour != wall.tm_hour) {
        return -1;
    }
    return static_cast<int64_t>(t) * 1000;
}

}  // namespace

int64_t CLocalTimeCache::ToEpochMs(int year, int month, int day, int hour, int minute, int second) {
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60 ||
        year < 1970 || year > 9999) {
        return -1;
    }
    const int64_t key = ((static_cast<int64_t>(year) * 13 + month) * 32 + day) * 24 + hour;
    if (key != hourKey) {
        std::tm wall{};
        wall.tm_year = year - 1900;
        wall.tm_mon = month - 1;
        wall.tm_mday = day;
        wall.tm_hour = hour;
        const int64_t summer = HourStartAs(wall, 1);
        const int64_t winter = HourStartAs(wall, 0);
        if (summer >= 0 && winter >= 0 && summer != winter) {
            firstPassMs = std::min(summer, winter);
            secondPassMs = std::max(summer, winter);
        } else if (summer >= 0 || winter >= 0) {
            firstPassMs = std::max(summer, winter);
            secondPassMs = -1;
        } else {
            // An hour the zone skips (the clocks went forward): as the C library normalises it.
            wall.tm_isdst = -1;
            const std::time_t t = std::mktime(&wall);
            if (t == static_cast<std::time_t>(-1))
                return -1;
            firstPassMs = static_cast<int64_t>(t) * 1000;
            secondPassMs = -1;
        }
        hourKey = key;
    }
    const int64_t within = (static_cast<int64_t>(minute) * 60 + second) * 1000;
    int64_t t = firstPassMs + within;
    if (secondPassMs >= 0 && t < lastMs)
        t = secondPassMs + within;
    lastMs = t;
    return t;
}

std::string LocalTextStamp(int64_t tMs) {
    const std::time_t t = static_cast<std::time_t>(tMs >= 0 ? tMs / 1000 : (tMs - 999) / 1000);
    const std::tm tm = LocalTimeOf(t);
    char text[64];
    std::snprintf(text, sizeof text, "%04d.%02d.%02d %02d:%02d:%02d", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}
