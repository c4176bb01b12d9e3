#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "device/InputReading.h"
#include "recording/format/RecordTime.h"

// Column separator of the text file: 0 tab, 1 comma, 2 semicolon, anything else tab.
char TextSeparator(int separatorCode);

// "2024.03.07 14:05:09"
std::string TextTimeStamp(const RecordTime& time);

// Value texts with a full stop whatever the locale. U1: unsigned tenths; S1: signed tenths;
// S2: signed hundredths.
std::string TextU1(int16_t raw);
std::string TextS1(int16_t raw);
std::string TextS2(int16_t raw);

// Column titles and values of one input (UTF-8), each item followed by the separator.
struct InputColumns {
    std::string titles;
    std::string values;
};

// inputNumber is 1 .. 8. Both texts are empty for an input without columns and for every input
// while the device does not respond. A reading whose last read did not complete (status not 0)
// keeps its columns with "???" for every value: what it holds was not measured in that cycle.
InputColumns FormatInputColumns(const InputReading& reading, int inputNumber, char separator,
                                bool deviceResponding);

// One text-file record.
struct TextRecord {
    std::string bytes;   // what to write in one call: header line when it changed, then the row;
                         // Windows-1250, CR LF line ends
    std::string header;  // the header line of this record (UTF-8, with CR LF): the new last header
};

// Builds the record for the selected inputs (recordInput[i] for input i + 1). The header line is
// part of the bytes only when it differs from lastHeader (UTF-8, as returned before).
TextRecord BuildTextRecord(const std::array<InputReading, 8>& readings,
                           const std::array<bool, 8>& recordInput, char separator,
                           bool deviceResponding, const RecordTime& time,
                           std::string_view lastHeader);

// The comment block written when a file is opened with the comment option: CR LF first when
// appending, then the comment (when not empty) and CR LF. Every line break becomes CR LF, as the
// file's lines end. Empty when the comment is not valid UTF-8 or holds a character Windows-1250
// lacks, so the caller can refuse it instead of writing it garbled.
std::optional<std::string> TextCommentBlock(std::string_view commentUtf8, bool appending);
