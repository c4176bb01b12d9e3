#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "store/IniEx.h"

// The settings store's file access. The file comes from the user's disk and is treated as
// hostile: only a regular file of at most maxSize bytes is read, and nothing ever blocks on it.
namespace inifile {

// Reads the whole file into text. With create, a missing file is created empty.
IniOpenResult Read(const std::filesystem::path& path, bool create, std::uint64_t maxSize,
                   std::string& text);

// Replaces the file's content (see CIniEx::Save); error receives errno when not written.
IniSaveResult Write(const std::filesystem::path& path, std::string_view content, int& error);

}  // namespace inifile
