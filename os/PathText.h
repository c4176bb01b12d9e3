#pragma once
#include <filesystem>
#include <string>
#include <string_view>

// Paths from and to the program's UTF-8 text. std::filesystem::path's narrow string is the ANSI
// code page on Windows, so text goes through char8_t, which means UTF-8 everywhere.
inline std::filesystem::path PathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string Utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}
