#include "trend/QdxCsv.h"

#include <cstring>

namespace {

// The parser bounds every field (type 3 digits, identifier 5, value 5 + 1), so a line is short.
constexpr std::size_t kLineMax = 96;
constexpr std::size_t kStampText = 20;  // "2024-03-07 14:05:09,"

void StampText(const QdxRecord& r, char* out) {
    const char* s = r.stamp;
    std::memcpy(out, s, 4);
    out[4] = '-';
    std::memcpy(out + 5, s + 4, 2);
    out[7] = '-';
    std::memcpy(out + 8, s + 6, 2);
    out[10] = ' ';
    std::memcpy(out + 11, s + 8, 2);
    out[13] = ':';
    std::memcpy(out + 14, s + 10, 2);
    out[16] = ':';
    std::memcpy(out + 17, s + 12, 2);
    out[19] = ',';
}

// The fields are small non-negative numbers: a loop beats snprintf's format parsing by far.
inline char* Uint(char* at, uint32_t value) {
    char digits[10];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0)
        *at++ = digits[--n];
    return at;
}

inline uint32_t U(int v) {
    return static_cast<uint32_t>(v);
}

}  // namespace

CQdxCsvFormatter::CQdxCsvFormatter() : buffer(1 << 16) {}

void CQdxCsvFormatter::Append(const QdxRecord& r) {
    const std::size_t need = used + kLineMax * r.entries.size();
    if (buffer.size() < need)
        buffer.resize(need * 2);
    if (codes.size() < r.entries.size())
        codes.resize(r.entries.size());
    char stamp[kStampText];
    StampText(r, stamp);
    char* at = buffer.data() + used;
    for (std::size_t i = 0; i < r.entries.size(); ++i) {
        const QdxEntry& e = r.entries[i];
        const uint64_t key = (static_cast<uint64_t>(U(e.type)) << 40) |
                             (static_cast<uint64_t>(U(e.id)) << 20) |
                             (static_cast<uint64_t>(U(e.quantity)) << 8) | U(e.channel);
        Codes& c = codes[i];
        if (c.key != key) {
            char* p = c.text;
            if (e.type == 107)
                p = Uint(p, U(e.id));
            *p++ = ',';
            p = Uint(p, U(e.type));
            *p++ = ',';
            p = Uint(p, U(e.quantity));
            *p++ = ',';
            p = Uint(p, U(e.id));
            *p++ = ',';
            p = Uint(p, U(e.channel));
            *p++ = ',';
            c.length = static_cast<std::size_t>(p - c.text);
            c.key = key;
        }
        std::memcpy(at, stamp, kStampText);
        at += kStampText;
        std::memcpy(at, c.text, sizeof c.text);  // a fixed size copies in a few moves
        at += c.length;
        int tenths = e.tenths;
        if (tenths < 0) {
            *at++ = '-';
            tenths = -tenths;
        }
        at = Uint(at, U(tenths / 10));
        *at++ = '.';
        *at++ = static_cast<char>('0' + tenths % 10);
        *at++ = ',';
        *at++ = e.status == 1 ? '1' : '0';
        *at++ = '\n';
    }
    used = static_cast<std::size_t>(at - buffer.data());
}
