#include "text/Cp1250.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cwctype>

#include "tests/text/SystemCodePage.h"

namespace {

std::string Encode(std::string_view utf8) {
    const auto bytes = cp1250::FromUtf8(utf8);
    EXPECT_TRUE(bytes.has_value()) << utf8;
    return bytes.value_or("");
}

TEST(Cp1250Test, PolishTextsEncodeToKnownBytes) {
    EXPECT_EQ(Encode("Wilgotność"), "Wilgotno\x9C\xE6");
    EXPECT_EQ(Encode("[°C]"),
              "[\xB0"
              "C]");
    EXPECT_EQ(Encode("ąćęłńóśźż ĄĆĘŁŃÓŚŹŻ"),
              "\xB9\xE6\xEA\xB3\xF1\xF3\x9C\x9F\xBF \xA5\xC6\xCA\xA3\xD1\xD3\x8C\x8F\xAF");
    EXPECT_EQ(Encode("€ „x” – µ"), "\x80 \x84x\x94 \x96 \xB5");
    EXPECT_EQ(Encode(""), "");

    EXPECT_EQ(cp1250::ToUtf8("Wilgotno\x9C\xE6 [\xB0"
                             "C]"),
              "Wilgotność [°C]");
    EXPECT_EQ(cp1250::ToUtf8("\xA3\xF3\x64\x9F"), "Łódź");
}

TEST(Cp1250Test, EveryByteSurvivesARoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all += static_cast<char>(b);
    }
    const std::string utf8 = cp1250::ToUtf8(all);
    EXPECT_EQ(cp1250::FromUtf8(utf8), all);
    // The undefined bytes stand for the C1 controls of the same number.
    EXPECT_EQ(cp1250::ToUtf8("\x81\x83\x88\x90\x98"), "\u0081\u0083\u0088\u0090\u0098");
}

TEST(Cp1250Test, UnrepresentableAndInvalidTextIsReported) {
    struct Case {
        std::string_view utf8;
        cp1250::Error error;
        std::size_t offset;
    };
    const Case cases[] = {
        {"ok \u2713", cp1250::Error::Unrepresentable, 3},
        {"\u65E5\u672C", cp1250::Error::Unrepresentable, 0},
        {"\xF0\x9F\x98\x80", cp1250::Error::Unrepresentable, 0},  // emoji
        {"\u00E5", cp1250::Error::Unrepresentable, 0},            // a-ring: Latin-1, not here
        {"a\x80", cp1250::Error::InvalidUtf8, 1},                 // stray continuation byte
        {"ab\xC5", cp1250::Error::InvalidUtf8, 2},                // cut short at the end
        {"\xC5\x41", cp1250::Error::InvalidUtf8, 0},              // bad continuation
        {"\xC0\xAF", cp1250::Error::InvalidUtf8, 0},              // overlong "/"
        {"\xE0\x80\xB0", cp1250::Error::InvalidUtf8, 0},          // overlong "0"
        {"\xED\xA0\x80", cp1250::Error::InvalidUtf8, 0},          // surrogate
        {"\xF4\x90\x80\x80", cp1250::Error::InvalidUtf8, 0},      // beyond U+10FFFF
        {"\xFF", cp1250::Error::InvalidUtf8, 0},
    };
    for (const Case& c : cases) {
        cp1250::Failure failure;
        EXPECT_FALSE(cp1250::FromUtf8(c.utf8, &failure).has_value()) << c.utf8;
        EXPECT_EQ(failure.error, c.error) << c.utf8;
        EXPECT_EQ(failure.offset, c.offset) << c.utf8;
        EXPECT_FALSE(cp1250::CanEncode(c.utf8));
    }
    cp1250::Failure failure{cp1250::Error::InvalidUtf8, 5};
    EXPECT_TRUE(cp1250::FromUtf8("Łódź", &failure).has_value());
    EXPECT_EQ(failure.error, cp1250::Error::None);
}

// The table against the system's own converter, for every byte the code page defines.
TEST(Cp1250Test, TableMatchesTheSystemConverter) {
    if (!SystemCp1250Available()) {
        GTEST_SKIP() << "no CP1250 converter installed";
    }
    for (int b = 0x80; b < 0x100; ++b) {
        const auto byte = static_cast<unsigned char>(b);
        const std::optional<std::string> system = SystemCp1250ToUtf8(byte);
        if (!system) {
            continue;  // undefined in the system's table
        }
        EXPECT_EQ(cp1250::ToUtf8(std::string(1, static_cast<char>(byte))), *system)
            << "byte " << std::hex << b;
    }
}

TEST(Cp1250Test, ToLowerAgreesWithUnicodeCaseMapping) {
    const char* previous = std::setlocale(LC_CTYPE, nullptr);
    const std::string saved = previous != nullptr ? previous : "C";
    // Windows' C library has no C.UTF-8, but maps case by Unicode in any named locale.
    if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr &&
        std::setlocale(LC_CTYPE, "Polish_Poland.1250") == nullptr) {
        GTEST_SKIP() << "no C.UTF-8 locale";
    }
    for (int b = 0; b < 256; ++b) {
        const auto byte = static_cast<unsigned char>(b);
        const auto lower = static_cast<char32_t>(std::towlower(cp1250::ToUnicode(byte)));
        const unsigned char expected = cp1250::FromUnicode(lower).value_or(byte);
        EXPECT_EQ(cp1250::ToLower(byte), expected) << "byte " << std::hex << b;
    }
    std::setlocale(LC_CTYPE, saved.c_str());
}

}  // namespace
