// The same readings give the same file bytes wherever the program runs: the text file in
// Windows-1250 with CR LF line ends, the binary file byte for byte. Both builds compare their
// output with the files kept in golden/.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>

#include "recording/RecordingCore.h"
#include "tests/recording/RecordingTestFiles.h"
#include "tests/support/MakeReading.h"

namespace fs = std::filesystem;

namespace {

// Every sensor kind once, a value in error, absent probes and a binary input.
std::array<InputReading, 8> Sensors(int step) {
    std::array<InputReading, 8> r{};
    const auto v = static_cast<int16_t>(step);
    r[0] = MakeReading(ModelTQ21, 1234, {static_cast<int16_t>(523 + v), -5});
    InputReading tq22 = MakeReading(ModelTQ22, 22, {});
    for (int p = 0; p < 8; ++p)
        tq22.probeValues[p] = static_cast<int16_t>(100 * p - 250 + v);
    tq22.valueFlags[2] = FlagAbsent;
    tq22.average = 215;
    r[1] = tq22;
    r[2] = MakeReading(ModelTQ23, 23, {10132, 481, 217});
    r[3] = MakeReading(ModelTQ24, 24, {1013}, {0, 0, 0}, 0);
    r[4] = MakeReading(ModelTQ25, 25, {270, 43});
    r[5] = MakeReading(ModelTQ26, 26, {1234, 0, 0}, {0, 0, 1}, 1);
    r[6] = MakeReading(ModelTQ28, 28, {7, 1500, 300, 45}, {0, step == 1 ? uint8_t{1} : uint8_t{0}});
    r[7].isBinary = 1;
    r[7].binaryState = static_cast<uint8_t>(step % 2);
    return r;
}

RecordingSnapshot At(int second, bool responding, int step) {
    RecordingSnapshot snapshot;
    snapshot.time = {2026, 1, 31, 23, 59, second};
    snapshot.responding = responding;
    if (responding)
        snapshot.readings = Sensors(step);
    return snapshot;
}

TEST(RecordingGolden, SameReadingsSameBytesOnEveryPlatform) {
    TempFolder folder;
    RecordingSettings settings;
    settings.textOn = true;
    settings.binaryOn = true;
    settings.textPath = folder.File("wyniki.csv");
    settings.binaryPath = folder.File("wykres.qdx");
    settings.separatorCode = 2;
    settings.writeComment = true;
    settings.comment = "Szklarnia nr 2 – zmiana nocna\r\nŁódź, 31.01";
    CRecordingCore core;
    core.SetSettings(settings);
    const CRecordingCore::Opening opening = core.OpenFile(RecordingFileKind::Text);
    ASSERT_EQ(opening.error, 0);
    core.WriteComment(opening.appended);
    ASSERT_EQ(core.OpenFile(RecordingFileKind::Binary).error, 0);
    core.Tick(At(50, true, 0));
    core.Tick(At(51, true, 1));
    core.Tick(At(52, false, 0));
    core.Tick(At(53, true, 2));
    core.Close({});

    const fs::path golden = ORVEX_GOLDEN_DIR;
    EXPECT_EQ(ReadFile(settings.textPath), ReadFile(golden / "wyniki.csv"));
    EXPECT_EQ(ReadFile(settings.binaryPath), ReadFile(golden / "wykres.qdx"));
    EXPECT_FALSE(ReadFile(golden / "wykres.qdx").empty());
}

}  // namespace
