#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "recording/format/BinaryRecordFormat.h"
#include "recording/format/TextRecordFormat.h"
#include "tests/recformat/CommaLocale.h"
#include "tests/support/MakeReading.h"

namespace {

const RecordTime kTime{2024, 3, 7, 14, 5, 9};
const std::string kStamp = "20240307140509$";

std::array<InputReading, 8> NoSensors() {
    return {};
}

InputReading Tq21(uint16_t serial, int16_t humidity, int16_t temperature) {
    InputReading r;
    r.model = ModelTQ21;
    r.serialNumber = serial;
    r.values[0] = humidity;
    r.values[1] = temperature;
    return r;
}

InputReading Tq22(uint16_t serial, const std::vector<int>& absentProbes) {
    InputReading r;
    r.model = ModelTQ22;
    r.serialNumber = serial;
    for (int j = 0; j < 8; ++j)
        r.probeValues[j] = static_cast<int16_t>(200 + j);
    for (int p : absentProbes)
        r.valueFlags[p - 1] = FlagAbsent;
    r.average = 999;
    return r;
}

std::string Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes)
        s += static_cast<char>(b);
    return s;
}

std::string Decode(const std::string& record) {
    std::string text = record;
    for (char& c : text)
        c = static_cast<char>(-static_cast<uint8_t>(c));
    return text;
}

TEST(BinaryRecord, WorkedExampleByteForByte) {
    auto readings = NoSensors();
    readings[2] = Tq21(1234, 523, 215);
    const std::string text = BinaryRecordText(readings, kTime);
    EXPECT_EQ(text, "20240307140509$21,1234,26,52.3,1$21,1234,25,21.5,1$");
    ASSERT_EQ(text.size(), 51u);
    EXPECT_EQ(std::accumulate(text.begin(), text.end(), 0), 2474);

    const auto trailer = BinaryTrailer(text);
    EXPECT_EQ(trailer[0], 0x40);
    EXPECT_EQ(trailer[1], 0xC6);
    EXPECT_EQ(trailer[2], 0xD8);

    const std::string record = BuildBinaryRecord(readings, kTime);
    ASSERT_EQ(record.size(), 54u);
    EXPECT_EQ(record.substr(0, 4), Bytes({0xCE, 0xD0, 0xCE, 0xCC}));
    EXPECT_EQ(record.substr(51), Bytes({0xC0, 0x3A, 0x28}));
    EXPECT_EQ(Decode(record), text + Bytes({0x40, 0xC6, 0xD8}));
}

TEST(BinaryRecord, ReadingsWithoutTypeCodeGiveAnEmptyRecord) {
    auto readings = NoSensors();
    readings[0].model = ModelTQ28;
    readings[0].serialNumber = 5;
    readings[1].model = ModelUnknown;
    readings[2].model = ModelUnnamed;
    readings[3].inputState = 1;  // present, but no model
    const std::string record = BuildBinaryRecord(readings, kTime);
    ASSERT_EQ(record.size(), 18u);
    const std::string decoded = Decode(record);
    EXPECT_EQ(decoded.substr(0, 15), kStamp);
    EXPECT_EQ(static_cast<uint8_t>(decoded[15]), 0x40);
    EXPECT_EQ(record, BuildBinaryRecord(NoSensors(), kTime));
}

struct EntryCase {
    const char* name;
    int input;  // 1 .. 8
    InputReading reading;
    const char* entries;
};

void PrintTo(const EntryCase& c, std::ostream* os) {
    *os << c.name;
}

InputReading Binary(uint8_t state, SensorModel leftover = ModelNone) {
    InputReading r;
    r.isBinary = 1;
    r.binaryState = state;
    r.model = leftover;
    r.serialNumber = 4444;
    r.valueFlags[0] = FlagError;  // stale flags of an earlier sensor must not matter
    return r;
}

InputReading Flagged(InputReading r, int index, uint8_t flag) {
    r.valueFlags[index] = flag;
    return r;
}

class Entries : public ::testing::TestWithParam<EntryCase> {};

TEST_P(Entries, OfOneInput) {
    auto readings = NoSensors();
    readings[GetParam().input - 1] = GetParam().reading;
    EXPECT_EQ(BinaryRecordText(readings, kTime), kStamp + GetParam().entries);
}

INSTANTIATE_TEST_SUITE_P(
    Models, Entries,
    ::testing::Values(
        EntryCase{"BinaryOnInput5", 5, Binary(1), "107,5,57,1.0,1$"},
        EntryCase{"BinaryOff", 8, Binary(0), "107,8,57,0.0,1$"},
        EntryCase{"BinaryWinsOverModel", 2, Binary(1, ModelTQ21), "107,2,57,1.0,1$"},
        EntryCase{"Tq21NegativeTemperature", 1, Tq21(7, 1000, -5),
                  "21,7,26,100.0,1$21,7,25,-0.5,1$"},
        EntryCase{"Tq21HumidityErrorEndsInput", 1, Flagged(Tq21(7, 500, 200), 1, FlagError), ""},
        EntryCase{"Tq21TemperatureErrorKeepsHumidity", 1, Flagged(Tq21(7, 500, 200), 0, FlagError),
                  "21,7,26,50.0,1$"},
        EntryCase{"Tq22AllProbes", 3, Tq22(9, {}),
                  "22,9,25,20.0,1$22,9,25,20.1,1$22,9,25,20.2,1$22,9,25,20.3,1$"
                  "22,9,25,20.4,1$22,9,25,20.5,1$22,9,25,20.6,1$22,9,25,20.7,1$"},
        EntryCase{"Tq22Probe1Absent", 3, Tq22(9, {1}), ""},
        EntryCase{"Tq22Probe3Absent", 3, Tq22(9, {3, 6}), "22,9,25,20.0,1$22,9,25,20.1,1$"},
        EntryCase{"Tq23Order", 4, MakeReading(ModelTQ23, 11, {10132, 453, -120}),
                  "19,11,26,45.3,1$19,11,25,-12.0,1$19,11,27,1013.2,1$"},
        EntryCase{"Tq23PressureError", 4, MakeReading(ModelTQ23, 11, {10132, 453, -120}, {1, 0, 0}),
                  "19,11,26,45.3,1$19,11,25,-12.0,1$"},
        EntryCase{"Tq24WholeUnits", 6, MakeReading(ModelTQ24, 65535, {1013}, {0, 1, 0}),
                  "20,65535,27,1013.0,1$"},
        EntryCase{"Tq24Tenths", 6, MakeReading(ModelTQ24, 1, {-7}, {0, 1, 0}, 1),
                  "20,1,27,-0.7,1$"},
        EntryCase{"Tq24Error", 6, MakeReading(ModelTQ24, 1, {1013}, {0, 1, 1}), ""},
        EntryCase{"Tq25", 7, MakeReading(ModelTQ25, 2, {-1, 35}),
                  "100,2,29,3.5,1$100,2,28,65535.0,1$"},
        EntryCase{"Tq26KlxTenths", 8, MakeReading(ModelTQ26, 3, {-2}, {0, 0, 1}, 1),
                  "101,3,46,6553.4,1$"},
        EntryCase{"Tq26WattsWhole", 8, MakeReading(ModelTQ26, 3, {850}, {0, 0, 0}),
                  "101,3,45,850.0,1$"},
        EntryCase{"Tq26Error", 8, MakeReading(ModelTQ26, 3, {850}, {0, 1, 0}), ""}),
    [](const auto& info) { return std::string(info.param.name); });

// An input whose last read did not complete adds no entry (an invalid first channel ends an
// input's entries); the inputs around it are written as usual.
TEST(BinaryRecord, IncompleteReadAddsNoEntry) {
    auto readings = NoSensors();
    readings[0] = Tq21(7, 500, 200);
    readings[0].status = 3;
    readings[1] = Binary(1);
    readings[1].status = 3;
    readings[2] = Tq21(8, 400, -5);
    EXPECT_EQ(BinaryRecordText(readings, kTime), kStamp + "21,8,26,40.0,1$21,8,25,-0.5,1$");
    EXPECT_FALSE(BinaryChannelValid(readings[0], 0));
}

TEST(BinaryRecord, InputsAppearInInputOrder) {
    auto readings = NoSensors();
    readings[7] = Binary(1);
    readings[0] = Tq21(1, 10, 20);
    readings[3].model = ModelTQ28;
    EXPECT_EQ(BinaryRecordText(readings, kTime),
              kStamp + "21,1,26,1.0,1$21,1,25,2.0,1$107,8,57,1.0,1$");
}

TEST(BinaryRecord, ChannelFunctionsOutsideTheTable) {
    const InputReading tq21 = Tq21(1, 10, 20);
    EXPECT_EQ(BinaryQuantityCode(tq21, 2), -1);
    EXPECT_EQ(BinaryChannelValue(tq21, 2), 0.0);
    EXPECT_FALSE(BinaryChannelValid(tq21, 2));
    EXPECT_FALSE(BinaryChannelValid(tq21, -1));
    EXPECT_FALSE(BinaryChannelValid(Tq22(1, {}), 8));
    EXPECT_TRUE(BinaryChannelValid(Tq22(1, {}), 7));

    InputReading tq28 = MakeReading(ModelTQ28, 1, {1, 2, 3, 4});
    EXPECT_FALSE(BinaryTypeCode(tq28).has_value());
    EXPECT_EQ(BinaryQuantityCode(tq28, 0), -1);
    EXPECT_FALSE(BinaryChannelValid(tq28, 0));
    EXPECT_EQ(BinaryChannelId(tq28, 3), 1);
    EXPECT_EQ(BinaryChannelId(Binary(0), 3), 3);
}

// The program runs with the user's locale; a decimal comma would break the binary entries.
TEST(RecordFormats, FullStopWhateverTheLocale) {
    CommaLocale locale;
    if (!locale.Active())
        GTEST_SKIP() << "no locale with a decimal comma available";
    auto readings = NoSensors();
    readings[0] = Tq21(1234, 523, 215);
    EXPECT_EQ(BinaryRecordText(readings, kTime),
              "20240307140509$21,1234,26,52.3,1$21,1234,25,21.5,1$");
    const std::string text = BuildTextRecord(readings, {true}, ',', true, kTime, "").bytes;
    EXPECT_EQ(text.substr(text.find("\r\n") + 2), "2024.03.07 14:05:09,52.3,21.5,\r\n");
}

}  // namespace
