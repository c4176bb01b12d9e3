#include "recording/NewFile.h"

#include <windows.h>

#include "os/FileWrite.h"
#include "os/win32/FileError.h"
#include "os/win32/LongPath.h"

int WriteNewFile(const std::filesystem::path& target, std::string_view bytes) {
    const std::wstring name = LongPath(target);
    const HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return LastFileError();
    int error = WriteAll(reinterpret_cast<std::intptr_t>(h), bytes.data(), bytes.size());
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
