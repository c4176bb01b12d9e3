#include "store/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <system_error>

#include "os/FileWrite.h"
#include "store/IniFileAccess.h"

namespace fs = std::filesystem;

namespace inifile {
namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() { Close(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd_; }
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

// Creates a new file beside target, readable and writable as a fresh file would be (umask).
int CreateTempBeside(const fs::path& target, fs::path& tempPath) {
    static constexpr char kChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device seed;
    std::minstd_rand random(seed());
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kChars - 2);
    // A shortened stem keeps the name within NAME_MAX for long file names.
    const std::string stem = target.filename().string().substr(0, 200);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = stem + ".tmp-";
        for (int i = 0; i < 6; ++i) {
            name += kChars[pick(random)];
        }
        tempPath = target.parent_path() / name;
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

void SyncFolder(const fs::path& folder) {
    FileDescriptor dir(
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0) {
        ::fsync(dir.Get());
    }
}

// Writes content to a new file and renames it over target; target stays as it was on failure.
// FolderRefused: the folder took no new file, or the rename failed.
Replaced ReplaceFile(const fs::path& target, const struct stat* old, std::string_view content,
                     int& error) {
    fs::path tempPath;
    FileDescriptor file(CreateTempBeside(target, tempPath));
    if (file.Get() < 0) {
        error = errno;
        return Replaced::FolderRefused;
    }
    const int writeError = WriteAll(file.Get(), content.data(), content.size());
    bool ok = writeError == 0;
    if (ok && old != nullptr) {
        if (old->st_uid != ::geteuid() || old->st_gid != ::getegid()) {
            // Only a privileged process may give the file back; others keep their own.
            (void)!::fchown(file.Get(), old->st_uid, old->st_gid);
        }
        ok = ::fchmod(file.Get(), old->st_mode & 07777) == 0;
    }
    ok = ok && ::fsync(file.Get()) == 0;
    ok = file.Close() && ok;
    if (!ok) {
        error = writeError != 0 ? writeError : errno;
        ::unlink(tempPath.c_str());
        return Replaced::WriteFailed;
    }
    if (::rename(tempPath.c_str(), target.c_str()) != 0) {
        error = errno;
        ::unlink(tempPath.c_str());
        return Replaced::FolderRefused;
    }
    SyncFolder(target.parent_path());
    return Replaced::Done;
}

}  // namespace

int OpenForRewrite(const fs::path& target, std::intptr_t& file) {
    const int fd = ::open(target.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        const int error = errno;
        if (fd >= 0) {
            ::close(fd);
        }
        return error;
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return EINVAL;
    }
    file = fd;
    return 0;
}

int Reserve(std::intptr_t file, std::uint64_t size) {
    if (size > 0 && ::fallocate(static_cast<int>(file), 0, 0, static_cast<off_t>(size)) != 0 &&
        errno != EOPNOTSUPP) {
        return errno;
    }
    return 0;
}

int EndAt(std::intptr_t file, std::uint64_t size) {
    const int fd = static_cast<int>(file);
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0 || ::fsync(fd) != 0) {
        return errno;
    }
    return 0;
}

int CloseFile(std::intptr_t file) {
    return ::close(static_cast<int>(file)) == 0 ? 0 : errno;
}

std::int64_t ReadSome(std::intptr_t file, char* buffer, std::size_t n) {
    ssize_t got;
    do {
        got = ::read(static_cast<int>(file), buffer, n);
    } while (got < 0 && errno == EINTR);
    return got;
}

IniOpenResult Read(const fs::path& path, bool create, std::uint64_t maxSize, std::string& text) {
    text.clear();
    if (path.empty()) {
        return IniOpenResult::CannotOpen;
    }
    // Judged before opening: opening a device can have effects of its own (a serial port raises
    // its modem lines), and a pipe would wait for a writer.
    struct stat info {};
    const bool exists = ::stat(path.c_str(), &info) == 0;
    if (exists) {
        if (!S_ISREG(info.st_mode)) {
            return IniOpenResult::NotRegularFile;
        }
        if (static_cast<std::uint64_t>(info.st_size) > maxSize) {
            return IniOpenResult::TooLarge;
        }
    } else if (errno != ENOENT || !create) {
        return IniOpenResult::CannotOpen;
    }
    // The path may have changed since: whatever stands there now must not block the open.
    const int flags = O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC | (create ? O_CREAT : 0);
    FileDescriptor file(::open(path.c_str(), flags, 0666));
    if (file.Get() < 0 || ::fstat(file.Get(), &info) != 0) {
        return exists ? IniOpenResult::Unreadable : IniOpenResult::CannotOpen;
    }
    if (!S_ISREG(info.st_mode)) {
        return IniOpenResult::NotRegularFile;
    }
    return ReadOpened(file.Get(), static_cast<std::uint64_t>(info.st_size), maxSize, text);
}

IniSaveResult Write(const fs::path& path, std::string_view content, int& error) {
    error = 0;
    // A symbolic link stays a link: the file it points to is the one replaced. A file that
    // has gone meanwhile is simply written anew.
    fs::path target = path;
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        std::error_code ec;
        target = fs::weakly_canonical(path, ec);
        if (ec) {
            error = ec.value();
            return IniSaveResult::Failed;
        }
    }
    const bool hadOld = ::stat(target.c_str(), &info) == 0;
    if (hadOld && !S_ISREG(info.st_mode)) {
        error = EINVAL;  // replaced by something else meanwhile: not ours to overwrite
        return IniSaveResult::Failed;
    }
    // A file the user protected stays as it is, even where the folder would take a new one.
    if (hadOld && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0 &&
        (errno == EACCES || errno == EPERM || errno == EROFS)) {
        error = errno;
        return IniSaveResult::ReadOnly;
    }
    const Replaced replaced = ReplaceFile(target, hadOld ? &info : nullptr, content, error);
    return Settle(replaced, hadOld, target, content, error);
}

}  // namespace inifile
