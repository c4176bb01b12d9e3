#include "trend/QdxCsv.h"

#include <charconv>
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

// Plain integers through to_chars: snprintf's format parsing was most of the tool's time.
char* Int(char* at, int value) {
    return std::to_chars(at, at + 12, value).ptr;
}

char* Line(char* at, const char* stamp, const QdxEntry& e) {
    std::memcpy(at, stamp, kStampText);
    at += kStampText;
    if (e.type == 107)
        at = Int(at, e.id);
    *at++ = ',';
    at = Int(at, e.type);
    *at++ = ',';
    at = Int(at, e.quantity);
    *at++ = ',';
    at = Int(at, e.id);
    *at++ = ',';
    at = Int(at, e.channel);
    *at++ = ',';
    int tenths = e.tenths;
    if (tenths < 0) {
        *at++ = '-';
        tenths = -tenths;
    }
    at = Int(at, tenths / 10);
    *at++ = '.';
    *at++ = static_cast<char>('0' + tenths % 10);
    *at++ = ',';
    *at++ = e.status == 1 ? '1' : '0';
    *at++ = '\n';
    return at;
}

}  // namespace

void AppendQdxCsvLines(const QdxRecord& r, std::string& out) {
    char stamp[kStampText];
    StampText(r, stamp);
    const std::size_t at = out.size();
    out.resize(at + kLineMax * r.entries.size());
    char* p = out.data() + at;
    for (const QdxEntry& e : r.entries)
        p = Line(p, stamp, e);
    out.resize(static_cast<std::size_t>(p - out.data()));
}
