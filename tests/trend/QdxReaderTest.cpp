#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <random>

#include "tests/recording/RecordingTestFiles.h"
#include "tests/trend/FlatCycles.h"
#include "tests/trend/TrendFiles.h"
#include "trend/QdxParser.h"
#include "trend/RecordingReader.h"

namespace {

Readings Sensors(int s) {
    Readings r{};
    r[1] = Tq21(1234, static_cast<int16_t>(400 + s), static_cast<int16_t>(-20 + s));
    InputReading probes = MakeReading(ModelTQ22, 9, {});
    for (int p = 0; p < 3; ++p)
        probes.probeValues[p] = static_cast<int16_t>(100 * (p + 1) + s);
    for (int p = 3; p < 8; ++p)
        probes.valueFlags[p] = FlagAbsent;
    r[4] = probes;
    r[7].isBinary = 1;
    r[7].binaryState = static_cast<uint8_t>(s % 2);
    return r;
}

std::string Records(int from, int to) {
    std::string bytes;
    for (int s = from; s < to; ++s)
        bytes += BuildBinaryRecord(Sensors(s), TimeAt(s));
    return bytes;
}

float At(const CSampleStore& store, const std::string& key, int s) {
    const FlatCycles st(store);
    const std::size_t i = st.CycleAtOrAfter(EpochMsAt(s));
    if (i >= st.CycleCount() || st.CycleTime(i) != EpochMsAt(s))
        return -9999;
    return st.Value(st.FindChannel(key), i);
}

TEST(QdxParser, DecodesTheWorkedExample) {
    // TQ21 1234, humidity raw 523, temperature raw 215, at 2024-03-07 14:05:09.
    const std::string plain = "20240307140509$21,1234,26,52.3,1$21,1234,25,21.5,1$";
    std::string encoded;
    for (char c : plain)
        encoded += static_cast<char>(256 - static_cast<unsigned char>(c));
    encoded += "\xC0\x3A\x28";  // the trailer 40 C6 D8, negated
    std::vector<QdxRecord> got;
    CQdxParser parser([&](const QdxRecord& r) { got.push_back(r); });
    EXPECT_EQ(parser.Feed(encoded, true), 54u);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(std::string(got[0].stamp, 14), "20240307140509");
    ASSERT_EQ(got[0].entries.size(), 2u);
    EXPECT_EQ(got[0].entries[0].quantity, 26);
    EXPECT_EQ(got[0].entries[0].tenths, 523);
    EXPECT_EQ(got[0].entries[1].id, 1234);
    EXPECT_EQ(got[0].entries[1].tenths, 215);
    EXPECT_EQ(got[0].entries[1].channel, 1);

    // One wrong check byte: the record is refused.
    std::string bad = encoded;
    bad.back() = static_cast<char>(bad.back() + 1);
    CQdxParser strict([&](const QdxRecord&) { FAIL(); });
    strict.Feed(bad, true);
    EXPECT_EQ(strict.Counts().badRecords, 1u);
}

TEST(QdxParser, RecordsSplitAcrossChunksAreWhole) {
    const std::string bytes = Records(0, 50);
    std::size_t records = 0;
    CQdxParser parser([&](const QdxRecord&) { ++records; });
    std::string held;
    for (std::size_t at = 0; at < bytes.size(); at += 37) {
        held += bytes.substr(at, 37);
        held.erase(0, parser.Feed(held, at + 37 >= bytes.size()));
    }
    EXPECT_EQ(records, 50u);
    EXPECT_EQ(parser.Counts().badRecords, 0u);
    EXPECT_TRUE(held.empty());
}

TEST(QdxReader, ReadsTheRecordingsChannels) {
    TempFolder dir;
    WriteFile(dir.File("a.qdx"), Records(0, 20) + Records(100, 110));  // silent for 80 s
    const RecordingRead r = ReadRecordingFile(dir.File("a.qdx"));
    ASSERT_TRUE(r.error.empty()) << r.error;
    const CSampleStore& st = *r.store;
    EXPECT_EQ(r.summary.format, RecordingFormat::Qdx);
    EXPECT_EQ(r.summary.records, 30u);
    EXPECT_EQ(r.summary.gaps, 1u);
    EXPECT_FLOAT_EQ(At(st, "21,1234,26,0", 3), 40.3f);
    EXPECT_FLOAT_EQ(At(st, "21,1234,25,1", 3), -1.7f);
    EXPECT_FLOAT_EQ(At(st, "22,9,25,2", 5), 30.5f);
    EXPECT_FLOAT_EQ(At(st, "107,8,57,0", 5), 1.0f);
    EXPECT_EQ(st.FindChannel("22,9,25,3"), -1);  // absent probe: never written
    const ChannelInfo& probe = st.Channel(st.FindChannel("22,9,25,2"));
    EXPECT_EQ(probe.title, "TQ22 9 Temperatura3 [°C]");
    EXPECT_EQ(probe.unit, "°C");
}

TEST(QdxReader, DamagedRecordsAreCountedAndReadingGoesOn) {
    TempFolder dir;
    const std::string good = Records(0, 10);
    const std::size_t one = BuildBinaryRecord(Sensors(0), TimeAt(0)).size();
    std::string bytes = good;
    bytes[one * 3 + 20] ^= 0x01;                       // record 3: a flipped bit
    bytes.insert(one * 6, "\x01\x02garbage\xC0\x3A");  // junk between records 5 and 6
    bytes += Records(10, 12);
    bytes += BuildBinaryRecord(Sensors(12), TimeAt(12)).substr(0, 30);  // torn tail
    WriteFile(dir.File("b.qdx"), bytes);
    const RecordingRead r = ReadRecordingFile(dir.File("b.qdx"));
    ASSERT_TRUE(r.error.empty()) << r.error;
    EXPECT_EQ(r.summary.records, 11u);
    EXPECT_EQ(r.summary.badRecords, 3u);
    EXPECT_TRUE(r.summary.tornTail);
    EXPECT_EQ(At(*r.store, "21,1234,26,0", 3), -9999);  // no cycle for the bad record
    EXPECT_FLOAT_EQ(At(*r.store, "21,1234,26,0", 6), 40.6f);
    EXPECT_FLOAT_EQ(At(*r.store, "21,1234,26,0", 11), 41.1f);
}

TEST(QdxReader, DamagedStartIsStillRecognised) {
    TempFolder dir;
    std::string bytes = Records(0, 5);
    bytes[2] ^= 0x10;
    WriteFile(dir.File("c.qdx"), bytes);
    const RecordingRead r = ReadRecordingFile(dir.File("c.qdx"));
    ASSERT_TRUE(r.error.empty()) << r.error;
    EXPECT_EQ(r.summary.records, 4u);
    EXPECT_EQ(r.summary.badRecords, 1u);
}

TEST(HostileFiles, EndInAPolishMessage) {
    TempFolder dir;
    auto error = [&](const std::string& path) {
        const RecordingRead r = ReadRecordingFile(path);
        EXPECT_FALSE(r.store) << path;
        return r.error;
    };
    WriteFile(dir.File("empty"), "");
    EXPECT_EQ(error(dir.File("empty")), "Plik jest pusty.");

    std::mt19937 rng(3);
    std::string noise(200000, '\0');
    for (char& c : noise)
        c = static_cast<char>(rng());
    WriteFile(dir.File("noise"), noise);
    EXPECT_NE(error(dir.File("noise")).find("nie jest zapisem pomiarów"), std::string::npos);

    WriteFile(dir.File("letter.txt"), "Szanowni Państwo,\r\nw załączeniu...\r\n");
    EXPECT_NE(error(dir.File("letter.txt")).find("nie jest zapisem pomiarów"), std::string::npos);

    EXPECT_NE(error(dir.Path().string()).find("zwykłego pliku"), std::string::npos);
    EXPECT_NE(error(dir.File("missing")).find("Nie można otworzyć"), std::string::npos);

    // 2 GB of holes: refused from its first bytes, not read to the end.
    const std::string sparse = dir.File("sparse.qdx");
    WriteFile(sparse, "");
    std::error_code grown;
    std::filesystem::resize_file(sparse, 2LL << 30, grown);
    if (!grown) {
        std::size_t progressCalls = 0;
        ReadControl control;
        control.progress = [&](uint64_t, uint64_t) { ++progressCalls; };
        const RecordingRead r = ReadRecordingFile(sparse, control);
        EXPECT_NE(r.error.find("nie jest zapisem pomiarów"), std::string::npos);
        EXPECT_EQ(progressCalls, 0u);
    }

    // Text after valid records that runs on without a line end is refused, not held whole.
    std::string longLine = "Data i Godzina;TQ21 1 Wilgotność [%];\r\n" + std::string(3000000, 'x');
    WriteFile(dir.File("long.txt"), longLine);
    EXPECT_NE(error(dir.File("long.txt")).find("uszkodzony"), std::string::npos);
}

TEST(QdxReader, CancelStopsTheReading) {
    TempFolder dir;
    WriteFile(dir.File("d.qdx"), Records(0, 30000));  // several chunks
    std::atomic<bool> cancel{false};
    ReadControl control;
    control.cancel = &cancel;
    std::size_t calls = 0;
    control.progress = [&](uint64_t done, uint64_t total) {
        EXPECT_LE(done, total);
        ++calls;
        cancel = true;
    };
    const RecordingRead r = ReadRecordingFile(dir.File("d.qdx"), control);
    EXPECT_TRUE(r.cancelled);
    EXPECT_FALSE(r.store);
    EXPECT_EQ(calls, 1u);
}

}  // namespace

// Entries are matched to channels by their place in the record first: a sensor that leaves
// shifts every entry after it, and each value must still land on its own channel.
TEST(QdxReader, SensorLeavingAndComingBackShiftsNoValues) {
    std::string bytes = Records(0, 10);
    for (int s = 10; s < 20; ++s) {
        Readings r = Sensors(s);
        r[1] = Readings{}[1];
        bytes += BuildBinaryRecord(r, TimeAt(s));
    }
    bytes += Records(20, 30);
    TempFolder dir;
    WriteFile(dir.File("a.qdx"), bytes);
    const RecordingRead r = ReadRecordingFile(dir.File("a.qdx"));
    ASSERT_TRUE(r.error.empty()) << r.error;
    const CSampleStore& st = *r.store;
    EXPECT_EQ(r.summary.records, 30u);
    EXPECT_EQ(st.ChannelCount(), 6u);
    for (int s : {5, 15, 25}) {
        SCOPED_TRACE(s);
        EXPECT_FLOAT_EQ(At(st, "22,9,25,0", s), (100 + s) / 10.0f);
        EXPECT_FLOAT_EQ(At(st, "22,9,25,2", s), (300 + s) / 10.0f);
        EXPECT_FLOAT_EQ(At(st, "107,8,57,0", s), static_cast<float>(s % 2));
    }
    EXPECT_FLOAT_EQ(At(st, "21,1234,26,0", 5), 40.5f);
    EXPECT_TRUE(std::isnan(At(st, "21,1234,26,0", 15)));
    EXPECT_FLOAT_EQ(At(st, "21,1234,25,1", 25), 0.5f);
}

namespace {

// A record from its plain text, encoded here by hand: trailer, then every byte negated.
std::string HandEncoded(const std::string& plain) {
    unsigned sum = 0;
    for (char c : plain)
        sum += static_cast<unsigned char>(c);
    std::string record =
        plain + '\x40' + static_cast<char>(sum % 253 + 1) + static_cast<char>(sum % 251 + 1);
    for (char& c : record)
        c = static_cast<char>(256 - static_cast<unsigned char>(c));
    return record;
}

}  // namespace

TEST(QdxParser, CodesThatChangeFromRecordToRecordAreReadAfresh) {
    // Entries at the same place whose codes differ by one digit of the same length, or grow by a
    // digit, must not be taken for the ones of the record before.
    const int serials[] = {1234, 1235, 1235, 12350, 1234};
    std::string bytes;
    for (int s = 0; s < 5; ++s) {
        const std::string id = std::to_string(serials[s]);
        bytes += HandEncoded("2024030714000" + std::to_string(s) + "$21," + id + ",26,40." +
                             std::to_string(s) + ",1$21," + id + ",25,-0.5,1$107,3,57," +
                             std::to_string(s % 2) + ".0,1$");
    }
    std::vector<QdxRecord> got;
    CQdxParser parser([&](const QdxRecord& r) { got.push_back(r); });
    EXPECT_EQ(parser.Feed(bytes, true), bytes.size());
    ASSERT_EQ(got.size(), 5u);
    for (int s = 0; s < 5; ++s) {
        SCOPED_TRACE(s);
        ASSERT_EQ(got[s].entries.size(), 3u);
        EXPECT_EQ(got[s].entries[0].id, serials[s]);
        EXPECT_EQ(got[s].entries[0].quantity, 26);
        EXPECT_EQ(got[s].entries[0].tenths, 400 + s);
        EXPECT_EQ(got[s].entries[1].id, serials[s]);
        EXPECT_EQ(got[s].entries[1].channel, 1);
        EXPECT_EQ(got[s].entries[1].tenths, -5);
        EXPECT_EQ(got[s].entries[2].type, 107);
        EXPECT_EQ(got[s].entries[2].id, 3);
        EXPECT_EQ(got[s].entries[2].tenths, s % 2 * 10);
    }
    EXPECT_EQ(parser.Counts().badRecords, 0u);
}
