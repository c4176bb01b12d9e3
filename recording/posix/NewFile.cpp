#include "recording/NewFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "os/FileWrite.h"

int WriteNewFile(const std::filesystem::path& target, std::string_view bytes) {
    const int fd = open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno;
    int error = WriteAll(fd, bytes.data(), bytes.size());
    if (error == 0 && fdatasync(fd) != 0)
        error = errno;
    if (close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0)
        unlink(target.c_str());
    return error;
}

// A file size limit (ulimit -f) would otherwise end the program at the write that crosses it,
// held records and all; ignored, the write fails with EFBIG like a full disk.
void LetFileSizeLimitFailWrites() {
    std::signal(SIGXFSZ, SIG_IGN);
}
