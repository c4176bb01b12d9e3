#include "trend/RegularFile.h"

#include <windows.h>

#include <algorithm>
#include <filesystem>

#include "os/PathText.h"
#include "os/win32/DeviceName.h"
#include "os/win32/FileError.h"
#include "os/win32/LongPath.h"
#include "text/FileErrorText.h"
#include "trend/RegularFileHandle.h"

namespace {

std::string CannotOpen(int error) {
    return "Nie można otworzyć pliku: " + DescribeReadError(error) + ".";
}

}  // namespace

CRegularFile::Handle::~Handle() {
    if (file != -1)
        CloseHandle(reinterpret_cast<HANDLE>(file));
}

bool CRegularFile::Open(const std::string& path, std::string& error) {
    handle = std::make_unique<Handle>();
    const std::filesystem::path name = PathFromUtf8(path);
    if (NamesDevice(name)) {
        error = CannotOpen(kErrorNotRegularFile);
        return false;
    }
    const std::wstring wide = LongPath(name);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        error = CannotOpen(LastFileError());
        return false;
    }
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
        error = CannotOpen(kErrorNotRegularFile);
        return false;
    }
    // Shared for writing and deleting: the recording program keeps the file open for writing
    // (and lets it be rotated) while it is read here.
    const HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = CannotOpen(LastFileError());
        return false;
    }
    handle->file = reinterpret_cast<std::intptr_t>(h);
    LARGE_INTEGER size{};
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileSizeEx(h, &size)) {
        error = CannotOpen(kErrorNotRegularFile);
        handle = std::make_unique<Handle>();
        return false;
    }
    handle->size = static_cast<uint64_t>(size.QuadPart);
    return true;
}

int64_t ReadSome(std::intptr_t file, char* buffer, std::size_t n, int& error) {
    const auto want = static_cast<DWORD>(std::min<std::size_t>(n, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(file), buffer, want, &got, nullptr)) {
        error = LastFileError();
        return -1;
    }
    return got;
}

bool SeekTo(std::intptr_t file, uint64_t offset, int& error) {
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(reinterpret_cast<HANDLE>(file), to, nullptr, FILE_BEGIN)) {
        error = LastFileError();
        return false;
    }
    return true;
}
