#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "trend/QdxParser.h"

// The CSV of the .qdx file, one line per entry, for spreadsheets and scripts.
inline constexpr const char* kQdxCsvHeader =
    "time,input,type,quantity,identifier,channel,value,valid\n";

// Formats records into lines such as "2024-03-07 14:05:09,,21,26,1234,0,52.3,1\n". The input
// number is known only for binary inputs (their identifier); the file does not hold it for
// sensors, so the field stays empty. Records nearly always list the same entries as the one
// before, so the fields between the time and the value are kept as text by the entry's place.
class CQdxCsvFormatter {
public:
    CQdxCsvFormatter();

    void Append(const QdxRecord& record);
    std::string_view Text() const { return {buffer.data(), used}; }
    void Clear() { used = 0; }

private:
    struct Codes {
        uint64_t key = ~uint64_t{0};
        char text[32];  // "8,107,57,8,0," at most 23 bytes
        std::size_t length = 0;
    };

    std::vector<char> buffer;
    std::size_t used = 0;
    std::vector<Codes> codes;  // by the entry's place in the record
};
