// orvex-qdx.exe takes its file name from the wide command line: quoted, with blanks and letters
// outside the ANSI code page.
#include <gtest/gtest.h>

#include <filesystem>

#include "os/PathText.h"
#include "tests/recording/RecordingTestFiles.h"
#include "tests/trend/RunTool.h"

namespace fs = std::filesystem;

namespace {

TEST(OrvexQdxWindows, QuotedUnicodeFileName) {
    TempFolder dir;
    const fs::path folder = dir.Path() / L"dane pomiarowe \x0141\x00F3\x0064\x017A";
    ASSERT_TRUE(fs::create_directory(folder));
    const fs::path file = folder / L"wykres \x017C \x4E2D.qdx";
    fs::copy_file(fs::path(ORVEX_GOLDEN_DIR) / "wykres.qdx", file);
    const ToolRun r = RunQdxTool("--csv \"" + Utf8FromPath(file) + "\"");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, ReadFile(fs::path(ORVEX_GOLDEN_DIR) / "wykres-csv.txt"));

    // A name with a quote escaped by a backslash, and an argument that is not there at all.
    EXPECT_EQ(RunQdxTool("--csv \"" + Utf8FromPath(folder) + "\\\\\"").status, 1);
    EXPECT_EQ(RunQdxTool("--csv \"\"").status, 1);
}

}  // namespace
