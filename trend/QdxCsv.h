#pragma once
#include <string>

#include "trend/QdxParser.h"

// The CSV of the .qdx file, one line per entry, for spreadsheets and scripts.
inline constexpr const char* kQdxCsvHeader =
    "time,input,type,quantity,identifier,channel,value,valid\n";

// The lines of every entry of the record, appended to out, e.g.
// "2024-03-07 14:05:09,,21,26,1234,0,52.3,1\n". The input number is known only for binary
// inputs (their identifier); the file does not hold it for sensors, so the field stays empty.
void AppendQdxCsvLines(const QdxRecord& record, std::string& out);
