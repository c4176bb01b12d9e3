#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recording/format/BinaryRecordDecoder.h"
#include "recording/format/BinaryRecordFormat.h"

namespace {

const std::string kWorkedExample = "20240307140509$21,1234,26,52.3,1$21,1234,25,21.5,1$";

std::string Stamp(int second) {
    char text[32];
    std::snprintf(text, sizeof text, "202403071405%02d$", second % 60);
    return text;
}

// Plain texts whose first check byte is 0x40 and whose second is '$' or a digit, so that a
// decoder splitting on those bytes would go wrong.
std::vector<std::string> AwkwardTexts() {
    std::vector<std::string> texts;
    bool at = false, dollar = false, digit = false;
    for (int entries = 1; entries <= 3; ++entries) {
        for (int serial = 0; serial < 3000; ++serial) {
            std::string text = Stamp(serial);
            for (int e = 0; e < entries; ++e)
                text += "21," + std::to_string(serial) + ",26,-5.0,1$";
            const auto t = BinaryTrailer(text);
            const bool isAt = t[1] == 0x40 && !at;
            const bool isDollar = t[2] == '$' && !dollar;
            const bool isDigit = t[2] >= '0' && t[2] <= '9' && !digit;
            if (isAt || isDollar || isDigit)
                texts.push_back(text);
            at |= isAt;
            dollar |= isDollar;
            digit |= isDigit;
        }
    }
    return texts;
}

std::string Encode(const std::vector<std::string>& texts) {
    std::string file;
    for (const auto& t : texts)
        file += EncodeBinaryRecord(t);
    return file;
}

TEST(BinaryRecordDecoder, WorkedExampleDecodesBack) {
    const std::string record = EncodeBinaryRecord(kWorkedExample);
    ASSERT_EQ(record.size(), 54u);
    const auto file = DecodeBinaryRecords(record);
    ASSERT_EQ(file.records.size(), 1u);
    EXPECT_EQ(file.records[0], kWorkedExample);
    EXPECT_EQ(file.wholeBytes, 54u);
    EXPECT_EQ(ParseBinaryRecord(record).length, 54u);
}

// Fixed bytes, not the writer's output: the reader holds its own statement of the check rule.
// The worked example's bytes sum to 2474, so its check bytes are 2474 mod 253 + 1 = 0xC6 and
// 2474 mod 251 + 1 = 0xD8; in the file every byte is negated.
TEST(BinaryRecordDecoder, GoldenRecordAndWrongCheckBytes) {
    const auto negated = [](std::string bytes) {
        for (char& c : bytes)
            c = static_cast<char>(-static_cast<uint8_t>(c));
        return bytes;
    };
    const std::string golden = negated(kWorkedExample) + "\xC0\x3A\x28";
    const auto file = DecodeBinaryRecords(golden);
    ASSERT_EQ(file.records, std::vector<std::string>{kWorkedExample});
    EXPECT_EQ(file.wholeBytes, 54u);
    // Each check byte off by one, the two swapped, or the trailer's first byte wrong.
    for (const char* trailer : {"\xC0\x39\x28", "\xC0\x3A\x27", "\xC0\x28\x3A", "\xC1\x3A\x28"}) {
        const std::string bad = negated(kWorkedExample) + trailer;
        EXPECT_EQ(ParseBinaryRecord(bad).state, BinaryParse::Invalid);
        EXPECT_EQ(DecodeBinaryRecords(bad).wholeBytes, 0u);
    }
    // An entry-less record: "20240307140509$" sums to 745 (0xF0 and 0xF4).
    const std::string empty = negated("20240307140509$") + negated("\x40\xF0\xF4");
    EXPECT_EQ(ParseBinaryRecord(empty).state, BinaryParse::Complete);
}

TEST(BinaryRecordDecoder, SeveralRecordsWithCheckBytesThatLookLikeSeparators) {
    std::vector<std::string> texts = AwkwardTexts();
    int awkward = 0;
    for (const auto& text : texts) {
        const auto t = BinaryTrailer(text);
        awkward |=
            (t[1] == 0x40 ? 1 : 0) | (t[2] == '$' ? 2 : 0) | (t[2] >= '0' && t[2] <= '9' ? 4 : 0);
    }
    ASSERT_EQ(awkward, 7) << "search for awkward check bytes came up short";
    texts.push_back(Stamp(1));  // no entries: 18 bytes
    texts.push_back(kWorkedExample);
    const auto file = DecodeBinaryRecords(Encode(texts));
    EXPECT_EQ(file.records, texts);
    EXPECT_EQ(file.wholeBytes, Encode(texts).size());
}

TEST(BinaryRecordDecoder, LongestRecordFitsTheBound) {
    std::string text = Stamp(0);
    for (std::size_t i = 0; i < kMaxBinaryEntries; ++i)
        text += "107,65535,29,-32768.0,1$";
    const std::string record = EncodeBinaryRecord(text);
    EXPECT_EQ(record.size(), kMaxBinaryRecordBytes);
    EXPECT_EQ(ParseBinaryRecord(record).state, BinaryParse::Complete);
    const auto torn = CheckBinaryTail(record + record.substr(0, record.size() - 1), true);
    EXPECT_EQ(torn.state, BinaryTailState::Torn);
    EXPECT_EQ(torn.tornBytes, kMaxBinaryRecordBytes - 1);
    // One entry more than the writer can produce is not a record of ours.
    EXPECT_EQ(ParseBinaryRecord(EncodeBinaryRecord(text + "21,1,26,1.0,1$")).state,
              BinaryParse::Invalid);
}

TEST(BinaryRecordDecoder, TornTailAtEveryCut) {
    const std::vector<std::string> texts = {kWorkedExample, Stamp(2) + "107,5,57,1.0,1$"};
    const std::string whole = Encode(texts);
    const std::size_t first = EncodeBinaryRecord(texts[0]).size();
    for (std::size_t cut = 1; cut < whole.size(); ++cut) {
        SCOPED_TRACE(cut);
        const std::string torn = whole.substr(0, cut);
        const auto file = DecodeBinaryRecords(torn);
        EXPECT_EQ(file.wholeBytes, cut < first ? 0u : first);
        EXPECT_EQ(file.records.size(), cut < first ? 0u : 1u);
        const auto tail = CheckBinaryTail(torn, true);
        EXPECT_EQ(tail.state, cut == first ? BinaryTailState::Whole : BinaryTailState::Torn);
        EXPECT_EQ(tail.tornBytes, cut == first ? 0u : cut - file.wholeBytes);
    }
}

TEST(BinaryRecordDecoder, BadCheckByteStopsTheDecoding) {
    const std::string good = EncodeBinaryRecord(kWorkedExample);
    for (std::size_t checkByte : {good.size() - 1, good.size() - 2}) {
        std::string bad = good;
        bad[checkByte] = static_cast<char>(bad[checkByte] + 1);
        const std::string file = good + bad + good;
        const auto decoded = DecodeBinaryRecords(file);
        EXPECT_EQ(decoded.records.size(), 1u);
        EXPECT_EQ(decoded.wholeBytes, good.size());
        EXPECT_EQ(ParseBinaryRecord(bad).state, BinaryParse::Invalid);
    }
    // A changed digit in an entry breaks the sum just the same.
    std::string changed = good;
    changed[20] = static_cast<char>(changed[20] - 1);
    EXPECT_EQ(ParseBinaryRecord(changed).state, BinaryParse::Invalid);
}

TEST(BinaryRecordDecoder, TailSeenThroughAWindow) {
    std::vector<std::string> texts(6, kWorkedExample);
    const std::string whole = Encode(texts);
    // The window begins inside a record: the records after it are still found.
    const std::string window = whole.substr(30);
    EXPECT_EQ(CheckBinaryTail(window, false).state, BinaryTailState::Whole);
    const auto torn = CheckBinaryTail(window + EncodeBinaryRecord(Stamp(3)).substr(0, 10), false);
    EXPECT_EQ(torn.state, BinaryTailState::Torn);
    EXPECT_EQ(torn.tornBytes, 10u);
    // Without a whole record in sight nothing proves the tail torn.
    EXPECT_EQ(CheckBinaryTail(whole.substr(30, 40), false).state, BinaryTailState::Foreign);
}

TEST(BinaryRecordDecoder, ForeignBytesAreNeverCalledTorn) {
    const std::string record = EncodeBinaryRecord(kWorkedExample);
    EXPECT_EQ(CheckBinaryTail("Data i Godzina\t\r\n", true).state, BinaryTailState::Foreign);
    EXPECT_EQ(CheckBinaryTail(record + "plain text", true).state, BinaryTailState::Foreign);
    // Entries wider than the writer's are not the start of a record of ours.
    EXPECT_EQ(CheckBinaryTail(record + EncodeBinaryRecord(Stamp(4) + "1234,1,").substr(0, 20), true)
                  .state,
              BinaryTailState::Foreign);
    EXPECT_EQ(CheckBinaryTail("", true).state, BinaryTailState::Whole);
    // Garbage in the middle is not ours to judge when the file ends with whole records.
    EXPECT_EQ(CheckBinaryTail(record + "xyz" + record, true).state, BinaryTailState::Whole);
}

}  // namespace
