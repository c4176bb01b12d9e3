#include "os/FileWrite.h"

#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace {

// write or pwrite, again after an interruption, until every byte is written.
template <typename Call>
int WriteLoop(const void* data, std::size_t size, Call call) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = call(bytes + done, size - done, done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

}  // namespace

int WriteAll(std::intptr_t file, const void* data, std::size_t size) {
    const int fd = static_cast<int>(file);
    return WriteLoop(data, size, [fd](const unsigned char* from, std::size_t n, std::size_t) {
        return ::write(fd, from, n);
    });
}

int WriteAllAt(std::intptr_t file, const void* data, std::size_t size, std::uint64_t offset) {
    const int fd = static_cast<int>(file);
    return WriteLoop(data, size,
                     [fd, offset](const unsigned char* from, std::size_t n, std::size_t done) {
                         return ::pwrite(fd, from, n, static_cast<off_t>(offset + done));
                     });
}

int CreateFolders(const std::filesystem::path& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return ec.value();
}
