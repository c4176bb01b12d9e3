#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "recording/RecordingFileSystem.h"
#include "text/FileErrorText.h"

namespace recfs {

namespace {

constexpr int kOpenFlags = O_RDWR | O_CLOEXEC | O_NONBLOCK;

int Fd(File file) {
    return static_cast<int>(file);
}

// Creates the file when the path names nothing, so that `existed` is told without a race;
// a dangling link is followed and its target created, as a plain create would.
int OpenOrCreate(const std::string& path, bool& existed) {
    existed = false;
    int fd = open(path.c_str(), kOpenFlags | O_CREAT | O_EXCL, 0666);
    if (fd >= 0 || errno != EEXIST)
        return fd;
    existed = true;
    fd = open(path.c_str(), kOpenFlags);
    if (fd >= 0 || errno != ENOENT)
        return fd;
    existed = false;
    return open(path.c_str(), kOpenFlags | O_CREAT, 0666);
}

std::string Folder(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The device of the file system the folder's mount point sits on, found by walking up from the
// folder until the device changes; none when the folder is on the root's file system.
std::optional<std::uint64_t> HostDevice(const std::string& folder, dev_t device) {
    char* real = realpath(folder.c_str(), nullptr);
    if (real == nullptr)
        return std::nullopt;
    std::string at = real;
    free(real);
    while (at != "/") {
        at = Folder(at);
        struct stat st {};
        if (stat(at.c_str(), &st) != 0)
            return std::nullopt;
        if (st.st_dev != device)
            return st.st_dev;
    }
    return std::nullopt;
}

// ENOENT from a create in a folder that exists: the folder takes no files (/proc, /sys).
int CreateError(const std::string& path, int error) {
    struct stat st {};
    if (error == ENOENT && lstat(path.c_str(), &st) != 0 && stat(Folder(path).c_str(), &st) == 0 &&
        S_ISDIR(st.st_mode))
        return kErrorCannotCreateFile;
    return error;
}

enum class Place { SameFileSystem, MountPoint, OtherFileSystem, Unreachable };

Place FolderPlace(const std::string& path, const Identity& id) {
    // A folder missing on the file's own file system was removed there (creating fails as it
    // should); missing on the one beneath, it was on the medium.
    std::string folder = Folder(path);
    struct stat st {};
    while (stat(folder.c_str(), &st) != 0) {
        if ((errno != ENOENT && errno != ENOTDIR) || folder == "/" || folder == ".")
            return Place::Unreachable;
        folder = Folder(folder);
    }
    if (st.st_dev == id.volume)
        return Place::SameFileSystem;
    // Still the very folder the file was opened in: whatever devices the file system reports.
    if (id.folder && folder == Folder(path) && id.folder->first == st.st_dev &&
        id.folder->second == st.st_ino)
        return Place::SameFileSystem;
    if (id.hostVolume && st.st_dev == *id.hostVolume)
        return Place::MountPoint;
    return Place::OtherFileSystem;
}

}  // namespace

int OpenLocked(const std::string& path, bool& existed, File& file, Identity& id) {
    const int f = OpenOrCreate(path, existed);
    if (f < 0)
        return CreateError(path, errno);
    auto fail = [f](int error) {
        close(f);
        return error;
    };
    struct stat st {};
    if (fstat(f, &st) != 0)
        return fail(errno);
    if (!S_ISREG(st.st_mode))
        return fail(kErrorNotRegularFile);
    // Non-blocking was only there so that a named pipe could not hang the open.
    const int flags = fcntl(f, F_GETFL);
    if (flags < 0 || fcntl(f, F_SETFL, (flags & ~O_NONBLOCK) | O_APPEND) != 0)
        return fail(errno);
    // Another program recording into the same file would interleave rows with ours.
    if (flock(f, LOCK_EX | LOCK_NB) != 0)
        return fail(errno);
    file = f;
    id = {st.st_dev, st.st_ino, HostDevice(Folder(path), st.st_dev), std::nullopt};
    if (struct stat folder{}; stat(Folder(path).c_str(), &folder) == 0)
        id.folder = std::make_pair(std::uint64_t{folder.st_dev}, std::uint64_t{folder.st_ino});
    return 0;
}

void Close(File file) {
    close(Fd(file));
}

std::int64_t SizeOf(File file, int& error) {
    struct stat st {};
    if (fstat(Fd(file), &st) != 0) {
        error = errno;
        return -1;
    }
    error = 0;
    return st.st_size;
}

int ReadAt(File file, std::string& buffer, std::int64_t offset) {
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t n = pread(Fd(file), buffer.data() + done, buffer.size() - done,
                                static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return errno != 0 ? errno : EIO;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

std::int64_t WriteAtEnd(File file, std::string_view bytes, int& error) {
    ssize_t n;
    do {
        n = write(Fd(file), bytes.data(), bytes.size());
    } while (n < 0 && errno == EINTR);
    error = n < 0 ? errno : 0;
    return n;
}

// A failed write(2) wrote nothing.
void UndoFailedWrite(File, std::int64_t) {}

int SetSize(File file, std::int64_t size) {
    return ftruncate(Fd(file), static_cast<off_t>(size)) != 0 ? errno : 0;
}

int Sync(File file) {
    return fdatasync(Fd(file)) != 0 ? errno : 0;
}

bool IsFileAt(const std::string& path, const Identity& id) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && st.st_dev == id.volume && st.st_ino == id.index;
}

// A name goes with the file's last link here, not with its last descriptor.
bool RemovalPending(File) {
    return false;
}

// A new file in a bare mount point would hide the rows on the system disk. On another file
// system an existing file is taken up (the medium came back under another device number).
bool MayOpen(const std::string& path, const Identity& id) {
    struct stat st {};
    const bool named = stat(path.c_str(), &st) == 0;
    switch (FolderPlace(path, id)) {
        case Place::SameFileSystem:
            return true;
        case Place::OtherFileSystem:
            return named && S_ISREG(st.st_mode);
        case Place::MountPoint:
        case Place::Unreachable:
            break;
    }
    return false;
}

}  // namespace recfs
