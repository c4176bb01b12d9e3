#include "os/FileWrite.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "os/win32/FileError.h"
#include "os/win32/LongPath.h"

namespace {

// WriteFile, in pieces of at most 1 GiB (its count is 32-bit), until every byte is written; at
// an offset when at is given.
int WriteLoop(std::intptr_t file, const void* data, std::size_t size, const std::uint64_t* at) {
    const auto h = reinterpret_cast<HANDLE>(file);
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
        OVERLAPPED position{};
        if (at != nullptr) {
            const std::uint64_t offset = *at + done;
            position.Offset = static_cast<DWORD>(offset);
            position.OffsetHigh = static_cast<DWORD>(offset >> 32);
        }
        DWORD written = 0;
        if (!WriteFile(h, bytes + done, chunk, &written, at != nullptr ? &position : nullptr))
            return LastFileError();
        if (written == 0)
            return ENOSPC;
        done += written;
    }
    return 0;
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

int WriteAll(std::intptr_t file, const void* data, std::size_t size) {
    return WriteLoop(file, data, size, nullptr);
}

int WriteAllAt(std::intptr_t file, const void* data, std::size_t size, std::uint64_t offset) {
    return WriteLoop(file, data, size, &offset);
}

int CreateFolders(const std::filesystem::path& folder) {
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(folder, ec);
    if (ec)
        return ENOENT;
    const std::wstring wide = LongPath(full);
    if (IsFolder(wide))
        return 0;
    // The root of a drive or a share is there or not: it cannot be made.
    if (const std::filesystem::path parent = full.parent_path();
        full.has_relative_path() && parent != full) {
        if (const int error = CreateFolders(parent); error != 0)
            return error;
    }
    if (CreateDirectoryW(wide.c_str(), nullptr) || IsFolder(wide))
        return 0;
    return LastFileError();
}
