#include "trend/QdxParser.h"

#include <cstring>

namespace {

inline unsigned char Decoded(char encoded) {
    return static_cast<unsigned char>(256u - static_cast<unsigned char>(encoded));
}

inline bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

std::size_t CountNul(std::string_view data) {
    std::size_t n = 0;
    for (char c : data)
        n += c == 0 ? 1 : 0;
    return n;
}

constexpr int kMaxEntries = 64;  // eight inputs of at most eight channels

// The longest record: stamp and "$", kMaxEntries entries of at most 24 bytes, the trailer.
constexpr std::size_t kMaxRecord = 15 + kMaxEntries * 24 + 3;

// Cursor over negated bytes that sums what it takes. With at least kMaxRecord bytes at hand (all
// but the last record of a chunk) the grammar ends before the data does, so no end is checked.
template <bool Checked>
struct Cursor {
    std::string_view data;
    std::size_t pos = 0;
    unsigned sum = 0;

    bool AtEnd() const { return Checked && pos >= data.size(); }
    unsigned char Peek() const { return Decoded(data[pos]); }
    unsigned char Take() {
        const unsigned char c = Peek();
        sum += c;
        ++pos;
        return c;
    }
};

enum class Step { Ok, Short, Bad };

// Unsigned number of 1..maxDigits digits.
template <class Cursor>
Step Number(Cursor& c, int maxDigits, int32_t& value) {
    value = 0;
    int digits = 0;
    while (digits < maxDigits) {
        if (c.AtEnd())
            return Step::Short;
        if (!IsDigit(c.Peek()))
            break;
        value = value * 10 + (c.Take() - '0');
        ++digits;
    }
    return digits > 0 ? Step::Ok : Step::Bad;
}

template <class Cursor>
Step Char(Cursor& c, unsigned char expected) {
    if (c.AtEnd())
        return Step::Short;
    if (c.Peek() != expected)
        return Step::Bad;
    c.Take();
    return Step::Ok;
}

// The first n (at most 16) bytes at p, as two words and the masks that keep only them.
void Remember(const char* p, std::size_t n, uint64_t words[2], uint64_t masks[2]) {
    unsigned char bytes[16] = {};
    std::memcpy(bytes, p, n);
    std::memcpy(words, bytes, 16);
    unsigned char mask[16] = {};
    std::memset(mask, 0xff, n);
    std::memcpy(masks, mask, 16);
    words[0] &= masks[0];
    words[1] &= masks[1];
}

// Whether the 16 bytes at p start with the remembered ones.
inline bool SameBytes(const char* p, const uint64_t words[2], const uint64_t masks[2]) {
    uint64_t at[2];
    std::memcpy(at, p, sizeof at);
    return ((at[0] & masks[0]) ^ words[0]) == 0 && ((at[1] & masks[1]) ^ words[1]) == 0;
}

#define QDX_STEP(expr)          \
    do {                        \
        const Step s_ = (expr); \
        if (s_ != Step::Ok)     \
            return s_;          \
    } while (false)

// "type,id,quantity," of an entry.
template <class Cursor>
Step Codes(Cursor& c, QdxEntry& e) {
    int32_t v = 0;
    QDX_STEP(Number(c, 3, v));
    e.type = v;
    QDX_STEP(Char(c, ','));
    QDX_STEP(Number(c, 5, v));
    e.id = v;
    QDX_STEP(Char(c, ','));
    QDX_STEP(Number(c, 2, v));
    e.quantity = v;
    return Char(c, ',');
}

// "value,status$" of an entry.
template <class Cursor>
Step Value(Cursor& c, QdxEntry& e) {
    int32_t v = 0;
    bool negative = false;
    if (c.AtEnd())
        return Step::Short;
    if (c.Peek() == '-') {
        negative = true;
        c.Take();
    }
    int32_t whole = 0;
    int32_t fraction = 0;
    QDX_STEP(Number(c, 5, whole));
    QDX_STEP(Char(c, '.'));
    QDX_STEP(Number(c, 1, fraction));
    e.tenths = (negative ? -1 : 1) * (whole * 10 + fraction);
    QDX_STEP(Char(c, ','));
    QDX_STEP(Number(c, 1, v));
    e.status = v;
    return Char(c, '$');
}

}  // namespace

CQdxParser::Result CQdxParser::ParseOne(std::string_view data, std::size_t& length) {
    return data.size() >= kMaxRecord ? ParseWith<Cursor<false>>(data, length)
                                     : ParseWith<Cursor<true>>(data, length);
}

template <class Cursor>
CQdxParser::Result CQdxParser::ParseWith(std::string_view data, std::size_t& length) {
    Cursor c{data};
    if (found.empty()) {
        found.resize(kMaxEntries);
        codes.resize(kMaxEntries);
    }
    std::size_t n = 0;
    for (int i = 0; i < 14; ++i) {
        if (c.AtEnd())
            return Result::Short;
        if (!IsDigit(c.Peek()))
            return Result::Bad;
        record.stamp[i] = static_cast<char>(c.Take());
    }
    Step s = Char(c, '$');
    while (s == Step::Ok) {
        if (c.AtEnd()) {
            s = Step::Short;
            break;
        }
        if (c.Peek() == 0x40)
            break;
        if (n >= kMaxEntries) {
            s = Step::Bad;
            break;
        }
        QdxEntry& e = found[n];
        e.channel = 0;
        // The codes nearly always repeat those at the same place in the record before: the same
        // bytes read the same, so they are compared instead of parsed again.
        Known& known = codes[n];
        const std::size_t at = c.pos;
        if (known.length > 0 && at + sizeof known.words <= data.size() &&
            SameBytes(data.data() + at, known.words, known.masks)) {
            e.type = known.type;
            e.id = known.id;
            e.quantity = known.quantity;
            c.pos += known.length;
            c.sum += known.sum;
        } else {
            const unsigned sumBefore = c.sum;
            s = Codes(c, e);
            if (s != Step::Ok)
                break;
            known.length = c.pos - at;
            Remember(data.data() + at, known.length, known.words, known.masks);
            known.sum = c.sum - sumBefore;
            known.type = e.type;
            known.id = e.id;
            known.quantity = e.quantity;
        }
        s = Value(c, e);
        if (s == Step::Ok) {
            if (n > 0) {
                const QdxEntry& before = found[n - 1];
                if (before.type == e.type && before.id == e.id)
                    e.channel = before.channel + 1;
            }
            ++n;
        }
    }
    if (s != Step::Ok)
        return s == Step::Short ? Result::Short : Result::Bad;
    const unsigned sum = c.sum;
    c.Take();  // 0x40
    const unsigned char check[2] = {static_cast<unsigned char>(sum % 253 + 1),
                                    static_cast<unsigned char>(sum % 251 + 1)};
    for (unsigned char expected : check) {
        if (c.AtEnd())
            return Result::Short;
        if (c.Take() != expected)
            return Result::Bad;
    }
    length = c.pos;
    record.entries.assign(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(n));
    return Result::Whole;
}

void CQdxParser::EndStretch(std::size_t recordLength) {
    resyncing = false;
    if (recordLength == 0)
        return;
    const std::size_t lost = (stretchBytes + recordLength / 2) / recordLength;
    if (lost > 1)
        counts.badRecords += lost - 1;
}

std::size_t CQdxParser::Feed(std::string_view data, bool atEnd) {
    std::size_t pos = 0;
    while (pos < data.size()) {
        std::size_t length = 0;
        const Result r = ParseOne(data.substr(pos), length);
        if (r == Result::Whole) {
            if (resyncing)
                EndStretch(lastLength != 0 ? lastLength : length);
            lastLength = length;
            ++counts.records;
            sink(record);
            pos += length;
            continue;
        }
        if (r == Result::Short && !atEnd)
            break;  // the rest comes with the next data
        if (r == Result::Short) {
            // Cut off by the end of the file.
            const std::size_t rest = data.size() - pos;
            if (resyncing) {
                stretchBytes += rest - CountNul(data.substr(pos));
                EndStretch(lastLength);
            } else {
                ++counts.badRecords;
                counts.tornTail = true;
            }
            counts.skippedBytes += rest;
            pos = data.size();
            break;
        }
        if (!resyncing) {
            ++counts.badRecords;
            resyncing = true;
            stretchBytes = 0;
        }
        if (data[pos] != 0)
            ++stretchBytes;
        ++counts.skippedBytes;
        ++pos;
    }
    return pos;
}

bool CQdxParser::StartsWithRecord(std::string_view data) {
    CQdxParser probe([](const QdxRecord&) {});
    std::size_t length = 0;
    return probe.ParseOne(data, length) == Result::Whole;
}
