#pragma once
// An open file as the write loop takes it: a descriptor, or a Windows HANDLE as an integer.
#include <cstdint>
#include <filesystem>

class OpenFile {
public:
    // Created empty for writing, or an existing file opened for reading only.
    OpenFile(const std::filesystem::path& path, bool write);
    ~OpenFile();
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    bool Valid() const { return file != -1; }
    std::intptr_t Get() const { return file; }

private:
    std::intptr_t file = -1;
};
