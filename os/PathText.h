#pragma once
#include <filesystem>
#include <string>
#include <string_view>

// Paths travel through the program as UTF-8 text. A path built from a plain string would take
// the ANSI code page on Windows; these keep the bytes as they are on POSIX systems and convert
// UTF-8 <-> UTF-16 on Windows.
inline std::filesystem::path PathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string Utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}
