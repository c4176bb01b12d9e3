// One outage, one damaged stretch: the same counts whichever file they are read from.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/recording/RecordingTestFiles.h"
#include "tests/trend/TrendFiles.h"
#include "trend/CsvExport.h"
#include "trend/RecordingReader.h"

namespace {

Readings Sensors(int s) {
    Readings r{};
    r[0] = Tq21(1234, static_cast<int16_t>(500 + s), static_cast<int16_t>(200 - s));
    r[5].isBinary = 1;
    r[5].binaryState = static_cast<uint8_t>(s / 10 % 2);
    return r;
}

RecordingRead Read(const TempFolder& dir, const std::string& name, const std::string& bytes) {
    WriteFile(dir.File(name), bytes);
    return ReadRecordingFile(dir.File(name));
}

std::string Export(const CSampleStore& st) {
    std::vector<int> all;
    for (std::size_t c = 0; c < st.ChannelCount(); ++c)
        all.push_back(static_cast<int>(c));
    std::string out;
    EXPECT_TRUE(ExportCsv(st, all, st.FirstTime(), st.LastTime(), ';', [&](std::string_view b) {
        out += b;
        return true;
    }));
    return out;
}

bool Silent(int s) {
    return (s >= 40 && s < 80) || s >= 200;
}

TEST(OutageCounts, ASilentDeviceIsOneGapInEveryFormat) {
    // Rows every 5 s; the device is silent from 40 s to 75 s and again at the end. The text file
    // gets rows under the short header, the .qdx file gets nothing.
    TempFolder dir;
    TextFileWriter text('\t');
    std::string qdx;
    for (int s = 0; s < 220; s += 5) {
        text.Row(Sensors(s), s, !Silent(s));
        if (!Silent(s))
            qdx += BuildBinaryRecord(Sensors(s), TimeAt(s));
    }
    const RecordingRead fromText = Read(dir, "a.txt", text.bytes);
    const RecordingRead fromQdx = Read(dir, "a.qdx", qdx);
    ASSERT_TRUE(fromText.store && fromQdx.store) << fromText.error << fromQdx.error;
    EXPECT_EQ(fromText.summary.records, 44u);
    EXPECT_EQ(fromQdx.summary.records, 32u);
    // A file that ends silent has no gap there: values never came back.
    EXPECT_EQ(fromText.summary.gaps, 1u);
    EXPECT_EQ(fromQdx.summary.gaps, 1u);

    // The window's export of either, read again.
    const RecordingRead textExport = Read(dir, "t.csv", Export(*fromText.store));
    const RecordingRead qdxExport = Read(dir, "q.csv", Export(*fromQdx.store));
    ASSERT_TRUE(textExport.store && qdxExport.store) << textExport.error << qdxExport.error;
    EXPECT_EQ(textExport.summary.gaps, 1u);
    EXPECT_EQ(qdxExport.summary.gaps, 1u);
    EXPECT_EQ(textExport.summary.badRecords, 0u);
    EXPECT_EQ(qdxExport.summary.badRecords, 0u);
}

TEST(OutageCounts, ShortHandWrittenSilencesAndInvalidRows) {
    // A silent row between values is a gap however short; a row where every value is invalid
    // is one too, as its .qdx record holds no entries; a single "???" is not.
    TempFolder dir;
    const std::string bytes =
        "Data i Godzina;TQ21 7 Wilgotnosc [%];TQ21 7 Temperatura [C];\r\n"
        "2024.03.07 14:00:00;50.0;20.0;\r\n"
        "2024.03.07 14:00:05;50.1;???;\r\n"
        "Data i Godzina;\r\n"
        "2024.03.07 14:00:10;\r\n"
        "Data i Godzina;TQ21 7 Wilgotnosc [%];TQ21 7 Temperatura [C];\r\n"
        "2024.03.07 14:00:15;50.2;20.1;\r\n"
        "2024.03.07 14:00:20;???;???;\r\n"
        "2024.03.07 14:00:25;???;???;\r\n"
        "2024.03.07 14:00:30;50.3;20.2;\r\n";
    const RecordingRead r = Read(dir, "b.txt", bytes);
    ASSERT_TRUE(r.store) << r.error;
    EXPECT_EQ(r.summary.records, 7u);
    EXPECT_EQ(r.summary.gaps, 2u);
    EXPECT_EQ(r.summary.badRecords, 0u);
}

TEST(OutageCounts, ADamagedQdxStretchCountsTheRecordsItLost) {
    TempFolder dir;
    std::vector<std::string> records;
    for (int s = 0; s < 30; ++s)
        records.push_back(BuildBinaryRecord(Sensors(s), TimeAt(s)));
    std::string bytes;
    for (int s = 0; s < 30; ++s) {
        std::string r = records[s];
        if (s == 5 || s == 6)
            r[20] = static_cast<char>(r[20] ^ 0x01);  // two records next to each other
        if (s == 15)
            r = std::string(4096, '\0');  // a torn write: NUL fill instead of a record
        if (s == 22)
            r.insert(0, "\x05\x07junk");  // junk between records, no record lost
        bytes += r;
    }
    bytes += records[0].substr(0, 25);  // torn tail
    const RecordingRead r = Read(dir, "c.qdx", bytes);
    ASSERT_TRUE(r.store) << r.error;
    EXPECT_EQ(r.summary.records, 27u);
    EXPECT_EQ(r.summary.badRecords, 2u + 1u + 1u + 1u);
    EXPECT_TRUE(r.summary.tornTail);

    // The same stretch of damage at the start of the file.
    const std::string startDamaged = std::string(records[0].size() * 3, '\x11') + records[3];
    const RecordingRead atStart = Read(dir, "d.qdx", startDamaged);
    ASSERT_TRUE(atStart.store) << atStart.error;
    EXPECT_EQ(atStart.summary.badRecords, 3u);
}

}  // namespace
