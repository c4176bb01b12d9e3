#include "trend/LocalTime.h"

#include <cstdio>
#include <ctime>

#include "os/LocalTime.h"

int64_t CLocalTimeCache::ToEpochMs(int year, int month, int day, int hour, int minute, int second) {
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60 ||
        year < 1970 || year > 9999) {
        return -1;
    }
    const int64_t key = ((static_cast<int64_t>(year) * 13 + month) * 32 + day) * 24 + hour;
    if (key != hourKey) {
        std::tm tm{};
        tm.tm_year = year - 1900;
        tm.tm_mon = month - 1;
        tm.tm_mday = day;
        tm.tm_hour = hour;
        tm.tm_isdst = -1;
        const std::time_t t = std::mktime(&tm);
        if (t == static_cast<std::time_t>(-1))
            return -1;
        hourKey = key;
        hourStartMs = static_cast<int64_t>(t) * 1000;
    }
    return hourStartMs + (static_cast<int64_t>(minute) * 60 + second) * 1000;
}

std::string LocalTextStamp(int64_t tMs) {
    const std::time_t t = static_cast<std::time_t>(tMs >= 0 ? tMs / 1000 : (tMs - 999) / 1000);
    const std::tm tm = LocalTimeOf(t);
    char text[64];
    std::snprintf(text, sizeof text, "%04d.%02d.%02d %02d:%02d:%02d", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}
