#include "recording/format/BinaryRecordDecoder.h"

#include <array>
#include <cstdint>

namespace {

enum class Step { Ok, End, Bad };

// The file holds every byte negated.
char Plain(char encoded) {
    return static_cast<char>(-static_cast<uint8_t>(encoded));
}

// The trailer that must follow a record's plain text: 0x40, then S mod 253 + 1 and S mod 251 + 1,
// S being the sum of the text's bytes taken as signed 8-bit values. Stated here on its own
// rather than taken from the writer, so that a fault in the written check bytes shows when a
// file is read back instead of being repeated by the reader.
std::array<uint8_t, 3> ExpectedTrailer(std::string_view text) {
    long sum = 0;
    for (char c : text) {
        sum += static_cast<int8_t>(c);
    }
    const auto check = [sum](long modulus) {
        long rest = sum % modulus;
        if (rest < 0) {
            rest += modulus;
        }
        return static_cast<uint8_t>(rest + 1);
    };
    return {0x40, check(253), check(251)};
}

// Walks one record, restoring the plain text as it goes.
class RecordReader {
public:
    explicit RecordReader(std::string_view encoded) : bytes(encoded) {}

    BinaryParseResult Parse() {
        Step s = Digits(14, 14);
        if (s == Step::Ok)
            s = Expect('$');
        for (std::size_t entries = 0; s == Step::Ok; ++entries) {
            if (AtEnd())
                return {BinaryParse::Incomplete, 0};
            if (Peek() == '@')
                break;
            s = entries < kMaxBinaryEntries ? Entry() : Step::Bad;
        }
        if (s == Step::Ok)
            s = Trailer();
        if (s == Step::Ok)
            return {BinaryParse::Complete, pos};
        return {s == Step::End ? BinaryParse::Incomplete : BinaryParse::Invalid, 0};
    }

    std::string Text() const { return text; }

private:
    bool AtEnd() const { return pos >= bytes.size(); }
    char Peek() const { return Plain(bytes[pos]); }
    void Take() {
        text += Peek();
        ++pos;
    }

    Step Expect(char c) {
        if (AtEnd())
            return Step::End;
        if (Peek() != c)
            return Step::Bad;
        Take();
        return Step::Ok;
    }

    Step Digits(std::size_t least, std::size_t most) {
        std::size_t n = 0;
        while (n < most) {
            if (AtEnd())
                return Step::End;
            if (Peek() < '0' || Peek() > '9')
                break;
            Take();
            ++n;
        }
        return n >= least ? Step::Ok : Step::Bad;
    }

    Step Number(std::size_t most, bool sign) {
        if (sign && !AtEnd() && Peek() == '-')
            Take();
        return Digits(1, most);
    }

    // "type,id,quantity,value,1$" with the widths the writer can produce.
    Step Entry() {
        Step s = Number(3, false);
        if (s == Step::Ok)
            s = Expect(',');
        if (s == Step::Ok)
            s = Number(5, false);
        if (s == Step::Ok)
            s = Expect(',');
        if (s == Step::Ok)
            s = Number(2, false);
        if (s == Step::Ok)
            s = Expect(',');
        if (s == Step::Ok)
            s = Number(5, true);
        if (s == Step::Ok)
            s = Expect('.');
        if (s == Step::Ok)
            s = Digits(1, 1);
        if (s == Step::Ok)
            s = Expect(',');
        if (s == Step::Ok)
            s = Expect('1');
        if (s == Step::Ok)
            s = Expect('$');
        return s;
    }

    Step Trailer() {
        const auto expected = ExpectedTrailer(text);
        for (uint8_t b : expected) {
            if (AtEnd())
                return Step::End;
            if (static_cast<uint8_t>(Peek()) != b)
                return Step::Bad;
            ++pos;
        }
        return Step::Ok;
    }

    std::string_view bytes;
    std::size_t pos = 0;
    std::string text;
};

// Start of a time stamp: 14 digits followed by '$'. Nothing else in a record has this shape,
// since entries hold commas and the check bytes before a stamp are only two.
bool LooksLikeRecordStart(std::string_view encoded, std::size_t p) {
    if (p + 15 > encoded.size())
        return false;
    for (std::size_t i = 0; i < 14; ++i) {
        const char c = Plain(encoded[p + i]);
        if (c < '0' || c > '9')
            return false;
    }
    return Plain(encoded[p + 14]) == '$';
}

}  // namespace

BinaryParseResult ParseBinaryRecord(std::string_view encoded) {
    return RecordReader(encoded).Parse();
}

BinaryDecodeResult DecodeBinaryRecords(std::string_view encoded) {
    BinaryDecodeResult file;
    while (file.wholeBytes < encoded.size()) {
        RecordReader reader(encoded.substr(file.wholeBytes));
        const auto r = reader.Parse();
        if (r.state != BinaryParse::Complete)
            break;
        file.records.push_back(reader.Text());
        file.wholeBytes += r.length;
    }
    return file;
}

BinaryTail CheckBinaryTail(std::string_view tail, bool atFileStart) {
    if (tail.empty())
        return {};
    // The tail may begin inside a record: find the last end of a run of whole records.
    std::size_t end = 0;
    bool found = false;
    for (std::size_t p = 0; p < tail.size(); ++p) {
        if (p < end || !LooksLikeRecordStart(tail, p))
            continue;
        // The end of the run of whole records that begins at p.
        const std::size_t e = p + DecodeBinaryRecords(tail.substr(p)).wholeBytes;
        if (e > p) {
            end = e;
            found = true;
        }
    }
    if (!found && !atFileStart)
        return {BinaryTailState::Foreign, 0};
    const std::string_view rest = tail.substr(end);
    if (rest.empty())
        return {};
    if (rest.size() < kMaxBinaryRecordBytes &&
        ParseBinaryRecord(rest).state == BinaryParse::Incomplete) {
        return {BinaryTailState::Torn, rest.size()};
    }
    return {BinaryTailState::Foreign, 0};
}
