#include "trend/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "text/FileErrorText.h"

struct CRegularFile::Handle {
    int fd = -1;
    uint64_t size = 0;
    int error = 0;
    ~Handle() {
        if (fd >= 0)
            ::close(fd);
    }
};

CRegularFile::CRegularFile() : handle(std::make_unique<Handle>()) {}

CRegularFile::~CRegularFile() = default;

bool CRegularFile::Open(const std::string& path, std::string& error) {
    handle = std::make_unique<Handle>();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        error = "Nie można otworzyć pliku: " + DescribeFileError(errno) + ".";
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "Nie można otworzyć pliku: " + DescribeFileError(kErrorNotRegularFile) + ".";
        return false;
    }
    // O_NONBLOCK: should the path be swapped for a pipe after the check, open does not hang.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        error = "Nie można otworzyć pliku: " + DescribeFileError(errno) + ".";
        return false;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = "Nie można otworzyć pliku: " + DescribeFileError(kErrorNotRegularFile) + ".";
        return false;
    }
    ::fcntl(fd, F_SETFL, 0);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    handle->fd = fd;
    handle->size = static_cast<uint64_t>(st.st_size);
    return true;
}

uint64_t CRegularFile::Size() const {
    return handle->size;
}

int64_t CRegularFile::Read(char* buffer, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        const ssize_t r = ::read(handle->fd, buffer + done, n - done);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0) {
            handle->error = errno;
            return -1;
        }
        if (r == 0)
            break;
        done += static_cast<std::size_t>(r);
    }
    return static_cast<int64_t>(done);
}

int CRegularFile::LastError() const {
    return handle->error;
}
