#pragma once
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

// Makes a file or folder unwritable for the length of a test, in a way that also holds for root
// (tests run as root in CI, where permission bits stop no write): root sets the immutable flag,
// other users take away the write permission. Active() is false where neither is possible (a
// file system without the flag, say); the test should then be skipped.
class WriteProtect {
public:
    explicit WriteProtect(std::filesystem::path path) : path_(std::move(path)) {
        struct stat info {};
        if (::stat(path_.c_str(), &info) != 0) {
            return;
        }
        if (::geteuid() == 0) {
            active_ = SetImmutable(true);
            immutable_ = active_;
        } else {
            mode_ = info.st_mode & 07777;
            active_ = ::chmod(path_.c_str(), mode_ & ~0222u) == 0;
        }
        if (active_ && !Holds()) {
            Undo();
        }
    }
    ~WriteProtect() { Undo(); }
    WriteProtect(const WriteProtect&) = delete;
    WriteProtect& operator=(const WriteProtect&) = delete;

    bool Active() const { return active_; }

private:
    bool SetImmutable(bool on) {
        const int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            return false;
        }
        int flags = 0;
        bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (ok) {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        return ok;
    }

    // The protection is real only if a write is refused (a file) or no file can be created
    // (a folder).
    bool Holds() const {
        if (!std::filesystem::is_directory(path_)) {
            return ::faccessat(AT_FDCWD, path_.c_str(), W_OK, AT_EACCESS) != 0;
        }
        const std::filesystem::path probe = path_ / "write-protect-probe";
        const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            return true;
        }
        ::close(fd);
        ::unlink(probe.c_str());
        return false;
    }

    void Undo() {
        if (active_) {
            if (immutable_) {
                SetImmutable(false);
            } else {
                ::chmod(path_.c_str(), mode_);
            }
        }
        active_ = false;
    }

    std::filesystem::path path_;
    bool active_ = false;
    bool immutable_ = false;
    mode_t mode_ = 0;
};
