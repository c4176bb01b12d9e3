#pragma once
// Whole files as bytes, for tests that lay out files on disk and look at what was written.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

// The file's bytes; empty when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Replaces the file's contents with bytes (creating it).
inline void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The number of CR LF-ended rows in a text recording's bytes.
inline std::size_t CountRows(std::string_view text) {
    std::size_t rows = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string_view::npos;
         at = text.find("\r\n", at + 2)) {
        ++rows;
    }
    return rows;
}
