#include <gtest/gtest.h>

#include <map>
#include <random>
#include <utility>

#include "store/IniEx.h"
#include "store/IniValue.h"
#include "tests/store/IniRoundTrip.h"
#include "text/Cp1250.h"

namespace {

// Texts drawn mostly from the characters that carry structure, so that headers, entries,
// comments and odd line ends all turn up often.
class TextSource {
public:
    explicit TextSource(std::uint32_t seed) : random_(seed) {}

    std::string Next(std::size_t maxLength) {
        static constexpr std::string_view kAlphabet = "[]=;\r\n \taAbB1-\xB3\xA3";
        std::uniform_int_distribution<std::size_t> length(0, maxLength);
        std::uniform_int_distribution<std::size_t> pick(0, kAlphabet.size());
        std::uniform_int_distribution<int> anyByte(0, 255);
        std::string text(length(random_), '\0');
        for (char& c : text) {
            const std::size_t i = pick(random_);
            c = i < kAlphabet.size() ? kAlphabet[i] : static_cast<char>(anyByte(random_));
        }
        return text;
    }
    bool Coin() { return std::bernoulli_distribution(0.5)(random_); }

private:
    std::mt19937 random_;
};

TEST(IniRandomTest, ParseWriteParseIsStable) {
    TextSource source(20241207);
    for (int i = 0; i < 4000; ++i) {
        const std::string text = source.Next(i < 2000 ? 40 : 300);
        const bool caseInsensitive = source.Coin();
        const std::string problem = CheckRoundTrip(text, caseInsensitive);
        ASSERT_TRUE(problem.empty())
            << problem << " for input #" << i << ": " << ::testing::PrintToString(text);
    }
}

// Every accepted update reads back after a save; a refused one leaves the content alone.
TEST(IniRandomTest, AcceptedUpdatesReadBackAfterASave) {
    TextSource source(77);
    for (int i = 0; i < 1500; ++i) {
        CIniEx ini;
        ini.LoadText(source.Next(120), true);
        std::map<std::pair<std::string, std::string>, std::string> expected;
        for (int update = 0; update < 8; ++update) {
            const std::string section = source.Next(3);
            const std::string key = source.Next(3);
            const std::string value = source.Next(12);
            const std::string before = ini.ToText();
            if (ini.SetText(section, key, ProtectSemicolons(value))) {
                const auto fold = [](std::string s) {
                    for (char& c : s) {
                        c = static_cast<char>(cp1250::ToLower(static_cast<unsigned char>(c)));
                    }
                    return s;
                };
                expected[{fold(section), fold(key)}] = value;
            } else {
                ASSERT_EQ(ini.ToText(), before);
            }
        }
        ASSERT_TRUE(CheckRoundTrip(ini.ToText(), true).empty());
        CIniEx again;
        again.LoadText(ini.ToText(), true);
        for (const auto& [where, value] : expected) {
            ASSERT_EQ(again.GetText(where.first, where.second, "\x01"), value)
                << "case #" << i << " section " << ::testing::PrintToString(where.first) << " key "
                << ::testing::PrintToString(where.second);
        }
    }
}

}  // namespace
