#include "trend/RegularFile.h"

#include "trend/RegularFileHandle.h"

CRegularFile::CRegularFile() : handle(std::make_unique<Handle>()) {}

CRegularFile::~CRegularFile() = default;

uint64_t CRegularFile::Size() const {
    return handle->size;
}

int64_t CRegularFile::Read(char* buffer, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        const int64_t got = ReadSome(handle->file, buffer + done, n - done, handle->error);
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<int64_t>(done);
}

int64_t CRegularFile::ReadAt(uint64_t offset, char* buffer, std::size_t n) {
    if (!SeekTo(handle->file, offset, handle->error))
        return -1;
    return Read(buffer, n);
}

int CRegularFile::LastError() const {
    return handle->error;
}
