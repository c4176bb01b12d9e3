#include "recording/RecordingFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>

#include "recording/format/BinaryRecordDecoder.h"
#include "text/FileErrorText.h"

namespace {

constexpr int kOpenFlags = O_RDWR | O_CLOEXEC | O_NONBLOCK;

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

ssize_t WriteOnce(int fd, std::string_view bytes) {
    ssize_t n;
    do {
        n = write(fd, bytes.data(), bytes.size());
    } while (n < 0 && errno == EINTR);
    return n;
}

bool ReadAt(int fd, std::string& buffer, off_t offset) {
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t n = pread(fd, buffer.data() + done, buffer.size() - done,
                                offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string Folder(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The device of the file system the folder's mount point sits on, found by walking up from the
// folder until the device changes; none when the folder is on the root's file system.
std::optional<dev_t> HostDevice(const std::string& folder, dev_t device) {
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

}  // namespace

struct CRecordingFile::State {
    State(RecordingFileKind k, std::size_t limit) : kind(k), queueLimit(limit) {}

    RecordingFileKind kind;
    std::size_t queueLimit;
    std::string path;  // empty while closed
    int fd = -1;       // -1 while closed or while the path could not be opened anew
    dev_t device = 0;
    ino_t inode = 0;
    // The file system under the mount point the file's medium is mounted on, when there is one:
    // the path's folder lands there once the medium is unmounted.
    std::optional<dev_t> hostDevice;
    bool mediumAway = false;
    std::deque<RecordBytes> queue;
    std::size_t dropped = 0;
    int lastError = 0;                // non-zero exactly while a failure spell goes on
    bool headerDue = false;           // the file was created anew: its first row needs a header
    std::optional<off_t> pendingCut;  // a cut back after a short write that itself failed

    int OpenLocked(bool& existed);
    void CloseFd();
    int Prepare();
    int PrepareText();
    int PrepareBinary();
    bool NamesOpenFile() const;
    enum class Place { SameFileSystem, MountPoint, OtherFileSystem, Unreachable };
    Place FolderPlace() const;
    bool MayOpen(bool& named) const;
    int OpenAgain(AppendOutcome& out);
    int EnsurePathNamesFile(AppendOutcome& out);
    int WriteRecord(const RecordBytes& record, bool& inFile);
    int CutBack(off_t size, std::string_view rest);
    int WriteQueue();
    void TrimQueue();
    void UpdateSpell(int error, AppendOutcome& out);
};

// ENOENT from a create in a folder that exists: the folder takes no files (/proc, /sys).
static int CreateError(const std::string& path, int error) {
    struct stat st {};
    if (error == ENOENT && lstat(path.c_str(), &st) != 0 && stat(Folder(path).c_str(), &st) == 0 &&
        S_ISDIR(st.st_mode))
        return kErrorCannotCreateFile;
    return error;
}

int CRecordingFile::State::OpenLocked(bool& existed) {
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
    fd = f;
    device = st.st_dev;
    inode = st.st_ino;
    hostDevice = HostDevice(Folder(path), device);
    pendingCut.reset();
    return 0;
}

void CRecordingFile::State::CloseFd() {
    if (fd >= 0)
        close(fd);
    fd = -1;
}

int CRecordingFile::State::Prepare() {
    return kind == RecordingFileKind::Text ? PrepareText() : PrepareBinary();
}

// A line torn by a crash must not merge with the next row.
int CRecordingFile::State::PrepareText() {
    struct stat st {};
    if (fstat(fd, &st) != 0)
        return errno;
    if (st.st_size == 0)
        return 0;
    std::string last(1, '\0');
    if (!ReadAt(fd, last, st.st_size - 1))
        return errno != 0 ? errno : EIO;
    if (last[0] == '\n')
        return 0;
    bool inFile = false;
    return WriteRecord({last[0] == '\r' ? "\n" : "\r\n", {}}, inFile);
}

// Cuts a record torn by a crash, so that a reader can go through the file record by record.
// A file whose end does not look like our records is left as it is.
int CRecordingFile::State::PrepareBinary() {
    struct stat st {};
    if (fstat(fd, &st) != 0)
        return errno;
    const auto size = static_cast<std::size_t>(st.st_size);
    std::string tail(std::min(size, kBinaryTailWindow), '\0');
    if (!ReadAt(fd, tail, static_cast<off_t>(size - tail.size())))
        return errno != 0 ? errno : EIO;
    const BinaryTail check = CheckBinaryTail(tail, tail.size() == size);
    if (check.state != BinaryTailState::Torn)
        return 0;
    if (ftruncate(fd, static_cast<off_t>(size - check.tornBytes)) != 0 || fdatasync(fd) != 0)
        return errno;
    return 0;
}

bool CRecordingFile::State::NamesOpenFile() const {
    struct stat st {};
    return fd >= 0 && stat(path.c_str(), &st) == 0 && st.st_dev == device && st.st_ino == inode;
}

CRecordingFile::State::Place CRecordingFile::State::FolderPlace() const {
    // A folder missing on the file's own file system was removed there (creating fails as it
    // should); missing on the one beneath, it was on the medium.
    std::string folder = Folder(path);
    struct stat st {};
    while (stat(folder.c_str(), &st) != 0) {
        if ((errno != ENOENT && errno != ENOTDIR) || folder == "/" || folder == ".")
            return Place::Unreachable;
        folder = Folder(folder);
    }
    if (st.st_dev == device)
        return Place::SameFileSystem;
    if (hostDevice && st.st_dev == *hostDevice)
        return Place::MountPoint;
    return Place::OtherFileSystem;
}

// A file is created only where the file was: a new one in a bare mount point would hide the
// rows on the system disk. Elsewhere only an existing file is taken up (the medium came back
// under another device number).
bool CRecordingFile::State::MayOpen(bool& named) const {
    struct stat st {};
    named = stat(path.c_str(), &st) == 0;
    switch (FolderPlace()) {
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

int CRecordingFile::State::OpenAgain(AppendOutcome& out) {
    CloseFd();
    bool existed = false;
    if (const int error = OpenLocked(existed))
        return error;
    if (const int error = Prepare()) {
        CloseFd();
        return error;
    }
    headerDue = true;
    out.reopened = true;
    return 0;
}

// A file deleted by hand or renamed away by a rotation tool would swallow our rows unseen:
// write to whatever the path names now. A medium that went away is another matter: the open
// file still takes the rows (the kernel keeps a lazily unmounted file system for it) until it
// fails like a full disk, and no file is made in its place.
int CRecordingFile::State::EnsurePathNamesFile(AppendOutcome& out) {
    const bool wasAway = mediumAway;
    if (NamesOpenFile()) {
        mediumAway = false;
        out.mediumBack = wasAway;
        // A stick plugged back may keep its numbers while the descriptor that failed while it
        // was away stays dead: open the file afresh.
        if (wasAway && lastError != 0)
            return OpenAgain(out);
        return 0;
    }
    bool named = false;
    if (MayOpen(named)) {
        const int error = OpenAgain(out);
        if (error == 0) {
            mediumAway = false;
            out.mediumBack = wasAway;
        }
        return error;
    }
    mediumAway = true;
    out.mediumAway = !wasAway;
    return fd >= 0 ? 0 : ENODEV;
}

int CRecordingFile::State::WriteRecord(const RecordBytes& record, bool& inFile) {
    inFile = false;
    if (pendingCut) {
        if (ftruncate(fd, *pendingCut) != 0)
            return errno;
        pendingCut.reset();
    }
    std::string_view bytes = record.bytes;
    std::string withHeader;
    if (headerDue && !record.header.empty() && !bytes.starts_with(record.header)) {
        withHeader = record.header + record.bytes;
        bytes = withHeader;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0)
        return errno;
    const ssize_t n = WriteOnce(fd, bytes);
    if (n < 0)
        return errno;
    if (static_cast<std::size_t>(n) < bytes.size())
        return CutBack(st.st_size, bytes.substr(static_cast<std::size_t>(n)));
    inFile = true;
    if (!record.header.empty())
        headerDue = false;
    if (fdatasync(fd) != 0)
        return errno;
    return 0;
}

// A short write leaves part of a record: cut the file back so it holds whole records only.
int CRecordingFile::State::CutBack(off_t size, std::string_view rest) {
    // The short write says nothing about why; writing the rest does.
    int reason = ENOSPC;
    if (WriteOnce(fd, rest) < 0)
        reason = errno;
    if (ftruncate(fd, size) != 0)
        pendingCut = size;
    return reason;
}

int CRecordingFile::State::WriteQueue() {
    while (!queue.empty()) {
        bool inFile = false;
        const int error = WriteRecord(queue.front(), inFile);
        // A record in the file stays there even when the sync failed: never write it twice.
        if (inFile)
            queue.pop_front();
        if (error != 0)
            return error;
    }
    return 0;
}

void CRecordingFile::State::TrimQueue() {
    while (queue.size() > queueLimit) {
        queue.pop_front();
        ++dropped;
    }
}

void CRecordingFile::State::UpdateSpell(int error, AppendOutcome& out) {
    out.error = error;
    out.spellStarted = error != 0 && lastError == 0;
    out.spellEnded = error == 0 && lastError != 0;
    lastError = error;
}

CRecordingFile::CRecordingFile(RecordingFileKind kind, std::size_t queueLimit)
    : state(std::make_unique<State>(kind, queueLimit)) {}

CRecordingFile::~CRecordingFile() {
    Close();
}

OpenOutcome CRecordingFile::Open(const std::string& path) {
    Close();
    OpenOutcome out;
    state->path = path;
    out.error = state->OpenLocked(out.existed);
    if (out.error != 0)
        state->path.clear();
    return out;
}

int CRecordingFile::Truncate() {
    if (state->fd < 0)
        return EBADF;
    if (ftruncate(state->fd, 0) != 0)
        return errno;
    state->pendingCut.reset();
    return 0;
}

int CRecordingFile::PrepareAppend() {
    if (state->fd < 0)
        return EBADF;
    return state->Prepare();
}

std::deque<RecordBytes> CRecordingFile::Close() {
    State& s = *state;
    // Records held back by a failure get one last chance.
    if (!s.queue.empty() && !s.path.empty()) {
        AppendOutcome ignored;
        if (s.EnsurePathNamesFile(ignored) == 0)
            s.WriteQueue();
    }
    std::deque<RecordBytes> held;
    held.swap(s.queue);
    s.CloseFd();
    s.path.clear();
    s.dropped = 0;
    s.lastError = 0;
    s.mediumAway = false;
    s.device = 0;
    s.hostDevice.reset();
    s.headerDue = false;
    s.pendingCut.reset();
    return held;
}

int CRecordingFile::Reopen() {
    State& s = *state;
    if (s.path.empty())
        return EBADF;
    bool named = false;
    if (!s.MayOpen(named)) {
        // The medium is away: the open file goes on taking the rows.
        s.mediumAway = true;
        return s.fd >= 0 ? 0 : ENODEV;
    }
    AppendOutcome ignored;
    const int error = s.OpenAgain(ignored);
    if (error == 0)
        s.mediumAway = false;
    return error;
}

bool CRecordingFile::IsOpen() const {
    return !state->path.empty();
}

const std::string& CRecordingFile::Path() const {
    return state->path;
}

AppendOutcome CRecordingFile::Append(RecordBytes record) {
    AppendOutcome out;
    State& s = *state;
    if (s.path.empty()) {
        out.error = EBADF;
        return out;
    }
    s.queue.push_back(std::move(record));
    int error = s.EnsurePathNamesFile(out);
    if (error == 0)
        error = s.WriteQueue();
    out.written = s.queue.empty();
    s.TrimQueue();
    s.UpdateSpell(error, out);
    return out;
}

bool CRecordingFile::MediumAway() const {
    return state->mediumAway;
}

bool CRecordingFile::IsFileAt(const std::string& path) const {
    struct stat st {};
    return state->fd >= 0 && stat(path.c_str(), &st) == 0 && st.st_dev == state->device &&
           st.st_ino == state->inode;
}

bool CRecordingFile::Failing() const {
    return state->lastError != 0;
}

int CRecordingFile::LastError() const {
    return state->lastError;
}

std::size_t CRecordingFile::QueuedRecords() const {
    return state->queue.size();
}

std::size_t CRecordingFile::DroppedRecords() const {
    return state->dropped;
}
