#pragma once
// A folder whose path is longer than MAX_PATH, for the tests of the Win32 file code. It is made
// and removed through the \\?\ form, which Windows takes at any length, so that only the code
// under test meets the plain long path.
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

class LongFolder {
public:
    explicit LongFolder(const std::filesystem::path& base) {
        std::wstring path = std::filesystem::absolute(base).native();
        for (wchar_t level = L'a'; path.size() <= MAX_PATH + 40; ++level) {
            path += L"\\" + std::wstring(60, level);
            if (!CreateDirectoryW(Prefixed(path).c_str(), nullptr))
                break;
            levels.push_back(path);
        }
        if (!levels.empty())
            folder = levels.back();
    }
    ~LongFolder() {
        for (auto level = levels.rbegin(); level != levels.rend(); ++level) {
            WIN32_FIND_DATAW found{};
            const HANDLE search = FindFirstFileW(Prefixed(*level + L"\\*").c_str(), &found);
            if (search != INVALID_HANDLE_VALUE) {
                do {
                    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
                        DeleteFileW(Prefixed(*level + L"\\" + found.cFileName).c_str());
                } while (FindNextFileW(search, &found));
                FindClose(search);
            }
            RemoveDirectoryW(Prefixed(*level).c_str());
        }
    }
    LongFolder(const LongFolder&) = delete;
    LongFolder& operator=(const LongFolder&) = delete;

    // Empty when the folder could not be made.
    const std::filesystem::path& Path() const { return folder; }

    static std::wstring Prefixed(const std::wstring& path) { return L"\\\\?\\" + path; }

    // The file's bytes, read through the \\?\ form; "unreadable" when it cannot be opened.
    static std::string Read(const std::filesystem::path& file) {
        const HANDLE h = CreateFileW(Prefixed(file.native()).c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return "unreadable";
        std::string bytes(1 << 16, '\0');
        DWORD got = 0;
        if (!ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr))
            got = 0;
        CloseHandle(h);
        bytes.resize(got);
        return bytes;
    }

private:
    std::vector<std::wstring> levels;
    std::filesystem::path folder;
};
