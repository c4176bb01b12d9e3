#include "store/IniEx.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <random>

#include "store/IniValue.h"
#include "tests/store/IniFolderTest.h"

namespace fs = std::filesystem;

namespace {

class IniExTest : public IniFolderTest {};

// A file as a user might leave it after editing it by hand.
constexpr std::string_view kHandEdited =
    "; orvex settings\r\n"
    "loose line before any header\n"
    "\r\n"
    "[GENERAL]\r\n"
    "PORT_NR=3\r\n"
    "PORT_NR=4\r\n"  // the later duplicate wins
    "WINDOW_TOP = 20\r\n"
    "; window placement\r\n"
    "\r\n"
    "[EMPTY]\r\n"  // directly followed by a header: not found, dropped on save
    "[MID]\r\n"
    "[LOG] \r\n"  // trailing blank: an entry, not a header
    "FILE_NAME=C:\\logs\\a=b.txt;old comment;note\n"
    "[GENERAL]\r\n"
    "PORT_NR=9\r\n"
    "[ INPUT0 ]\r\n"
    "=only value\r\n"
    "FONT_NAME_INPUT=Arial\r\n"
    "[TAIL]";

TEST_F(IniExTest, HandEditedFileLookupsAndRoundTrip) {
    WriteFile(path_, kHandEdited);
    {
        CIniEx ini(4);
        ASSERT_TRUE(ini.Open(path_, true, false, true));
        EXPECT_EQ(ini.GetText("", "loose line before any header", "x"), "");
        // First section of a name, last key of a name.
        EXPECT_EQ(ini.GetInt("GENERAL", "PORT_NR", 0), 4);
        // The blank before "=" belongs to the key; the one after it to the value.
        EXPECT_EQ(ini.GetText("GENERAL", "WINDOW_TOP", "none"), "none");
        EXPECT_EQ(ini.GetText("GENERAL", "WINDOW_TOP ", "none"), " 20");
        EXPECT_EQ(ini.GetInt("GENERAL", "WINDOW_TOP ", 0), 20);
        EXPECT_EQ(ini.GetText("EMPTY", "FILE_NAME", "none"), "none");
        EXPECT_EQ(ini.GetText("LOG", "FILE_NAME", "none"), "none");
        EXPECT_EQ(ini.GetText("MID", "[LOG] ", "none"), "");
        EXPECT_EQ(ini.GetText("MID", "FILE_NAME", "none"), "C:\\logs\\a=b.txt;old comment");
        EXPECT_EQ(ini.GetText(" INPUT0 ", "FONT_NAME_INPUT", ""), "Arial");
        EXPECT_EQ(ini.GetText("INPUT0", "FONT_NAME_INPUT", "none"), "none");
        EXPECT_EQ(ini.GetText(" INPUT0 ", "", "none"), "only value");
        EXPECT_EQ(ini.GetText("TAIL", "", "none"), "none");  // header at the end, no entries
        EXPECT_FALSE(ini.IsModified());
        ASSERT_TRUE(ini.SetInt("general", "port_nr", 5));  // updates the first GENERAL's last one
        EXPECT_TRUE(ini.IsModified());
    }  // write on close
    EXPECT_EQ(ReadFile(path_),
              "; orvex settings=\r\n"
              "loose line before any header=\r\n"
              "\r\n"
              "[GENERAL]\r\n"
              "PORT_NR=3\r\n"
              "PORT_NR=5\r\n"
              "WINDOW_TOP = 20\r\n"
              "; window placement=\r\n"
              "\r\n"
              "[MID]\r\n"
              "[LOG] =\r\n"
              "FILE_NAME=C:\\logs\\a=b.txt;old comment;note\r\n"
              "[GENERAL]\r\n"
              "PORT_NR=9\r\n"
              "[ INPUT0 ]\r\n"
              "=only value\r\n"
              "FONT_NAME_INPUT=Arial\r\n");

    // The saved file reads back to the same answers and saves to the same bytes.
    const std::string saved = ReadFile(path_);
    CIniEx again;
    ASSERT_TRUE(again.Open(path_, false, false, true));
    EXPECT_EQ(again.GetInt("GENERAL", "PORT_NR", 0), 5);
    EXPECT_EQ(again.GetText(" INPUT0 ", "", "none"), "only value");
    EXPECT_EQ(again.ToText(), saved);
}

TEST_F(IniExTest, NewFileTakesDefaultsAndWritesOnlyNamedSections) {
    CIniEx ini(4);
    ASSERT_TRUE(ini.Open(path_, false, true, true));
    EXPECT_TRUE(fs::exists(path_));
    EXPECT_EQ(ReadFile(path_), "");
    EXPECT_EQ(ini.GetText("LOG", "FILE_NAME", "a;b"), "a;b");  // a default is never cut
    EXPECT_EQ(ini.GetInt("GENERAL", "PORT_PARITY", 69), 69);
    EXPECT_EQ(ini.GetInt("GENERAL", "WINDOW_LEFT", -12), -12);
    EXPECT_EQ(ini.GetUnsigned("INPUT0", "BACKGROUND_INPUT", 4000000000u), 4000000000u);
    EXPECT_FALSE(ini.IsModified());

    // Six sections added one by one: more than the growth step.
    for (int n = 0; n < 6; ++n) {
        ini.SetUnsigned("INPUT" + std::to_string(n), "TEXT_INPUT", 1966090u + n);
    }
    ini.SetInt("INPUT0", "FONT_HEIGHT_INPUT", -25);
    ini.SetText("LOG", "FILE_NAME", "");
    ASSERT_TRUE(ini.Save());
    std::string expected;
    for (int n = 0; n < 6; ++n) {
        expected += "[INPUT" + std::to_string(n) +
                    "]\r\nTEXT_INPUT=" + std::to_string(1966090 + n) + "\r\n";
        if (n == 0) {
            expected += "FONT_HEIGHT_INPUT=-25\r\n";
        }
    }
    expected += "[LOG]\r\nFILE_NAME=\r\n";
    EXPECT_EQ(ReadFile(path_), expected);
}

TEST_F(IniExTest, OpenFailsWithoutCreateAndLeavesTheStoreEmpty) {
    CIniEx ini;
    EXPECT_FALSE(ini.Open(path_, true, false, true));
    EXPECT_FALSE(ini.IsOpen());
    EXPECT_TRUE(ini.Sections().empty());
    EXPECT_FALSE(fs::exists(path_));
    EXPECT_EQ(ini.GetInt("GENERAL", "PORT_NR", 7), 7);

    // Updates are kept in memory, and nothing is written anywhere.
    EXPECT_TRUE(ini.SetInt("GENERAL", "PORT_NR", 3));
    EXPECT_EQ(ini.GetInt("GENERAL", "PORT_NR", 7), 3);
    EXPECT_FALSE(ini.Save());
    EXPECT_FALSE(fs::exists(path_));
    EXPECT_TRUE(FolderNames().empty());

    // A folder cannot be opened as a file.
    EXPECT_FALSE(ini.Open(dir_, false, true, true));
}

TEST_F(IniExTest, LineEndsHeadersAndEmptySections) {
    WriteFile(path_,
              "\xEF\xBB\xBF[A]\n"  // a byte-order mark makes the first line an entry
              "k=v\rw\r\n"         // a lone CR stays in the line
              "[B]\n"
              "[C]\n"
              "x=1\n"
              "[]\n"
              "y=2\n"
              "[D]\n"
              "last=no line end");
    CIniEx ini;
    ASSERT_TRUE(ini.Open(path_, false, false, true));
    EXPECT_EQ(ini.GetText("", "\xEF\xBB\xBF[A]", "none"), "");
    EXPECT_EQ(ini.GetText("A", "k", "none"), "none");
    EXPECT_EQ(ini.GetText("", "k", "none"), "v\rw");
    EXPECT_EQ(ini.GetText("B", "x", "none"), "none");
    EXPECT_EQ(ini.GetInt("C", "x", 0), 1);
    EXPECT_EQ(ini.GetText("D", "last", ""), "no line end");

    // B has no entries: it is not found, so a key set in B goes to a new B at the end.
    ini.SetText("B", "z", "3");
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ(ReadFile(path_),
              "\xEF\xBB\xBF[A]=\r\nk=v\rw\r\n[C]\r\nx=1\r\n[]\r\ny=2\r\n[D]\r\n"
              "last=no line end\r\n[B]\r\nz=3\r\n");
    // "[]" keeps its header, so y stays out of C.
    CIniEx again;
    ASSERT_TRUE(again.Open(path_, false, false, true));
    EXPECT_EQ(again.GetText("C", "y", "none"), "none");
}

TEST_F(IniExTest, CommentsAfterSemicolonAndValueLookups) {
    CIniEx ini;
    ini.LoadText(
        "[S]\n"
        "two=a;b;c\n"
        "eq=x=y=z\n"
        "only=;\n"
        "num= 42 ; answer\n"
        "[S]\n"
        "later=1\n",
        true);
    EXPECT_EQ(ini.GetText("S", "two", ""), "a;b");
    EXPECT_EQ(ini.GetText("S", "eq", ""), "x=y=z");
    EXPECT_EQ(ini.GetText("S", "only", "d"), "");
    EXPECT_EQ(ini.GetInt("S", "num", 0), 42);
    EXPECT_EQ(ini.GetText("S", "later", "second S is never searched"),
              "second S is never searched");

    // An update replaces the whole stored value, comment included.
    ini.SetText("S", "two", "plain");
    EXPECT_EQ(ini.Sections()[1].entries[0].Value(), "plain");
}

TEST_F(IniExTest, LetterCaseFollowsTheStoreMode) {
    // "Łódź" in Windows-1250, header in lower case.
    constexpr std::string_view kFile = "[general]\nPort_Nr=2\n[\xA3\xF3\x64\x9F]\nk=v\n";
    CIniEx insensitive;
    insensitive.LoadText(kFile, true);
    EXPECT_EQ(insensitive.GetInt("GENERAL", "PORT_NR", 0), 2);
    EXPECT_EQ(insensitive.GetText("\xB3\xD3\x44\x8F", "K", ""), "v");  // "łÓDŹ"
    insensitive.SetInt("GENERAL", "PORT_NR", 8);
    EXPECT_EQ(insensitive.ToText(), "[general]\r\nPort_Nr=8\r\n[\xA3\xF3\x64\x9F]\r\nk=v\r\n");

    CIniEx sensitive;
    sensitive.LoadText(kFile, false);
    EXPECT_EQ(sensitive.GetInt("GENERAL", "PORT_NR", 0), 0);
    EXPECT_EQ(sensitive.GetInt("general", "PORT_NR", 0), 0);
    EXPECT_EQ(sensitive.GetInt("general", "Port_Nr", 0), 2);
}

TEST_F(IniExTest, ChangeOfLetterCaseAloneIsSaved) {
    WriteFile(path_, "[LOG]\r\nFILE_NAME=/data/Log.txt\r\n");
    {
        CIniEx ini;
        ASSERT_TRUE(ini.Open(path_, true, false, true));
        ini.SetText("LOG", "FILE_NAME", "/data/Log.txt");
        EXPECT_FALSE(ini.IsModified());
        ini.SetText("log", "file_name", "/data/log.txt");
        EXPECT_TRUE(ini.IsModified());
    }
    EXPECT_EQ(ReadFile(path_), "[LOG]\r\nFILE_NAME=/data/log.txt\r\n");
}

TEST_F(IniExTest, SaveWritesOnlyWhenModifiedAndTheMarkStays) {
    WriteFile(path_, "[A]\nk=1\n");
    CIniEx ini;
    ASSERT_TRUE(ini.Open(path_, false, false, true));
    ini.SetInt("A", "k", 1);  // same value: no change
    WriteFile(path_, "changed elsewhere");
    EXPECT_TRUE(ini.Save());
    EXPECT_EQ(ReadFile(path_), "changed elsewhere");

    ini.SetInt("A", "k", 2);
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ(ReadFile(path_), "[A]\r\nk=2\r\n");
    EXPECT_TRUE(ini.IsModified());
    WriteFile(path_, "changed elsewhere");
    ASSERT_TRUE(ini.Save());  // still modified: written again
    EXPECT_EQ(ReadFile(path_), "[A]\r\nk=2\r\n");

    ini.Clear();
    EXPECT_FALSE(ini.IsModified());
    EXPECT_FALSE(ini.IsOpen());
    EXPECT_EQ(ini.GetInt("A", "k", 0), 0);
}

TEST_F(IniExTest, WriteOnCloseAndReopenSaveTheFormerFile) {
    const fs::path other = dir_ / "other.ini";
    WriteFile(path_, "[A]\nk=1\n");
    {
        CIniEx ini;
        ASSERT_TRUE(ini.Open(path_, false, false, true));
        ini.SetInt("A", "k", 2);
    }  // no write on close
    EXPECT_EQ(ReadFile(path_), "[A]\nk=1\n");
    {
        CIniEx ini;
        ASSERT_TRUE(ini.Open(path_, false, false, true));
        ini.SetInt("A", "k", 3);
        ASSERT_TRUE(ini.Open(other, false, true, true));  // saves the first file, then clears
        EXPECT_FALSE(ini.IsModified());
        EXPECT_EQ(ini.GetInt("A", "k", 0), 0);
    }
    EXPECT_EQ(ReadFile(path_), "[A]\r\nk=3\r\n");
    EXPECT_EQ(ReadFile(other), "");
}

TEST_F(IniExTest, SaveRecreatesAFileRemovedMeanwhile) {
    CIniEx ini;
    ASSERT_TRUE(ini.Open(path_, false, true, true));
    fs::remove(path_);
    ini.SetInt("A", "k", 1);
    EXPECT_TRUE(ini.Save());
    EXPECT_EQ(ReadFile(path_), "[A]\r\nk=1\r\n");
}

TEST_F(IniExTest, SaveWithALongFileName) {
    const fs::path longPath = dir_ / (std::string(250, 'n') + ".ini");
    CIniEx ini;
    ASSERT_TRUE(ini.Open(longPath, false, true, true));
    ini.SetInt("A", "k", 1);
    EXPECT_TRUE(ini.Save());
    EXPECT_EQ(ReadFile(longPath), "[A]\r\nk=1\r\n");
}

TEST_F(IniExTest, FailedSaveWhenTheFolderIsGone) {
    const fs::path folder = dir_ / "program";
    fs::create_directory(folder);
    WriteFile(folder / "orvex.ini", "[A]\nk=1\n");
    CIniEx ini;
    ASSERT_TRUE(ini.Open(folder / "orvex.ini", true, false, true));
    ini.SetInt("A", "k", 2);
    fs::rename(folder, dir_ / "moved");
    WriteFile(folder, "a file where the folder was");
    EXPECT_FALSE(ini.Save());
    EXPECT_EQ(ReadFile(dir_ / "moved" / "orvex.ini"), "[A]\nk=1\n");
    EXPECT_EQ(ReadFile(folder), "a file where the folder was");
}

TEST_F(IniExTest, IntegerParsing) {
    struct Case {
        const char* stored;
        std::int32_t asInt;
        std::uint32_t asUnsigned;
    };
    const Case cases[] = {
        {"123", 123, 123u},
        {"  \t-45xyz", -45, static_cast<std::uint32_t>(-45)},
        {"+7", 7, 7u},
        {"-1", -1, 4294967295u},
        {"4294967295", 2147483647, 2147483647u},
        {"2147483647", 2147483647, 2147483647u},
        {"2147483648", 2147483647, 2147483647u},
        {"-2147483648", std::numeric_limits<std::int32_t>::min(), 2147483648u},
        {"-2147483649", std::numeric_limits<std::int32_t>::min(), 2147483648u},
        {"99999999999999999999999", 2147483647, 2147483647u},
        {"-99999999999999999999999", std::numeric_limits<std::int32_t>::min(), 2147483648u},
        {"0x1F", 0, 0u},
        {"", 0, 0u},
        {"abc", 0, 0u},
        {"-", 0, 0u},
        {"- 5", 0, 0u},
        {"--5", 0, 0u},
        {"12 34", 12, 12u},
        {"16770250;colour", 16770250, 16770250u},
        {";5", 0, 0u},
    };
    for (const Case& c : cases) {
        CIniEx ini;
        ini.LoadText(std::string("[S]\nk=") + c.stored + "\n", true);
        EXPECT_EQ(ini.GetInt("S", "k", 99), c.asInt) << '"' << c.stored << '"';
        EXPECT_EQ(ini.GetUnsigned("S", "k", 99), c.asUnsigned) << '"' << c.stored << '"';
    }

    CIniEx ini;
    ini.LoadText("", true);
    ini.SetInt("S", "min", std::numeric_limits<std::int32_t>::min());
    ini.SetUnsigned("S", "colour", 0x00FFEECCu);
    EXPECT_EQ(ini.GetText("S", "min", ""), "-2147483648");
    EXPECT_EQ(ini.GetInt("S", "min", 0), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(ini.GetUnsigned("S", "colour", 0), 0x00FFEECCu);
}

// A file with very many headers (hand-edited or damaged) must not make reading it quadratic:
// the section table grows by the growth step only while it is small.
TEST_F(IniExTest, ManySectionsMoveTheTableOnlyAFewTimes) {
    CIniEx ini(4);
    ini.LoadText("", true);
    int moves = 0;
    const IniSection* table = ini.Sections().data();
    for (int n = 0; n < 4096; ++n) {
        ini.SetInt("S" + std::to_string(n), "k", n);
        if (ini.Sections().data() != table) {
            table = ini.Sections().data();
            ++moves;
        }
    }
    ASSERT_EQ(ini.Sections().size(), 4097u);
    EXPECT_EQ(ini.GetInt("S4095", "k", -1), 4095);
    EXPECT_LT(moves, 64);
}

// Long tables are searched through an index: the answers must be those of a short table (first
// section of a name, last key of a name, letter case per mode), also after updates.
TEST_F(IniExTest, LongTablesAnswerAsShortOnes) {
    std::string text;
    for (int n = 0; n < 300; ++n) {
        text += "[S" + std::to_string(n % 150) + "]\n";  // every name twice
        text += "k=" + std::to_string(n) + "\n";
    }
    text += "[BIG]\n";
    for (int n = 0; n < 1000; ++n) {
        text += "key" + std::to_string(n % 400) + "=" + std::to_string(n) + "\n\n";
    }
    text += "Key7=last\n[empty]\n";
    for (const bool caseInsensitive : {true, false}) {
        CIniEx ini;
        ini.LoadText(text, caseInsensitive);
        EXPECT_EQ(ini.GetInt("S0", "k", -1), 0);
        EXPECT_EQ(ini.GetInt("s149", "K", -1), caseInsensitive ? 149 : -1);
        EXPECT_EQ(ini.GetInt("BIG", "key399", -1), 799);
        EXPECT_EQ(ini.GetInt("BIG", "key0", -1), 800);
        EXPECT_EQ(ini.GetText("BIG", "key7", "-"), caseInsensitive ? "last" : "807");
        EXPECT_EQ(ini.GetText("BIG", "", "-"), "");
        EXPECT_EQ(ini.GetText("BIG", "key400", "-"), "-");
        EXPECT_EQ(ini.GetText("empty", "", "-"), "-");
        EXPECT_EQ(ini.GetText("S150", "k", "-"), "-");

        // Updates go to the entry a lookup finds; additions are found afterwards.
        ini.SetInt("S5", "k", -5);
        ini.SetInt("BIG", "key3", -3);
        ini.SetInt("BIG", "new", 1);
        ini.SetInt("S150", "k", 150);
        ini.SetInt("empty", "k", 2);
        EXPECT_EQ(ini.GetInt("S5", "k", 0), -5);
        EXPECT_EQ(ini.GetInt("BIG", "key3", 0), -3);
        EXPECT_EQ(ini.GetInt("BIG", "new", 0), 1);
        EXPECT_EQ(ini.GetInt("S150", "k", 0), 150);
        EXPECT_EQ(ini.GetInt("empty", "k", 0), 2);
        const std::string written = ini.ToText();
        EXPECT_NE(written.find("[S5]\r\nk=-5\r\n"), std::string::npos);
        EXPECT_NE(written.find("[S5]\r\nk=155\r\n"), std::string::npos);
        EXPECT_NE(written.find("key3=403\r\n"), std::string::npos);
        EXPECT_EQ(written.find("key3=803\r\n"), std::string::npos);
        EXPECT_NE(written.find("key3=-3\r\n"), std::string::npos);
        EXPECT_TRUE(written.ends_with("[S150]\r\nk=150\r\n[empty]\r\nk=2\r\n"));
    }
}

TEST_F(IniExTest, TextThatWouldNotReadBackIsRefused) {
    CIniEx ini;
    ini.LoadText("[S]\nk=v\n", true);
    const std::string before = ini.ToText();
    EXPECT_FALSE(ini.SetText("S", "k", "line1\nline2"));
    EXPECT_FALSE(ini.SetText("S", "k", "/tmp/x\n[GENERAL]\nPORT_NR=9"));
    EXPECT_FALSE(ini.SetText("S", "a=b", "c"));
    EXPECT_FALSE(ini.SetText("S", "[x", "y]"));
    EXPECT_FALSE(ini.SetText("S\n[T", "k", "v"));
    EXPECT_EQ(ini.ToText(), before);
    EXPECT_FALSE(ini.IsModified());

    // Close calls that do read back.
    EXPECT_TRUE(ini.SetText("S", "k", "v\r"));
    EXPECT_TRUE(ini.SetText("S", "[x", "y] "));
    EXPECT_TRUE(ini.SetText("S", "", "a=b"));
    EXPECT_TRUE(ini.SetText("odd]name", "k", "[v]"));
    CIniEx again;
    again.LoadText(ini.ToText(), true);
    EXPECT_EQ(again.GetText("S", "k", ""), "v\r");
    EXPECT_EQ(again.GetText("S", "[x", ""), "y] ");
    EXPECT_EQ(again.GetText("S", "", ""), "a=b");
    EXPECT_EQ(again.GetText("odd]name", "k", ""), "[v]");
}

TEST_F(IniExTest, ProtectedSemicolonsSurviveASaveAndAFreshOpen) {
    const std::string values[] = {
        "/home/ola/pomiary;2024/log.txt", "a;;b;", ";", "Arial", "", "/no/semicolon.qdx",
    };
    {
        CIniEx ini;
        ASSERT_TRUE(ini.Open(path_, true, true, true));
        for (std::size_t i = 0; i < std::size(values); ++i) {
            ini.SetText("LOG", "V" + std::to_string(i), ProtectSemicolons(values[i]));
        }
    }
    EXPECT_NE(ReadFile(path_).find("V3=Arial\r\n"), std::string::npos);  // unchanged without ";"
    CIniEx ini;
    ASSERT_TRUE(ini.Open(path_, false, false, true));
    for (std::size_t i = 0; i < std::size(values); ++i) {
        EXPECT_EQ(ini.GetText("LOG", "V" + std::to_string(i), "-"), values[i]);
    }
    // Unprotected, the value loses its tail: the reason for the helper.
    ini.SetText("LOG", "raw", values[0]);
    EXPECT_EQ(ini.GetText("LOG", "raw", ""), "/home/ola/pomiary");
}

TEST_F(IniExTest, OpenInProgramFolderUsesTheExecutablesFolder) {
    const fs::path folder = CIniEx::ProgramFolder();
    EXPECT_TRUE(fs::exists(folder / "orvex_store_tests") ||
                fs::exists(folder / "orvex_store_tests.exe"));
    const std::string name = "store-test-" + std::to_string(std::random_device()()) + ".ini";
    {
        CIniEx ini;
        ASSERT_TRUE(ini.OpenInProgramFolder(name, false, true, true));
        EXPECT_EQ(ini.Path(), folder / name);
    }
    EXPECT_TRUE(fs::exists(folder / name));
    fs::remove(folder / name);
}

}  // namespace
