#include "tests/os/OpenFile.h"

#include <windows.h>

OpenFile::OpenFile(const std::filesystem::path& path, bool write) {
    const HANDLE h =
        CreateFileW(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ, nullptr,
                    write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    file = h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(h);
}

OpenFile::~OpenFile() {
    if (file != -1)
        CloseHandle(reinterpret_cast<HANDLE>(file));
}
