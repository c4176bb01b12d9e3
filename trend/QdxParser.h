#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

// Reads the binary recording file record by record, independently of the code that writes it.
//
// The file is a run of records with no separator and every byte negated (b -> 256 - b). Decoded,
// a record is a 14-digit local time stamp and "$", then entries "type,id,quantity,value,status$",
// then the byte 0x40 and two check bytes: with S the sum of every byte before 0x40, the first is
// S mod 253 + 1 and the second S mod 251 + 1.
//
// A record that breaks the grammar or whose check bytes disagree is counted as bad and skipped:
// reading goes on at the next position, byte by byte, where a whole record with a correct check
// begins. Inside a record only its own time stamp has the shape "14 digits, $" (entries carry
// commas), so the next record found is the next one written; a false start would also need both
// check bytes to match by chance. A record cut off by the end of the file is counted as torn.
struct QdxEntry {
    int type = 0;        // sensor type code, 107 for a binary input
    int id = 0;          // serial number; the input number for a binary input
    int quantity = 0;    // quantity code
    int channel = 0;     // position among the entries of the same sensor in this record
    int32_t tenths = 0;  // value x 10 (the file holds one decimal)
    int status = 0;      // the file's status digit, 1 = valid
};

struct QdxRecord {
    char stamp[14];  // YYYYMMDDhhmmss as written
    std::vector<QdxEntry> entries;
};

struct QdxCounts {
    std::size_t records = 0;
    // Records lost, torn tail included: a damaged stretch counts the records its bytes would
    // hold at the length of the record before it (at least one; NUL fill is not records).
    std::size_t badRecords = 0;
    std::size_t skippedBytes = 0;  // bytes given up while looking for the next record
    bool tornTail = false;
};

class CQdxParser {
public:
    using Sink = std::function<void(const QdxRecord&)>;
    explicit CQdxParser(Sink sink) : sink(std::move(sink)) {}

    // Parses records from data; returns the bytes consumed. What is left is the start of a
    // record that continues in the next data: pass it again in front of it. atEnd: no more data.
    std::size_t Feed(std::string_view data, bool atEnd);

    const QdxCounts& Counts() const { return counts; }

    // True when the bytes start with a whole valid record.
    static bool StartsWithRecord(std::string_view data);

private:
    enum class Result { Whole, Short, Bad };
    Result ParseOne(std::string_view data, std::size_t& length);
    template <class Cursor>
    Result ParseWith(std::string_view data, std::size_t& length);
    void EndStretch(std::size_t recordLength);

    Sink sink;
    QdxCounts counts;
    QdxRecord record;
    std::vector<QdxEntry> found;  // entries of the record being parsed
    struct Known {
        // "type,id,quantity," as in the file (at most 3 + 5 + 2 + 3 bytes) as two words, with
        // masks of its length, so a comparison is two loads rather than a call.
        uint64_t words[2] = {0, 0};
        uint64_t masks[2] = {0, 0};
        std::size_t length = 0;
        unsigned sum = 0;
        int type = 0;
        int id = 0;
        int quantity = 0;
    };
    std::vector<Known> codes;  // of the last entries read, by their place in the record
    bool resyncing = false;
    std::size_t stretchBytes = 0;  // of the damaged stretch being skipped, NUL bytes apart
    std::size_t lastLength = 0;    // of the last whole record
};
