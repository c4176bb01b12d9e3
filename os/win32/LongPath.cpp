#include "os/win32/LongPath.h"

#include <windows.h>

namespace {

// A folder's path must leave room for an 8.3 name (MAX_PATH - 12): from here on the prefix is
// used for files and folders alike.
constexpr std::size_t kPlainLimit = MAX_PATH - 12;

}  // namespace

std::wstring LongPath(const std::filesystem::path& path) {
    const std::wstring& text = path.native();
    if (text.size() < kPlainLimit || text.starts_with(L"\\\\?\\") || text.starts_with(L"\\\\.\\"))
        return text;
    // The prefix turns off the normalisation Windows does for plain paths: slashes, "." and ".."
    // and a relative start are resolved here first.
    const DWORD need = GetFullPathNameW(text.c_str(), 0, nullptr, nullptr);
    if (need == 0)
        return text;
    std::wstring full(need, L'\0');
    const DWORD got = GetFullPathNameW(text.c_str(), need, full.data(), nullptr);
    if (got == 0 || got >= need)
        return text;
    full.resize(got);
    if (full.starts_with(L"\\\\?\\") || full.starts_with(L"\\\\.\\"))
        return full;
    if (full.starts_with(L"\\\\"))
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}
