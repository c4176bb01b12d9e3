#include <gtest/gtest.h>

#include <initializer_list>
#include <ostream>
#include <string>

#include "ui/text/ReadingText.h"

namespace {

InputReading Make(SensorModel model, uint16_t serial, std::initializer_list<int16_t> values,
                  std::initializer_list<uint8_t> flags = {}, uint8_t aux = 0) {
    InputReading r;
    r.model = model;
    r.serialNumber = serial;
    r.auxFlag = aux;
    int i = 0;
    for (int16_t v : values)
        r.values[i++] = v;
    i = 0;
    for (uint8_t f : flags)
        r.valueFlags[i++] = f;
    return r;
}

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
        ValueCase{"Tq21Negative", Make(ModelTQ21, 1, {453, -25}), "RH = 45,3 %, T = -2,5 °C"},
        ValueCase{"Tq21MinusHalf", Make(ModelTQ21, 1, {0, -5}), "RH = 0,0 %, T = -0,5 °C"},
        ValueCase{"Tq21PlusHalf", Make(ModelTQ21, 1, {1000, 5}), "RH = 100,0 %, T = 0,5 °C"},
        ValueCase{"Tq21Extreme", Make(ModelTQ21, 1, {-1, -32768}), "RH = 6553,5 %, T = -3276,8 °C"},
        ValueCase{"Tq23", Make(ModelTQ23, 1, {10132, 453, -120}),
                  "RH = 45,3 %, T = -12,0 °C, P = 1013,2 hPa"},
        ValueCase{"Tq24WholeHpa", Make(ModelTQ24, 1, {1013}, {0, 1, 0}), "P = 1013 hPa"},
        ValueCase{"Tq24WholePaNegative", Make(ModelTQ24, 1, {-20}, {0, 0, 0}), "P = -20 Pa"},
        ValueCase{"Tq24Tenths", Make(ModelTQ24, 1, {-7}, {0, 1, 0}, 1), "P = -0,7 hPa"},
        ValueCase{"Tq25", Make(ModelTQ25, 1, {270, 35}), "V = 3,5 m/s, DIR = 270 °"},
        ValueCase{"Tq26TenthsKlx", Make(ModelTQ26, 1, {-2}, {0, 0, 1}, 1), "S = 6553,4 kLx"},
        ValueCase{"Tq26WholeWm2", Make(ModelTQ26, 1, {-25536}, {0, 0, 0}), "S = 40000 W/m2"},
        ValueCase{"Tq28Positive", Make(ModelTQ28, 1, {125, 48, 562, 305}),
                  "RH = 56,2 %, T = 3,05 °C, PE = 12,5, K = 4,8 mS/m"},
        ValueCase{"Tq28Negative", Make(ModelTQ28, 1, {0, 0, 0, -305}),
                  "RH = 0,0 %, T = -3,05 °C, PE = 0,0, K = 0,0 mS/m"},
        ValueCase{"Tq28SmallFraction", Make(ModelTQ28, 1, {0, 0, 0, -7}),
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
        ErrorCase{"NoFlags", Make(ModelTQ21, 1, {1, 1}), ""},
        ErrorCase{"Tq21Both", Make(ModelTQ21, 1, {1, 1}, {1, 1}),
                  "Błąd wilgotności Błąd temperatury "},
        ErrorCase{"Tq21TemperatureOnly", Make(ModelTQ21, 1, {1, 1}, {1, 0}), "Błąd temperatury "},
        ErrorCase{"Tq23HumidityAndPressure", Make(ModelTQ23, 1, {1, 1, 1}, {1, 0, 1}),
                  "Błąd wilgotności Błąd ciśnienia "},
        ErrorCase{"Tq23All", Make(ModelTQ23, 1, {1, 1, 1}, {1, 1, 1}),
                  "Błąd wilgotności Błąd temperatury Błąd ciśnienia "},
        ErrorCase{"Tq24UnitFlagIsNoError", Make(ModelTQ24, 1, {1}, {1, 1, 0}), ""},
        ErrorCase{"Tq24Pressure", Make(ModelTQ24, 1, {1}, {0, 0, 1}), "Błąd ciśnienia "},
        ErrorCase{"Tq25Both", Make(ModelTQ25, 1, {1, 1}, {1, 1}), "Błąd prędkości Błąd kierunku "},
        ErrorCase{"Tq26UnitFlagIsNoError", Make(ModelTQ26, 1, {1}, {1, 0, 1}), ""},
        ErrorCase{"Tq26Measurement", Make(ModelTQ26, 1, {1}, {0, 1, 0}), "Błąd pomiaru "},
        ErrorCase{"Tq28All", Make(ModelTQ28, 1, {1, 1, 1, 1}, {1, 1, 1}, 1),
                  "Błąd wilgotności Błąd temperatury Błąd przenikalności elektrycznej Błąd "
                  "konduktywności "},
        ErrorCase{"Tq22ProbeFlagsAreNoErrors", Make(ModelTQ22, 1, {}, {2, 1, 2}), ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadingText, ModelsWithoutPresentationGiveQuestionMarks) {
    for (SensorModel model : {ModelNone, ModelUnknown, ModelUnnamed, static_cast<SensorModel>(3),
                              static_cast<SensorModel>(-1)}) {
        InputReading r = Make(model, 4321, {123}, {1, 1, 1}, 1);
        const ReadingText t = FormatReading(r);
        EXPECT_EQ(t.modelName, "???") << model;
        EXPECT_EQ(t.serial, "???") << model;
        EXPECT_EQ(t.value, "???") << model;
        EXPECT_EQ(t.errors, "") << model;
        EXPECT_EQ(ReadingCaption(t), "??? nr ??? ") << model;
    }
}

TEST(ReadingText, CaptionEndsInBlankWithoutErrors) {
    const ReadingText ok = FormatReading(Make(ModelTQ21, 65535, {1, 1}));
    EXPECT_EQ(ok.serial, "65535");
    EXPECT_EQ(ReadingCaption(ok), "TQ21 nr 65535 ");
    const ReadingText bad = FormatReading(Make(ModelTQ24, 7, {1}, {0, 0, 1}));
    EXPECT_EQ(ReadingCaption(bad), "TQ24 nr 7 Błąd ciśnienia ");
}

}  // namespace
