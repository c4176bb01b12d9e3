#pragma once
#include <filesystem>
#include <string_view>

// Creates the file, never taking one that exists (EEXIST), and writes the bytes to it, synced.
// A file that could not be written whole is removed. Returns 0 or the errno.
int WriteNewFile(const std::filesystem::path& target, std::string_view bytes);

// Makes a write beyond a file size limit fail like a full disk instead of ending the process.
void LetFileSizeLimitFailWrites();
