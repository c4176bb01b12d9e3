#include <gtest/gtest.h>

#include <initializer_list>
#include <ostream>
#include <string>

#include "tests/support/MakeReading.h"
#include "text/ReadingText.h"

namespace {

struct ValueCase {
    const char* name;
    InputReading reading;
    const char* value;
};

void PrintTo(const ValueCase& c, std::ostream* os) {
    *os << c.name;
}

class ValueLine : public ::testing::TestWithParam<ValueCase> {};

TEST_P(ValueLine, IsExact) {
    EXPECT_EQ(FormatReading(GetParam().reading).value, GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Models, ValueLine,
    ::testing::Values(
        ValueCase{"Tq21Negative", MakeReading(ModelTQ21, 1, {453, -25}),
                  "RH = 45,3 %, T = -2,5 °C"},
        ValueCase{"Tq21MinusHalf", MakeReading(ModelTQ21, 1, {0, -5}), "RH = 0,0 %, T = -0,5 °C"},
        ValueCase{"Tq21PlusHalf", MakeReading(ModelTQ21, 1, {1000, 5}), "RH = 100,0 %, T = 0,5 °C"},
        ValueCase{"Tq21Extreme", MakeReading(ModelTQ21, 1, {-1, -32768}),
                  "RH = 6553,5 %, T = -3276,8 °C"},
        ValueCase{"Tq23", MakeReading(ModelTQ23, 1, {10132, 453, -120}),
                  "RH = 45,3 %, T = -12,0 °C, P = 1013,2 hPa"},
        ValueCase{"Tq24WholeHpa", MakeReading(ModelTQ24, 1, {1013}, {0, 1, 0}), "P = 1013 hPa"},
        ValueCase{"Tq24WholePaNegative", MakeReading(ModelTQ24, 1, {-20}, {0, 0, 0}), "P = -20 Pa"},
        ValueCase{"Tq24Tenths", MakeReading(ModelTQ24, 1, {-7}, {0, 1, 0}, 1), "P = -0,7 hPa"},
        ValueCase{"Tq25", MakeReading(ModelTQ25, 1, {270, 35}), "V = 3,5 m/s, DIR = 270 °"},
        ValueCase{"Tq26TenthsKlx", MakeReading(ModelTQ26, 1, {-2}, {0, 0, 1}, 1), "S = 6553,4 kLx"},
        ValueCase{"Tq26WholeWm2", MakeReading(ModelTQ26, 1, {-25536}, {0, 0, 0}), "S = 40000 W/m2"},
        ValueCase{"Tq28Positive", MakeReading(ModelTQ28, 1, {125, 48, 562, 305}),
                  "RH = 56,2 %, T = 3,05 °C, PE = 12,5, K = 4,8 mS/m"},
        ValueCase{"Tq28Negative", MakeReading(ModelTQ28, 1, {0, 0, 0, -305}),
                  "RH = 0,0 %, T = -3,05 °C, PE = 0,0, K = 0,0 mS/m"},
        ValueCase{"Tq28SmallFraction", MakeReading(ModelTQ28, 1, {0, 0, 0, -7}),
                  "RH = 0,0 %, T = -0,07 °C, PE = 0,0, K = 0,0 mS/m"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadingText, Tq22WithProbes3And8InvalidKeepsSpacing) {
    InputReading r;
    r.model = ModelTQ22;
    r.serialNumber = 77;
    const int16_t probes[8] = {215, 217, 999, -5, 0, 1234, -32768, 999};
    for (int j = 0; j < 8; ++j)
        r.probeValues[j] = probes[j];
    r.valueFlags[2] = FlagAbsent;
    r.valueFlags[7] = FlagAbsent;
    r.average = -12;
    const ReadingText t = FormatReading(r);
    EXPECT_EQ(t.modelName, "TQ22");
    EXPECT_EQ(t.value,
              "T1:21,5    T2:21,7    T3:---    T4:-0,5    T5:0,0    T6:123,4    T7:-3276,8    "
              "T8:---   ŚR:-1,2 °C");
    EXPECT_EQ(t.errors, "");
}

TEST(ReadingText, Tq22AllProbesInvalidShowsDashesEverywhere) {
    InputReading r;
    r.model = ModelTQ22;
    for (auto& f : r.valueFlags)
        f = FlagAbsent;
    r.probeValues[0] = 100;
    r.averageFlag = FlagAbsent;
    EXPECT_EQ(FormatReading(r).value,
              "T1:---    T2:---    T3:---    T4:---    T5:---    T6:---    T7:---    T8:---   "
              "ŚR:--- °C");
}

struct ErrorCase {
    const char* name;
    InputReading reading;
    const char* errors;
};

void PrintTo(const ErrorCase& c, std::ostream* os) {
    *os << c.name;
}

class ErrorText : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ErrorText, PhrasesInOrder) {
    EXPECT_EQ(FormatReading(GetParam().reading).errors, GetParam().errors);
}

INSTANTIATE_TEST_SUITE_P(
    Models, ErrorText,
    ::testing::Values(
        ErrorCase{"NoFlags", MakeReading(ModelTQ21, 1, {1, 1}), ""},
        ErrorCase{"Tq21Both", MakeReading(ModelTQ21, 1, {1, 1}, {1, 1}),
                  "Błąd wilgotności Błąd temperatury "},
        ErrorCase{"Tq21TemperatureOnly", MakeReading(ModelTQ21, 1, {1, 1}, {1, 0}),
                  "Błąd temperatury "},
        ErrorCase{"Tq23HumidityAndPressure", MakeReading(ModelTQ23, 1, {1, 1, 1}, {1, 0, 1}),
                  "Błąd wilgotności Błąd ciśnienia "},
        ErrorCase{"Tq23All", MakeReading(ModelTQ23, 1, {1, 1, 1}, {1, 1, 1}),
                  "Błąd wilgotności Błąd temperatury Błąd ciśnienia "},
        ErrorCase{"Tq24UnitFlagIsNoError", MakeReading(ModelTQ24, 1, {1}, {1, 1, 0}), ""},
        ErrorCase{"Tq24Pressure", MakeReading(ModelTQ24, 1, {1}, {0, 0, 1}), "Błąd ciśnienia "},
        ErrorCase{"Tq25Both", MakeReading(ModelTQ25, 1, {1, 1}, {1, 1}),
                  "Błąd prędkości Błąd kierunku "},
        ErrorCase{"Tq26UnitFlagIsNoError", MakeReading(ModelTQ26, 1, {1}, {1, 0, 1}), ""},
        ErrorCase{"Tq26Measurement", MakeReading(ModelTQ26, 1, {1}, {0, 1, 0}), "Błąd pomiaru "},
        ErrorCase{"Tq28All", MakeReading(ModelTQ28, 1, {1, 1, 1, 1}, {1, 1, 1}, 1),
                  "Błąd wilgotności Błąd temperatury Błąd przenikalności elektrycznej Błąd "
                  "konduktywności "},
        ErrorCase{"Tq22ProbeFlagsAreNoErrors", MakeReading(ModelTQ22, 1, {}, {2, 1, 2}), ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadingText, ModelsWithoutPresentationGiveQuestionMarks) {
    for (SensorModel model : {ModelNone, ModelUnknown, ModelUnnamed, static_cast<SensorModel>(3),
                              static_cast<SensorModel>(-1)}) {
        InputReading r = MakeReading(model, 4321, {123}, {1, 1, 1}, 1);
        const ReadingText t = FormatReading(r);
        EXPECT_EQ(t.modelName, "???") << model;
        EXPECT_EQ(t.serial, "???") << model;
        EXPECT_EQ(t.value, "???") << model;
        EXPECT_EQ(t.errors, "") << model;
        EXPECT_EQ(ReadingCaption(t), "??? nr ??? ") << model;
    }
}

TEST(ReadingText, CaptionEndsInBlankWithoutErrors) {
    const ReadingText ok = FormatReading(MakeReading(ModelTQ21, 65535, {1, 1}));
    EXPECT_EQ(ok.serial, "65535");
    EXPECT_EQ(ReadingCaption(ok), "TQ21 nr 65535 ");
    const ReadingText bad = FormatReading(MakeReading(ModelTQ24, 7, {1}, {0, 0, 1}));
    EXPECT_EQ(ReadingCaption(bad), "TQ24 nr 7 Błąd ciśnienia ");
}

TEST(ReadingText, DecimalCommaWhateverTheLocale) {
    EXPECT_EQ(DecimalCommaText(-2.5, 1), "-2,5");
    EXPECT_EQ(DecimalCommaText(1013.25, 1), "1013,3");  // no group separator
    EXPECT_EQ(DecimalCommaText(-0.04, 1), "0,0");       // no negative zero
    EXPECT_EQ(DecimalCommaText(0.05, 2), "0,05");
    EXPECT_EQ(DecimalCommaText(7, 0), "7");
}

}  // namespace
