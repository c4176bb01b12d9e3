#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "store/IniEx.h"

// The settings file's reading and saving, shared by both platforms over a few file calls that
// each platform provides.
namespace inifile {

// One read call on an open file (a descriptor or a handle): the bytes read, 0 at the end, or
// negative on an error.
std::int64_t ReadSome(std::intptr_t file, char* buffer, std::size_t n);

// Reads the open file, of the given size at opening, to its end: TooLarge when it holds more
// than maxSize bytes (it may have grown since), else Opened with what could be read.
IniOpenResult ReadOpened(std::intptr_t file, std::uint64_t size, std::uint64_t maxSize,
                         std::string& text);

// Rewrites the existing file in place; error receives errno when not written.
bool RewriteInPlace(const std::filesystem::path& target, std::string_view content, int& error);

enum class Replaced { Done, WriteFailed, FolderRefused };

// The save's result after replacing the file with a new one: where the folder refused a new
// file, an existing file is rewritten in place.
IniSaveResult Settle(Replaced replaced, bool hadOld, const std::filesystem::path& target,
                     std::string_view content, int& error);

}  // namespace inifile
