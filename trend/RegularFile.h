#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// A recording file opened for reading. The file comes from the user's disk: the path must name a
// regular file before it is opened (a pipe could block, a device could act on being opened), and
// the file is opened so that a program recording into it goes on undisturbed.
class CRegularFile {
public:
    CRegularFile();
    ~CRegularFile();
    CRegularFile(const CRegularFile&) = delete;
    CRegularFile& operator=(const CRegularFile&) = delete;

    // Opens path (UTF-8) for sequential reading. False with a Polish error (UTF-8) on failure.
    bool Open(const std::string& path, std::string& error);
    // The size at opening.
    uint64_t Size() const;
    // Reads up to n bytes, fewer only at the end of the file; -1 on a read error, with
    // LastError() telling why (errno value or os/FileErrorCodes.h).
    int64_t Read(char* buffer, std::size_t n);
    // Reads from offset on, as Read does.
    int64_t ReadAt(uint64_t offset, char* buffer, std::size_t n);
    int LastError() const;

private:
    struct Handle;
    std::unique_ptr<Handle> handle;
};
