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

// Rewrites the existing file in place; error receives errno when not written. Not atomic, so
// only the fallback: the new size is reserved first, so a full disk fails before the old content
// is touched.
bool RewriteInPlace(const std::filesystem::path& target, std::string_view content, int& error);

// The platform's part of RewriteInPlace, on a file opened by OpenForRewrite (a descriptor or a
// handle). Each returns 0 or an errno value.
// Opens an existing regular file for writing, without waiting on it; EINVAL for anything else.
int OpenForRewrite(const std::filesystem::path& target, std::intptr_t& file);
// Makes the file at least size bytes long.
int Reserve(std::intptr_t file, std::uint64_t size);
// Cuts the file at size and flushes it to the disk.
int EndAt(std::intptr_t file, std::uint64_t size);
int CloseFile(std::intptr_t file);

enum class Replaced { Done, WriteFailed, FolderRefused };

// The save's result after replacing the file with a new one: where the folder refused a new
// file, an existing file is rewritten in place.
IniSaveResult Settle(Replaced replaced, bool hadOld, const std::filesystem::path& target,
                     std::string_view content, int& error);

}  // namespace inifile
