#include "trend/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "text/FileErrorText.h"
#include "trend/RegularFileHandle.h"

CRegularFile::Handle::~Handle() {
    if (file >= 0)
        ::close(static_cast<int>(file));
}

bool CRegularFile::Open(const std::string& path, std::string& error) {
    handle = std::make_unique<Handle>();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        error = "Nie można otworzyć pliku: " + DescribeReadError(errno) + ".";
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "Nie można otworzyć pliku: " + DescribeReadError(kErrorNotRegularFile) + ".";
        return false;
    }
    // O_NONBLOCK: should the path be swapped for a pipe after the check, open does not hang.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        error = "Nie można otworzyć pliku: " + DescribeReadError(errno) + ".";
        return false;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = "Nie można otworzyć pliku: " + DescribeReadError(kErrorNotRegularFile) + ".";
        return false;
    }
    ::fcntl(fd, F_SETFL, 0);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    handle->file = fd;
    handle->size = static_cast<uint64_t>(st.st_size);
    return true;
}

int64_t ReadSome(std::intptr_t file, char* buffer, std::size_t n, int& error) {
    ssize_t r;
    do {
        r = ::read(static_cast<int>(file), buffer, n);
    } while (r < 0 && errno == EINTR);
    if (r < 0)
        error = errno;
    return r;
}

bool SeekTo(std::intptr_t file, uint64_t offset, int& error) {
    if (::lseek(static_cast<int>(file), static_cast<off_t>(offset), SEEK_SET) < 0) {
        error = errno;
        return false;
    }
    return true;
}
