// Paths for the wide Win32 file calls. Wine takes plain paths of any length, so the longer tests
// of the file code pass under wine with or without the \\?\ form: what the form looks like is
// checked here, and the file tests show the limit only on Windows.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "os/FileWrite.h"
#include "os/win32/LongPath.h"
#include "tests/support/win32/LongFolder.h"

namespace fs = std::filesystem;

namespace {

std::wstring Segment(wchar_t c) {
    return std::wstring(60, c);
}

TEST(LongPath, ShortPathsStayAsTheyAre) {
    EXPECT_EQ(LongPath(L"C:\\pomiary\\orvex.ini"), L"C:\\pomiary\\orvex.ini");
    EXPECT_EQ(LongPath(L"relative/name.csv"), L"relative/name.csv");
    EXPECT_EQ(LongPath(L"\\\\.\\COM3"), L"\\\\.\\COM3");
}

TEST(LongPath, LongPathsGetTheNormalisedPrefixedForm) {
    const std::wstring tail = L"\\" + Segment(L'a') + L"\\" + Segment(L'b') + L"\\" +
                              Segment(L'c') + L"\\" + Segment(L'd') + L"\\orvex.ini";
    EXPECT_EQ(LongPath(L"C:\\dane" + tail), L"\\\\?\\C:\\dane" + tail);
    // Slashes, "." and ".." are resolved first: the prefix turns that off in Windows.
    std::wstring mixed = L"C:/dane/./x/.." + tail;
    for (wchar_t& c : mixed)
        c = c == L'\\' ? L'/' : c;
    EXPECT_EQ(LongPath(mixed), L"\\\\?\\C:\\dane" + tail);
    EXPECT_EQ(LongPath(L"\\\\serwer\\udział" + tail), L"\\\\?\\UNC\\serwer\\udział" + tail);
    const std::wstring prefixed = L"\\\\?\\C:\\dane" + tail;
    EXPECT_EQ(LongPath(prefixed), prefixed);
    // A relative one is made absolute against the current folder.
    const std::wstring relative = Segment(L'e') + tail;
    EXPECT_EQ(LongPath(relative), L"\\\\?\\" + (fs::current_path() / relative).native());
}

TEST(LongPath, FoldersBeyondMaxPathAreMade) {
    const fs::path scratch =
        fs::temp_directory_path() / ("orvex-longpath-" + std::to_string(GetCurrentProcessId()));
    ASSERT_TRUE(fs::create_directory(scratch));
    struct Removed {
        ~Removed() {
            std::error_code ec;
            fs::remove(path, ec);
        }
        fs::path path;
    } removed{scratch};  // after base, which empties it
    const LongFolder base(scratch);
    ASSERT_FALSE(base.Path().empty());
    const fs::path deep = base.Path() / Segment(L'x') / Segment(L'y');
    ASSERT_GT(deep.native().size(), static_cast<std::size_t>(MAX_PATH));
    ASSERT_EQ(CreateFolders(deep), 0);
    const DWORD attributes = GetFileAttributesW(LongFolder::Prefixed(deep.native()).c_str());
    EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    RemoveDirectoryW(LongFolder::Prefixed(deep.native()).c_str());
    RemoveDirectoryW(LongFolder::Prefixed(deep.parent_path().native()).c_str());
}

}  // namespace
