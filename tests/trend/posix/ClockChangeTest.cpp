// Recordings across the spring and autumn clock changes, written here by hand from UTC seconds
// so the reader's local-time conversion is checked against the C library's own zone rules.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "tests/recording/RecordingTestFiles.h"
#include "tests/trend/FlatCycles.h"
#include "trend/CsvExport.h"
#include "trend/RecordingReader.h"

namespace {

class ClockChange : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("TZ");
        hadTz = old != nullptr;
        if (hadTz)
            oldTz = old;
        setenv("TZ", "Europe/Warsaw", 1);
        tzset();
    }
    void TearDown() override {
        if (hadTz)
            setenv("TZ", oldTz.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

    bool hadTz = false;
    std::string oldTz;
};

int64_t Utc(int year, int month, int day, int hour) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    return static_cast<int64_t>(timegm(&tm));
}

std::tm Wall(int64_t utc) {
    const auto t = static_cast<std::time_t>(utc);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

// One row a minute over both changes of 2024 (31 March, 27 October), spring first.
std::vector<int64_t> Minutes() {
    std::vector<int64_t> out;
    for (int64_t t = Utc(2024, 3, 30, 22); t < Utc(2024, 3, 31, 4); t += 60)
        out.push_back(t);
    for (int64_t t = Utc(2024, 10, 26, 22); t < Utc(2024, 10, 27, 4); t += 60)
        out.push_back(t);
    return out;
}

std::string TextRow(int64_t utc, int value) {
    const std::tm w = Wall(utc);
    char row[96];
    std::snprintf(row, sizeof row, "%04d.%02d.%02d %02d:%02d:%02d\t%d.0\t\r\n", w.tm_year + 1900,
                  w.tm_mon + 1, w.tm_mday, w.tm_hour, w.tm_min, w.tm_sec, value);
    return row;
}

std::string QdxRecordBytes(int64_t utc, int value) {
    const std::tm w = Wall(utc);
    char plain[96];
    std::snprintf(plain, sizeof plain, "%04d%02d%02d%02d%02d%02d$21,1234,25,%d.0,1$",
                  w.tm_year + 1900, w.tm_mon + 1, w.tm_mday, w.tm_hour, w.tm_min, w.tm_sec, value);
    unsigned sum = 0;
    std::string bytes;
    for (const char* p = plain; *p != '\0'; ++p) {
        sum += static_cast<unsigned char>(*p);
        bytes += *p;
    }
    bytes += '\x40';
    bytes += static_cast<char>(sum % 253 + 1);
    bytes += static_cast<char>(sum % 251 + 1);
    for (char& c : bytes)
        c = static_cast<char>(256 - static_cast<unsigned char>(c));
    return bytes;
}

using Samples = std::vector<std::pair<int64_t, float>>;

// The cycles that hold a value (the store adds a break after the long silence).
Samples Measured(const CSampleStore& store) {
    const FlatCycles st(store);
    Samples out;
    for (std::size_t i = 0; i < st.CycleCount(); ++i) {
        if (!std::isnan(st.Value(0, i)))
            out.emplace_back(st.CycleTime(i), st.Value(0, i));
    }
    return out;
}

Samples Expected(const std::vector<int64_t>& minutes) {
    Samples out;
    for (std::size_t i = 0; i < minutes.size(); ++i)
        out.emplace_back(minutes[i] * 1000, static_cast<float>(i));
    return out;
}

// Every row at its own instant with its own value; the step back at the end is refused alone.
void ExpectEveryMinute(const RecordingRead& r, const std::vector<int64_t>& minutes) {
    ASSERT_TRUE(r.store) << r.error;
    const CSampleStore& st = *r.store;
    EXPECT_EQ(r.summary.records, minutes.size());
    EXPECT_EQ(r.summary.badRecords, 0u);
    EXPECT_EQ(r.summary.backInTime, 1u);
    EXPECT_EQ(r.summary.gaps, 1u);  // March to October only
    EXPECT_EQ(Measured(st), Expected(minutes));
    const std::string summary = DescribeSummary(r.summary);
    EXPECT_NE(summary.find("Uszkodzone rekordy: 0"), std::string::npos) << summary;
    EXPECT_NE(summary.find("Cofnięty czas (rekordy pominięte): 1"), std::string::npos) << summary;
}

TEST_F(ClockChange, TextRecordingReadsTheRepeatedHourOnce) {
    const std::vector<int64_t> minutes = Minutes();
    // The zone really repeats 02:00-02:59 on 27 October and skips it on 31 March.
    ASSERT_EQ(Wall(Utc(2024, 10, 27, 0)).tm_hour, 2);
    ASSERT_EQ(Wall(Utc(2024, 10, 27, 1)).tm_hour, 2);
    ASSERT_EQ(Wall(Utc(2024, 3, 31, 1)).tm_hour, 3);
    std::string bytes =
        "Data i Godzina\tTQ21 1234 Temperatura [\xB0"
        "C]\t\r\n";
    for (std::size_t i = 0; i < minutes.size(); ++i)
        bytes += TextRow(minutes[i], static_cast<int>(i));
    bytes += TextRow(Utc(2024, 10, 27, 1) + 1800, 999);  // a clock set back by hand
    TempFolder dir;
    WriteFile(dir.File("dst.txt"), bytes);
    const RecordingRead r = ReadRecordingFile(dir.File("dst.txt"));
    ExpectEveryMinute(r, minutes);

    // The export holds local times without an offset as well and reads back the same.
    std::string exported;
    ASSERT_TRUE(ExportCsv(*r.store, {0}, r.store->FirstTime(), r.store->LastTime(), ';',
                          [&](std::string_view b) {
                              exported.append(b);
                              return true;
                          }));
    WriteFile(dir.File("again.csv"), exported);
    const RecordingRead again = ReadRecordingFile(dir.File("again.csv"));
    ASSERT_TRUE(again.store) << again.error;
    EXPECT_EQ(again.summary.backInTime, 0u);
    EXPECT_EQ(Measured(*again.store), Expected(minutes));
}

TEST_F(ClockChange, QdxRecordingReadsTheRepeatedHourOnce) {
    const std::vector<int64_t> minutes = Minutes();
    std::string bytes;
    for (std::size_t i = 0; i < minutes.size(); ++i)
        bytes += QdxRecordBytes(minutes[i], static_cast<int>(i));
    bytes += QdxRecordBytes(Utc(2024, 10, 27, 1) + 1800, 999);
    TempFolder dir;
    WriteFile(dir.File("dst.qdx"), bytes);
    ExpectEveryMinute(ReadRecordingFile(dir.File("dst.qdx")), minutes);
}

}  // namespace
