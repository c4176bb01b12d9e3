#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Reading back the binary recording file: records are negated ASCII text, "14 digits $",
// entries "type,id,quantity,value,1$", then 0x40 and two check bytes. The check bytes may take
// any value, 0x40 and '$' included, so records are found by parsing, never by splitting.

// Longest record the writer can produce: eight inputs of eight entries each, every field at its
// widest ("107,65535,29,-32768.0,1$"), plus time stamp, "$" and trailer.
inline constexpr std::size_t kMaxBinaryEntryBytes = 24;
inline constexpr std::size_t kMaxBinaryEntries = 64;
inline constexpr std::size_t kMaxBinaryRecordBytes =
    15 + kMaxBinaryEntries * kMaxBinaryEntryBytes + 3;

enum class BinaryParse {
    Complete,    // a whole record with matching check bytes
    Incomplete,  // the bytes end inside what is so far a valid record
    Invalid,     // not a record of this format
};

struct BinaryParseResult {
    BinaryParse state = BinaryParse::Invalid;
    std::size_t length = 0;  // bytes of the record when Complete
};

// Parses the record at the start of encoded file bytes.
BinaryParseResult ParseBinaryRecord(std::string_view encoded);

struct BinaryDecodeResult {
    std::vector<std::string> records;  // plain text of each record, trailer left off
    std::size_t wholeBytes = 0;        // leading bytes that are whole, valid records
};

// Decodes records from the start of a file's bytes until the first byte that does not begin a
// whole, valid record.
BinaryDecodeResult DecodeBinaryRecords(std::string_view encoded);

// How a file ends, judged from its last bytes.
enum class BinaryTailState {
    Whole,    // ends with a whole record (or is empty)
    Torn,     // ends with the beginning of a record after a whole one or at the file's start
    Foreign,  // anything else: not safe to cut
};

struct BinaryTail {
    BinaryTailState state = BinaryTailState::Whole;
    std::size_t tornBytes = 0;  // bytes to cut when Torn
};

// Enough of the file's end to hold a torn record and the whole record before it.
inline constexpr std::size_t kBinaryTailWindow = 2 * kMaxBinaryRecordBytes;

// tail: the file's last bytes (up to kBinaryTailWindow); atFileStart: tail is the whole file.
// A tail is Torn only when it is shorter than the longest record and still parses as the
// beginning of one, so that nothing but a cut-off record is ever removed.
BinaryTail CheckBinaryTail(std::string_view tail, bool atFileStart);
