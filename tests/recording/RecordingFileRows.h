#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "recording/RecordingFile.h"
#include "recording/format/BinaryRecordFormat.h"
#include "tests/recording/RecordingTestFiles.h"

// Rows and records for the recording file's tests.
inline const std::string kHeader = "Data i Godzina\tH\t\r\n";

inline RecordBytes Row(int n, bool withHeader = false) {
    const std::string row = "row " + std::to_string(n) + "\r\n";
    return {withHeader ? kHeader + row : row, kHeader};
}

inline std::string Rows(int from, int to) {
    std::string text;
    for (int n = from; n <= to; ++n)
        text += Row(n).bytes;
    return text;
}

inline std::string BinaryRecord(int second) {
    char text[64];
    std::snprintf(text, sizeof text, "20240307140%03d$21,%d,26,52.3,1$", second, second);
    return EncodeBinaryRecord(text);
}

class RecordingFileTest : public ::testing::Test {
protected:
    TempFolder folder;
    std::string path = folder.File("log.csv");
    CRecordingFile file{RecordingFileKind::Text};
};
