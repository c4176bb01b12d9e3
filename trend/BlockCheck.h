#pragma once
#include <cstdint>
#include <cstring>
#include <string_view>

// A Fletcher-style check of a block of a file (sums of its 8-byte words and of those sums), so a
// block read again is known to hold the same bytes; it reads at memory speed.
inline uint64_t BlockCheck(std::string_view bytes) {
    uint64_t a = bytes.size();
    uint64_t b = 0;
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes.data() + i, 8);
        a += word;
        b += a;
    }
    uint64_t tail = 0;
    std::memcpy(&tail, bytes.data() + i, bytes.size() - i);
    a += tail;
    b += a;
    return a ^ (b * 0x9E3779B97F4A7C15ull);
}
