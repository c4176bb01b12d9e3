#include "recording/NewFile.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>

#include "os/win32/FileError.h"
#include "os/win32/LongPath.h"

int WriteNewFile(const std::filesystem::path& target, std::string_view bytes) {
    const std::wstring name = LongPath(target);
    const HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return LastFileError();
    int error = 0;
    while (error == 0 && !bytes.empty()) {
        DWORD written = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        if (!WriteFile(h, bytes.data(), chunk, &written, nullptr))
            error = LastFileError();
        else if (written == 0)
            error = ENOSPC;
        bytes.remove_prefix(written);
    }
    if (error == 0 && !FlushFileBuffers(h))
        error = LastFileError();
    if (!CloseHandle(h) && error == 0)
        error = LastFileError();
    if (error != 0)
        DeleteFileW(name.c_str());
    return error;
}

// Windows has no file size limit signal: a write beyond what the file system takes fails.
void LetFileSizeLimitFailWrites() {}
