#include "tests/os/OpenFile.h"

#include <fcntl.h>
#include <unistd.h>

OpenFile::OpenFile(const std::filesystem::path& path, bool write) {
    file = ::open(path.c_str(),
                  write ? O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC : O_RDONLY | O_CLOEXEC, 0666);
}

OpenFile::~OpenFile() {
    if (file != -1)
        ::close(static_cast<int>(file));
}
