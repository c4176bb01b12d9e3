#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "recording/format/TextRecordFormat.h"
#include "tests/support/MakeReading.h"

namespace {

const RecordTime kTime{2024, 3, 7, 14, 5, 9};

InputReading Tq22(std::initializer_list<int> absentProbes, uint8_t averageFlag = 0) {
    InputReading r;
    r.model = ModelTQ22;
    r.serialNumber = 22;
    for (int j = 0; j < 8; ++j)
        r.probeValues[j] = static_cast<int16_t>(-5 + 10 * j);
    for (int p : absentProbes)
        r.valueFlags[p - 1] = FlagAbsent;
    r.averageFlag = averageFlag;
    r.average = 123;
    return r;
}

TEST(TextRecord, SeparatorCodes) {
    EXPECT_EQ(TextSeparator(0), '\t');
    EXPECT_EQ(TextSeparator(1), ',');
    EXPECT_EQ(TextSeparator(2), ';');
    EXPECT_EQ(TextSeparator(7), '\t');
    EXPECT_EQ(TextSeparator(-1), '\t');
}

TEST(TextRecord, TimeStamp) {
    EXPECT_EQ(TextTimeStamp(kTime), "2024.03.07 14:05:09");
    EXPECT_EQ(TextTimeStamp({1999, 12, 31, 23, 59, 0}), "1999.12.31 23:59:00");
}

TEST(TextRecord, ValueTexts) {
    const struct {
        int16_t raw;
        const char *u1, *s1, *s2;
    } cases[] = {
        {523, "52.3", "52.3", "5.23"},
        {7, "0.7", "0.7", "0.07"},
        {0, "0.0", "0.0", "0.00"},
        {1000, "100.0", "100.0", "10.00"},
        {-5, "6553.1", "-0.5", "-0.05"},
        {-1234, "6430.2", "-123.4", "-12.34"},
        {5, "0.5", "0.5", "0.05"},
        {-32768, "3276.8", "-3276.8", "-327.68"},
        {32767, "3276.7", "3276.7", "327.67"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TextU1(c.raw), c.u1) << c.raw;
        EXPECT_EQ(TextS1(c.raw), c.s1) << c.raw;
        EXPECT_EQ(TextS2(c.raw), c.s2) << c.raw;
    }
}

struct ColumnCase {
    const char* name;
    InputReading reading;
    const char* titles;
    const char* values;
};

void PrintTo(const ColumnCase& c, std::ostream* os) {
    *os << c.name;
}

InputReading Binary(uint8_t state) {
    InputReading r = MakeReading(ModelTQ21, 99, {1, 2});
    r.isBinary = 1;
    r.binaryState = state;
    return r;
}

class Columns : public ::testing::TestWithParam<ColumnCase> {};

// Separator ';' on input 3; titles and values are UTF-8 here.
TEST_P(Columns, TitlesAndValues) {
    const InputColumns c = FormatInputColumns(GetParam().reading, 3, ';', true);
    EXPECT_EQ(c.titles, GetParam().titles);
    EXPECT_EQ(c.values, GetParam().values);
    EXPECT_EQ(std::count(c.titles.begin(), c.titles.end(), ';'),
              std::count(c.values.begin(), c.values.end(), ';'));
}

INSTANTIATE_TEST_SUITE_P(
    Models, Columns,
    ::testing::Values(
        ColumnCase{"BinaryOn", Binary(1), "Wejście binarne 3;", "1 - włączone;"},
        ColumnCase{"BinaryOff", Binary(0), "Wejście binarne 3;", "0 - wyłączone;"},
        ColumnCase{"Tq21", MakeReading(ModelTQ21, 1234, {1000, -5}),
                   "TQ21 1234 Wilgotność [%];TQ21 1234 Temperatura [°C];", "100.0;-0.5;"},
        ColumnCase{"Tq21Zero", MakeReading(ModelTQ21, 1, {0, 0}),
                   "TQ21 1 Wilgotność [%];TQ21 1 Temperatura [°C];", "0.0;0.0;"},
        ColumnCase{"Tq21HumidityError", MakeReading(ModelTQ21, 1, {523, 215}, {0, 1}),
                   "TQ21 1 Wilgotność [%];TQ21 1 Temperatura [°C];", "???;21.5;"},
        ColumnCase{"Tq22Probes3And5Absent", Tq22({3, 5}),
                   "TQ22 22 Temperatura1 [°C];TQ22 22 Temperatura2 [°C];TQ22 22 Temperatura4 "
                   "[°C];TQ22 22 Temperatura6 [°C];TQ22 22 Temperatura7 [°C];TQ22 22 "
                   "Temperatura8 [°C];TQ22 22 Temperatura średnia [°C];",
                   "-0.5;0.5;2.5;4.5;5.5;6.5;12.3;"},
        ColumnCase{"Tq22AllAbsent", Tq22({1, 2, 3, 4, 5, 6, 7, 8}, FlagAbsent),
                   "TQ22 22 Temperatura średnia [°C];", "???;"},
        ColumnCase{"Tq23", MakeReading(ModelTQ23, 5, {10132, 453, -120}, {0, 0, 1}),
                   "TQ23 5 Wilgotność [%];TQ23 5 Temperatura [°C];TQ23 5 Ciśnienie [hPa];",
                   "???;-12.0;1013.2;"},
        ColumnCase{"Tq24WholePa", MakeReading(ModelTQ24, 6, {-20}, {0, 0, 0}),
                   "TQ24 6 Ciśnienie [Pa];", "-20;"},
        ColumnCase{"Tq24TenthsHpa", MakeReading(ModelTQ24, 6, {10132}, {0, 1, 0}, 1),
                   "TQ24 6 Ciśnienie [hPa];", "1013.2;"},
        ColumnCase{"Tq24Error", MakeReading(ModelTQ24, 6, {10132}, {0, 1, 1}, 1),
                   "TQ24 6 Ciśnienie [hPa];", "???;"},
        ColumnCase{"Tq25", MakeReading(ModelTQ25, 8, {-1, 35}, {0, 0}),
                   "TQ25 8 Prędkość [m/s];TQ25 8 Kierunek [°];", "3.5;65535;"},
        ColumnCase{"Tq26WholeWatts", MakeReading(ModelTQ26, 9, {-2}, {0, 0, 0}), "TQ26 9  [W/m2];",
                   "65534;"},
        ColumnCase{"Tq26TenthsKlx", MakeReading(ModelTQ26, 9, {-2}, {0, 0, 1}, 1), "TQ26 9  [kLx];",
                   "6553.4;"},
        ColumnCase{"Tq26Error", MakeReading(ModelTQ26, 9, {5}, {0, 1, 0}), "TQ26 9  [W/m2];",
                   "???;"},
        ColumnCase{"Tq28", MakeReading(ModelTQ28, 12, {125, 48, 562, 7}),
                   "TQ28 12 Wilgotność [%];TQ28 12 Temperatura [°C];TQ28 12 Przenikalność "
                   "elektryczna [];TQ28 12 Konduktywność [mS/m];",
                   "56.2;0.07;12.5;4.8;"},
        ColumnCase{"Tq28PermittivityError", MakeReading(ModelTQ28, 12, {125, 48, 562, -7}, {}, 1),
                   "TQ28 12 Wilgotność [%];TQ28 12 Temperatura [°C];TQ28 12 Przenikalność "
                   "elektryczna [];TQ28 12 Konduktywność [mS/m];",
                   "56.2;-0.07;???;4.8;"},
        ColumnCase{"Unknown", MakeReading(ModelUnknown, 1, {1}), "", ""},
        ColumnCase{"Unnamed", MakeReading(ModelUnnamed, 1, {1}), "", ""},
        ColumnCase{"None", MakeReading(ModelNone, 1, {1}), "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextRecord, NoColumnsWhileTheDeviceIsSilent) {
    for (const InputReading& r : {Binary(1), MakeReading(ModelTQ21, 1, {1, 2}), Tq22({})}) {
        const InputColumns c = FormatInputColumns(r, 1, '\t', false);
        EXPECT_EQ(c.titles, "");
        EXPECT_EQ(c.values, "");
    }
}

// A reading whose last read did not complete keeps its columns (the row's count stays) but
// holds nothing measured in that cycle: every value is "???", flags and probes included.
TEST(TextRecord, IncompleteReadWritesNoValue) {
    InputReading tq21 = MakeReading(ModelTQ21, 1, {523, 215});
    tq21.status = 3;
    EXPECT_EQ(FormatInputColumns(tq21, 1, ',', true).titles,
              "TQ21 1 Wilgotność [%],TQ21 1 Temperatura [°C],");
    EXPECT_EQ(FormatInputColumns(tq21, 1, ',', true).values, "???,???,");

    InputReading probes = Tq22({2});
    probes.status = 3;
    const InputColumns c = FormatInputColumns(probes, 1, ';', true);
    EXPECT_EQ(c.titles, FormatInputColumns(Tq22({2}), 1, ';', true).titles);
    EXPECT_EQ(c.values, "???;???;???;???;???;???;???;???;");

    InputReading binary = Binary(1);
    binary.status = 3;
    EXPECT_EQ(FormatInputColumns(binary, 2, '\t', true).values, "???\t");
}

std::array<bool, 8> Select(std::initializer_list<int> inputs) {
    std::array<bool, 8> selected{};
    for (int n : inputs)
        selected[n - 1] = true;
    return selected;
}

class Record : public ::testing::Test {
protected:
    Record() {
        readings_[0] = MakeReading(ModelTQ21, 1234, {523, 215});
        readings_[1] = MakeReading(ModelTQ24, 7, {1013}, {0, 1, 0});
    }
    // Runs one record through the caller's part: remembers the header.
    std::string Write(const std::array<bool, 8>& selected, char separator, bool responding) {
        TextRecord record =
            BuildTextRecord(readings_, selected, separator, responding, kTime, lastHeader_);
        lastHeader_ = record.header;
        return record.bytes;
    }
    std::array<InputReading, 8> readings_{};
    std::string lastHeader_;
};

TEST_F(Record, Cp1250BytesOfTitles) {
    const std::string bytes = Write(Select({1}), '\t', true);
    EXPECT_EQ(bytes,
              "Data i Godzina\tTQ21 1234 Wilgotno\x9c\xe6 [%]\tTQ21 1234 Temperatura [\xb0"
              "C]\t\r\n2024.03.07 14:05:09\t52.3\t21.5\t\r\n");
    EXPECT_EQ(lastHeader_,
              "Data i Godzina\tTQ21 1234 Wilgotność [%]\tTQ21 1234 Temperatura [°C]\t\r\n");
}

TEST_F(Record, BinaryValueTextInCp1250) {
    readings_[4] = MakeReading(ModelNone, 0, {});
    readings_[4].isBinary = 1;
    readings_[4].binaryState = 1;
    EXPECT_EQ(
        Write(Select({5}), ',', true),
        "Data i Godzina,Wej\x9c\x63ie binarne 5,\r\n2024.03.07 14:05:09,1 - w\xb3\xb9\x63zone,"
        "\r\n");
}

TEST_F(Record, HeaderOnlyWhenItChanges) {
    const std::string row = "2024.03.07 14:05:09;52.3;21.5;1013;\r\n";
    const std::string first = Write(Select({1, 2}), ';', true);
    EXPECT_EQ(first.substr(0, 15), "Data i Godzina;");
    EXPECT_TRUE(first.ends_with("\r\n" + row));
    EXPECT_EQ(Write(Select({1, 2}), ';', true), row);
    EXPECT_EQ(Write(Select({1, 2}), ';', true), row);

    // Silent device: short header once, then bare time stamps.
    EXPECT_EQ(Write(Select({1, 2}), ';', false), "Data i Godzina;\r\n2024.03.07 14:05:09;\r\n");
    EXPECT_EQ(Write(Select({1, 2}), ';', false), "2024.03.07 14:05:09;\r\n");

    // Recovery: the full header comes back.
    EXPECT_EQ(Write(Select({1, 2}), ';', true), first);

    // A new separator is a new header.
    EXPECT_TRUE(Write(Select({1, 2}), ',', true).starts_with("Data i Godzina,TQ21"));

    // A changed unit is a new header.
    readings_[1].valueFlags[1] = 0;
    EXPECT_EQ(Write(Select({1, 2}), ',', true).substr(0, 15), "Data i Godzina,");
}

TEST_F(Record, OnlySelectedInputsInInputOrder) {
    const std::string second = Write(Select({2}), '\t', true);
    EXPECT_EQ(second,
              "Data i Godzina\tTQ24 7 Ci\x9cnienie [hPa]\t\r\n2024.03.07 14:05:09\t1013\t\r\n");
    const std::string both = Write(Select({2, 1}), '\t', true);
    EXPECT_LT(both.find("TQ21"), both.find("TQ24"));
}

TEST_F(Record, NoInputSelected) {
    EXPECT_EQ(Write(Select({}), '\t', true), "Data i Godzina\t\r\n2024.03.07 14:05:09\t\r\n");
}

TEST(TextRecord, CommentBlock) {
    EXPECT_EQ(TextCommentBlock("", false), "");
    EXPECT_EQ(TextCommentBlock("", true), "\r\n");
    EXPECT_EQ(TextCommentBlock("Pomiar ś\nhala 2\r\n\rkoniec", true),
              "\r\nPomiar \x9c\r\nhala 2\r\n\r\nkoniec\r\n");
    EXPECT_EQ(TextCommentBlock("a\n", false), "a\r\n\r\n");
    EXPECT_FALSE(TextCommentBlock("Zażółć 😀", false).has_value());
    EXPECT_FALSE(TextCommentBlock("\xff", true).has_value());
}

}  // namespace
