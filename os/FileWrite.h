#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>

// The write loop every file writer needs: one call may write only part of the bytes. file is an
// open descriptor, or a Windows HANDLE carried as an integer. Each returns 0, or the errno value
// of the failure (ENOSPC when the system took no byte without saying why).

// Writes all size bytes at the file's current position.
int WriteAll(std::intptr_t file, const void* data, std::size_t size);

// Writes all size bytes at offset, wherever the file's position stands.
int WriteAllAt(std::intptr_t file, const void* data, std::size_t size, std::uint64_t offset);

// Creates the folder and the folders above it that are missing; 0 or the errno value. Not bound
// to the 260-character limit of plain Windows paths.
int CreateFolders(const std::filesystem::path& folder);
