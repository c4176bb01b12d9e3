#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "tests/recording/RecordingTestFiles.h"
#include "tests/trend/FlatCycles.h"
#include "tests/trend/TrendFiles.h"
#include "trend/CellValue.h"
#include "trend/CsvExport.h"
#include "trend/RecordingReader.h"
#include "trend/TextRecordingParser.h"

namespace {

Readings TwoSensors(int16_t temperature) {
    Readings r{};
    r[0] = Tq21(1234, 523, temperature);
    InputReading pressure = MakeReading(ModelTQ24, 55, {10132}, {0, 1, 0}, 1);
    r[3] = pressure;
    r[6].isBinary = 1;
    r[6].binaryState = static_cast<uint8_t>(temperature % 2);
    return r;
}

struct Opened {
    RecordingRead read;
    const CSampleStore& store() const { return *read.store; }
    int Channel(const std::string& title) const { return read.store->FindChannel(title); }
    // The value of the channel at second s, NaN when there is none.
    float At(const std::string& title, int s) const {
        const FlatCycles st(*read.store);
        const std::size_t i = st.CycleAtOrAfter(EpochMsAt(s));
        if (i >= st.CycleCount() || st.CycleTime(i) != EpochMsAt(s))
            return -9999;
        return st.Value(Channel(title), i);
    }
};

Opened Open(const TempFolder& dir, const std::string& bytes) {
    WriteFile(dir.File("rec.txt"), bytes);
    return {ReadRecordingFile(dir.File("rec.txt"))};
}

class TextReader : public ::testing::TestWithParam<char> {};

TEST_P(TextReader, ReadsWhatTheRecordingWrote) {
    TempFolder dir;
    TextFileWriter w(GetParam());
    w.Comment("Pomiar w hali\nczujnik przy oknie", false);
    for (int s = 0; s < 5; ++s)
        w.Row(TwoSensors(static_cast<int16_t>(200 + s)), s);
    w.Row(TwoSensors(0), 5, false);  // silent: the short header
    w.Row(TwoSensors(0), 6, false);
    Readings changed = TwoSensors(210);
    changed[0].valueFlags[0] = FlagError;  // temperature "???"
    w.Row(changed, 7);
    w.Comment("druga seria; po przerwie", true);
    changed[0] = Tq21(4321, 600, -5);  // sensor replaced: a new header mid-file
    w.Row(changed, 8);
    w.Row(changed, 9);

    const Opened f = Open(dir, w.bytes);
    ASSERT_TRUE(f.read.error.empty()) << f.read.error;
    const RecordingSummary& s = f.read.summary;
    EXPECT_EQ(s.format, RecordingFormat::Text);
    EXPECT_EQ(s.records, 10u);
    EXPECT_EQ(s.badRecords, 0u);
    EXPECT_EQ(s.headers, 4u);
    EXPECT_EQ(s.invalidValues, 1u);
    EXPECT_EQ(s.comments, 4u);  // two comment lines, the empty line, the second comment
    EXPECT_EQ(s.firstMs, EpochMsAt(0));
    EXPECT_EQ(s.lastMs, EpochMsAt(9));

    const std::string temp = "TQ21 1234 Temperatura [°C]";
    EXPECT_FLOAT_EQ(f.At(temp, 0), 20.0f);
    EXPECT_FLOAT_EQ(f.At(temp, 4), 20.4f);
    EXPECT_TRUE(std::isnan(f.At(temp, 5)));  // silent device
    EXPECT_TRUE(std::isnan(f.At(temp, 7)));  // "???"
    EXPECT_FLOAT_EQ(f.At("TQ21 1234 Wilgotność [%]", 7), 52.3f);
    EXPECT_TRUE(std::isnan(f.At(temp, 8)));  // sensor replaced
    EXPECT_FLOAT_EQ(f.At("TQ21 4321 Temperatura [°C]", 8), -0.5f);
    EXPECT_FLOAT_EQ(f.At("TQ24 55 Ciśnienie [hPa]", 9), 1013.2f);
    EXPECT_FLOAT_EQ(f.At("Wejście binarne 7", 1), 1.0f);
    EXPECT_FLOAT_EQ(f.At("Wejście binarne 7", 2), 0.0f);
    const ChannelInfo& c = f.store().Channel(f.Channel("TQ24 55 Ciśnienie [hPa]"));
    EXPECT_EQ(c.model, "TQ24");
    EXPECT_EQ(c.serial, "55");
    EXPECT_EQ(c.quantity, "Ciśnienie");
    EXPECT_EQ(c.unit, "hPa");
}

INSTANTIATE_TEST_SUITE_P(Separators, TextReader, ::testing::Values('\t', ',', ';'));

TEST(TextReaderDamage, TornLastLineAndRowsWithoutTheirHeaderAreSkipped) {
    TempFolder dir;
    TextFileWriter w(';');
    for (int s = 0; s < 4; ++s)
        w.Row(TwoSensors(200), s);
    std::string bytes = w.bytes;
    // A row cut short in the middle (a crash, then appending) and a torn last line.
    const std::string row = bytes.substr(bytes.rfind("2024.03.07"));
    bytes += row.substr(0, 30) + "\r\n";
    TextFileWriter more(';');
    more.last = w.last;
    more.Row(TwoSensors(300), 10);
    bytes += more.bytes;
    bytes += more.bytes.substr(0, 25);
    const Opened f = Open(dir, bytes);
    ASSERT_TRUE(f.read.error.empty()) << f.read.error;
    EXPECT_EQ(f.read.summary.records, 5u);
    EXPECT_EQ(f.read.summary.badRecords, 2u);
    EXPECT_TRUE(f.read.summary.tornTail);
    EXPECT_FLOAT_EQ(f.At("TQ21 1234 Temperatura [°C]", 10), 30.0f);
}

TEST(TextReaderDamage, NulRunsOfATornWriteAreSkippedAndCounted) {
    TempFolder dir;
    std::string bytes;
    std::vector<std::size_t> rowStart;
    TextFileWriter w('\t');
    for (int s = 0; s < 10; ++s) {
        rowStart.push_back(w.bytes.size());
        w.Row(TwoSensors(static_cast<int16_t>(200 + s)), s);
    }
    // Row 4 cut off by a NUL run longer than a read chunk, after which row 5 starts afresh;
    // a few NUL bytes in the middle of row 7.
    bytes = w.bytes.substr(0, rowStart[4] + 20) + std::string(3 << 20, '\0') +
            w.bytes.substr(rowStart[5], rowStart[7] + 25 - rowStart[5]) + std::string(9, '\0') +
            w.bytes.substr(rowStart[7] + 34);
    const Opened f = Open(dir, bytes);
    ASSERT_TRUE(f.read.error.empty()) << f.read.error;
    EXPECT_EQ(f.read.summary.records, 8u);
    EXPECT_EQ(f.read.summary.badRecords, 2u);
    EXPECT_FALSE(f.read.summary.tornTail);
    const std::string temp = "TQ21 1234 Temperatura [°C]";
    EXPECT_FLOAT_EQ(f.At(temp, 3), 20.3f);
    EXPECT_EQ(f.At(temp, 4), -9999);
    EXPECT_FLOAT_EQ(f.At(temp, 5), 20.5f);
    EXPECT_EQ(f.At(temp, 7), -9999);
    EXPECT_FLOAT_EQ(f.At(temp, 9), 20.9f);
}

TEST(TextReaderDamage, LongSilenceIsAGap) {
    TempFolder dir;
    TextFileWriter w('\t');
    for (int s : {0, 1, 2, 3, 600, 601})
        w.Row(TwoSensors(200), s);
    const Opened f = Open(dir, w.bytes);
    EXPECT_EQ(f.read.summary.gaps, 1u);
}

TEST(CsvExport, ReadsBackWithTheSameValuesAndTimes) {
    TempFolder dir;
    TextFileWriter w(',');
    for (int s = 0; s < 30; ++s) {
        Readings r = TwoSensors(static_cast<int16_t>(-100 + 7 * s));
        if (s == 12)
            r[0].valueFlags[1] = FlagError;
        w.Row(r, s);
    }
    const Opened f = Open(dir, w.bytes);
    ASSERT_TRUE(f.read.store);
    const CSampleStore& st = f.store();
    std::vector<int> all;
    for (std::size_t c = 0; c < st.ChannelCount(); ++c)
        all.push_back(static_cast<int>(c));
    std::string exported;
    ASSERT_TRUE(ExportCsv(st, all, EpochMsAt(5), EpochMsAt(20), ';', [&](std::string_view b) {
        exported += b;
        return true;
    }));
    EXPECT_NE(exported.find("\r\n"), std::string::npos);
    const Opened back = Open(dir, exported);
    ASSERT_TRUE(back.read.error.empty()) << back.read.error;
    const FlatCycles b(back.store());
    const FlatCycles flat(st);
    ASSERT_EQ(b.CycleCount(), 16u);
    for (std::size_t i = 0; i < b.CycleCount(); ++i) {
        const std::size_t j = flat.CycleAtOrAfter(b.CycleTime(i));
        ASSERT_EQ(flat.CycleTime(j), b.CycleTime(i));
        for (int c : all) {
            const int cb = b.FindChannel(st.Channel(c).key);
            ASSERT_GE(cb, 0) << st.Channel(c).key;
            const float v = flat.Value(c, j), vb = b.Value(cb, i);
            EXPECT_TRUE(v == vb || (std::isnan(v) && std::isnan(vb))) << st.Channel(c).key;
        }
    }
}

}  // namespace

// The row reader takes the common numbers in its own pass: every cell must still read as the
// single-cell rule reads it, odd ones included.
TEST(TextReaderCells, RowCellsReadAsSingleCells) {
    const std::vector<std::string> cells = {
        "-0.5", "007",      "12",           "-3.000",        "1.234567", "1.2345678", "12.",
        "-",    "",         "1 - wlaczone", "0 - wylaczone", "???",      "1e3",       "-12",
        "+1",   "99999999", "123456789012", "1234567890123", " 1",       "1 ",        "2.5"};
    std::string header = "Data i Godzina";
    std::string row = "2024.03.07 14:05:09";
    for (std::size_t i = 0; i < cells.size(); ++i) {
        header += ";c" + std::to_string(i);
        row += ";" + cells[i];
    }
    CSampleStore store;
    CTextRecordingParser parser(store);
    const std::string data = header + "\n" + row + "\n";
    ASSERT_EQ(parser.Feed(data, true), data.size());
    ASSERT_EQ(parser.Counts().rows, 1u);
    ASSERT_EQ(store.ChannelCount(), cells.size());
    for (std::size_t i = 0; i < cells.size(); ++i) {
        float expected = 0;
        int decimals = 0;
        if (!ParseRecordingCell(cells[i], expected, decimals))
            expected = std::nanf("");
        const float got = store.Value(static_cast<int>(i), 0);
        if (std::isnan(expected))
            EXPECT_TRUE(std::isnan(got)) << "cell '" << cells[i] << "'";
        else
            EXPECT_EQ(got, expected) << "cell '" << cells[i] << "'";
    }
}

// Cells are scaled by a multiplication: it must round to the float the exact division gives.
TEST(TextReaderCells, ScaledCellsRoundAsTheDivision) {
    std::mt19937_64 rng(11);
    for (int places = 0; places <= 6; ++places) {
        const double scale = std::pow(10.0, places);
        auto check = [&](int64_t m) {
            const float expected = static_cast<float>(static_cast<double>(m) / scale);
            ASSERT_EQ(ScaledCell(m, places, false), expected) << m << " / 10^" << places;
            ASSERT_EQ(ScaledCell(m, places, true), -expected) << m << " / 10^" << places;
        };
        for (int64_t m = 0; m < (1 << 17); ++m)
            check(m);
        for (int i = 0; i < 200000; ++i)
            check(static_cast<int64_t>(rng() % (int64_t{1} << 40)));
    }
}
