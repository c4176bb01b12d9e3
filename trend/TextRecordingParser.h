#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "trend/LocalTime.h"
#include "trend/SampleStore.h"

// Reads the text/CSV recording file into a sample store, line by line.
//
// Lines end in CR LF (a bare LF is taken too). A line "Data i Godzina" + separator names the
// columns of the rows after it (tab, comma or semicolon; it may change mid-file when sensors or
// the separator change, and is short when the device was silent). A line that starts with a time
// stamp "YYYY.MM.DD hh:mm:ss" and a separator is a row: one cycle whose cells follow the last
// header; "???" is an invalid value (a break in that line). Everything else is a comment or an
// empty line. A row whose cell count does not match its header is counted as bad and skipped, as
// is a last line without its line end (a record cut off while being written), and a stretch of
// NUL bytes with what precedes it on its line (a torn write).
struct TextCounts {
    std::size_t rows = 0;
    std::size_t headers = 0;
    std::size_t otherLines = 0;    // comments and empty lines
    std::size_t badRows = 0;       // rows without a matching header, or unreadable
    std::size_t invalidCells = 0;  // "???"
    bool tornTail = false;
};

class CTextRecordingParser {
public:
    explicit CTextRecordingParser(CSampleStore& store) : store(store) {}

    // Parses the whole lines of data; returns the bytes consumed. The rest is the start of a line
    // that continues in the next data. atEnd: no more data (a line without its end is torn).
    std::size_t Feed(std::string_view data, bool atEnd);

    const TextCounts& Counts() const { return counts; }

    // The header line in force (without its line end), and reading on from a later line with it.
    const std::string& HeaderLine() const { return headerLine; }
    int64_t LastTimeMs() const { return clock.LastMs(); }
    void ResumeAfter(int64_t lastTimeMs) { clock.ResumeAfter(lastTimeMs); }

    // True when the line is a header or a row of this format.
    static bool IsRecordingLine(std::string_view line);

private:
    void Line(std::string_view line);
    void Damaged();
    void Header(std::string_view titles, char separator);
    void Row(std::string_view line);

    struct Column {
        int channel = -1;
        bool decimalsKnown = false;
    };

    CSampleStore& store;
    TextCounts counts;
    CLocalTimeCache clock;
    std::vector<Column> columns;
    std::string headerLine;
    struct Cell {
        float value = 0;
        int decimals = 0;  // -1 "???", -2 unreadable
    };
    std::vector<Cell> cells;  // of the row being read, kept to spare allocations
    bool haveHeader = false;
    bool inNulRun = false;  // the last chunk ended inside a NUL run already counted
};
