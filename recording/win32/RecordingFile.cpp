#include "recording/RecordingFile.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <optional>

#include "os/PathText.h"
#include "os/win32/DeviceName.h"
#include "os/win32/FileError.h"
#include "os/win32/WideText.h"
#include "recording/format/BinaryRecordDecoder.h"
#include "text/FileErrorText.h"

namespace {

// Shared for reading, as the recording files always were, and for deleting and renaming, so
// that a user or a rotation tool can move the file away: the identity check below notices it
// and opens the path anew. Writers are kept out by the share mode and by the lock.
constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_DELETE;

// The lock covers one byte far beyond any real file: Windows locks are mandatory, and one on the
// data would stop readers (the trend window) from reading the recording.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

struct FileId {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
    bool operator==(const FileId&) const = default;
};

std::optional<FileId> IdOf(HANDLE h) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info))
        return std::nullopt;
    return FileId{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

// What the path names, looked at without opening it for data (no share mode stands in the way,
// and a folder is looked at as well as a file).
struct PathInfo {
    FileId id;
    bool folder = false;
};

std::optional<PathInfo> Look(const std::string& path) {
    const HANDLE h = CreateFileW(WideFromUtf8(path).c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    if (!ok)
        return std::nullopt;
    return PathInfo{{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow},
                    (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0};
}

std::string Folder(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    if (slash == std::string::npos)
        return ".";
    // "C:\x" -> "C:\", "\x" -> "\"
    if (slash == 0 || (slash == 2 && path[1] == ':'))
        return path.substr(0, slash + 1);
    return path.substr(0, slash);
}

bool IsRoot(const std::string& folder) {
    return folder == "." || folder == "\\" || folder == "/" ||
           (folder.size() == 3 && folder[1] == ':') || (folder.size() == 2 && folder[1] == ':');
}

int64_t SizeOf(HANDLE h, int& error) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(h, &size)) {
        error = LastFileError();
        return -1;
    }
    error = 0;
    return size.QuadPart;
}

int SetSize(HANDLE h, int64_t size) {
    LARGE_INTEGER at{};
    at.QuadPart = size;
    if (!SetFilePointerEx(h, at, nullptr, FILE_BEGIN) || !SetEndOfFile(h))
        return LastFileError();
    return 0;
}

bool ReadAt(HANDLE h, std::string& buffer, int64_t offset) {
    std::size_t done = 0;
    while (done < buffer.size()) {
        OVERLAPPED at{};
        const auto from = static_cast<uint64_t>(offset) + done;
        at.Offset = static_cast<DWORD>(from);
        at.OffsetHigh = static_cast<DWORD>(from >> 32);
        DWORD got = 0;
        if (!ReadFile(h, buffer.data() + done, static_cast<DWORD>(buffer.size() - done), &got,
                      &at) ||
            got == 0)
            return false;
        done += got;
    }
    return true;
}

// One write call at the end of the file; the number of bytes written or -1 (error set).
int64_t WriteAtEnd(HANDLE h, std::string_view bytes, int& error) {
    LARGE_INTEGER zero{};
    DWORD written = 0;
    if (!SetFilePointerEx(h, zero, nullptr, FILE_END) ||
        !WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
        error = LastFileError();
        return -1;
    }
    error = 0;
    return written;
}

}  // namespace

struct CRecordingFile::State {
    State(RecordingFileKind k, std::size_t limit) : kind(k), queueLimit(limit) {}

    RecordingFileKind kind;
    std::size_t queueLimit;
    std::string path;                    // empty while closed
    HANDLE file = INVALID_HANDLE_VALUE;  // none while closed or while the path could not be opened
    FileId id;
    bool mediumAway = false;
    std::deque<RecordBytes> queue;
    std::size_t dropped = 0;
    int lastError = 0;                  // non-zero exactly while a failure spell goes on
    bool headerDue = false;             // the file was created anew: its first row needs a header
    std::optional<int64_t> pendingCut;  // a cut back after a short write that itself failed

    bool IsOpen() const { return file != INVALID_HANDLE_VALUE; }
    int OpenLocked(bool& existed);
    void CloseHandleIfOpen();
    int Prepare();
    int PrepareText();
    int PrepareBinary();
    bool NamesOpenFile() const;
    enum class Place { SameVolume, OtherVolume, Unreachable };
    Place FolderPlace() const;
    bool MayOpen() const;
    int OpenAgain(AppendOutcome& out);
    int EnsurePathNamesFile(AppendOutcome& out);
    int WriteRecord(const RecordBytes& record, bool& inFile);
    int CutBack(int64_t size, std::string_view rest);
    int WriteQueue();
    void TrimQueue();
    void UpdateSpell(int error, AppendOutcome& out);
};

int CRecordingFile::State::OpenLocked(bool& existed) {
    // Checked before opening: opening a device (COM1, a named pipe) can have effects of its own.
    if (const std::optional<PathInfo> there = Look(path); there && there->folder)
        return EISDIR;
    const std::wstring wide = WideFromUtf8(path);
    if (wide.empty())
        return ENOENT;
    if (NamesDevice(PathFromUtf8(path)))
        return kErrorNotRegularFile;
    const HANDLE h =
        CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, kShare, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return LastFileError();
    existed = GetLastError() == ERROR_ALREADY_EXISTS;
    auto fail = [h](int error) {
        CloseHandle(h);
        return error;
    };
    if (GetFileType(h) != FILE_TYPE_DISK)
        return fail(kErrorNotRegularFile);
    const std::optional<FileId> opened = IdOf(h);
    if (!opened)
        return fail(LastFileError());
    // Another program recording into the same file would interleave rows with ours.
    OVERLAPPED at{};
    at.OffsetHigh = kLockOffsetHigh;
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
        return fail(LastFileError());
    file = h;
    id = *opened;
    pendingCut.reset();
    return 0;
}

void CRecordingFile::State::CloseHandleIfOpen() {
    if (IsOpen())
        CloseHandle(file);  // the lock goes with the handle
    file = INVALID_HANDLE_VALUE;
}

int CRecordingFile::State::Prepare() {
    return kind == RecordingFileKind::Text ? PrepareText() : PrepareBinary();
}

// A line torn by a crash must not merge with the next row.
int CRecordingFile::State::PrepareText() {
    int error = 0;
    const int64_t size = SizeOf(file, error);
    if (size <= 0)
        return error;
    std::string last(1, '\0');
    if (!ReadAt(file, last, size - 1))
        return LastFileError() != 0 ? LastFileError() : EIO;
    if (last[0] == '\n')
        return 0;
    bool inFile = false;
    return WriteRecord({last[0] == '\r' ? "\n" : "\r\n", {}}, inFile);
}

// Cuts a record torn by a crash, so that a reader can go through the file record by record.
// A file whose end does not look like our records is left as it is.
int CRecordingFile::State::PrepareBinary() {
    int error = 0;
    const int64_t signedSize = SizeOf(file, error);
    if (signedSize < 0)
        return error;
    const auto size = static_cast<std::size_t>(signedSize);
    std::string tail(std::min(size, kBinaryTailWindow), '\0');
    if (!ReadAt(file, tail, static_cast<int64_t>(size - tail.size())))
        return LastFileError() != 0 ? LastFileError() : EIO;
    const BinaryTail check = CheckBinaryTail(tail, tail.size() == size);
    if (check.state != BinaryTailState::Torn)
        return 0;
    if (const int cut = SetSize(file, static_cast<int64_t>(size - check.tornBytes)))
        return cut;
    return FlushFileBuffers(file) ? 0 : LastFileError();
}

bool CRecordingFile::State::NamesOpenFile() const {
    if (!IsOpen())
        return false;
    // A file removed while open keeps its name until the last handle goes (unless the file
    // system removes names at once): ours must go for the path to take a new file.
    FILE_STANDARD_INFO standard{};
    if (GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard) &&
        standard.DeletePending)
        return false;
    const std::optional<PathInfo> there = Look(path);
    return there && !there->folder && there->id == id;
}

// A volume is known by its serial number: a medium that was taken out and put back, or one
// that came back under another drive letter's folder, is recognised by it.
CRecordingFile::State::Place CRecordingFile::State::FolderPlace() const {
    std::string folder = Folder(path);
    std::optional<PathInfo> there = Look(folder);
    while (!there) {
        const DWORD why = GetLastError();
        if ((why != ERROR_FILE_NOT_FOUND && why != ERROR_PATH_NOT_FOUND) || IsRoot(folder))
            return Place::Unreachable;
        folder = Folder(folder);
        there = Look(folder);
    }
    return there->id.volume == id.volume ? Place::SameVolume : Place::OtherVolume;
}

// A file is created only on the volume the file was on: a folder that now lies on another
// volume (a medium mounted in a folder and taken out) would hide the rows there. Elsewhere only
// an existing file is taken up.
bool CRecordingFile::State::MayOpen() const {
    switch (FolderPlace()) {
        case Place::SameVolume:
            return true;
        case Place::OtherVolume: {
            const std::optional<PathInfo> there = Look(path);
            return there && !there->folder;
        }
        case Place::Unreachable:
            break;
    }
    return false;
}

int CRecordingFile::State::OpenAgain(AppendOutcome& out) {
    CloseHandleIfOpen();
    bool existed = false;
    if (const int error = OpenLocked(existed))
        return error;
    if (const int error = Prepare()) {
        CloseHandleIfOpen();
        return error;
    }
    headerDue = true;
    out.reopened = true;
    return 0;
}

// A file deleted by hand or renamed away by a rotation tool would swallow our rows unseen:
// write to whatever the path names now. A medium that went away is another matter: the open
// file goes on failing like a full disk and no file is made in its place.
int CRecordingFile::State::EnsurePathNamesFile(AppendOutcome& out) {
    const bool wasAway = mediumAway;
    if (NamesOpenFile()) {
        mediumAway = false;
        out.mediumBack = wasAway;
        // A medium put back keeps its serial number while the handle that failed while it was
        // away stays dead: open the file afresh.
        if (wasAway && lastError != 0)
            return OpenAgain(out);
        return 0;
    }
    if (MayOpen()) {
        const int error = OpenAgain(out);
        if (error == 0) {
            mediumAway = false;
            out.mediumBack = wasAway;
        }
        return error;
    }
    mediumAway = true;
    out.mediumAway = !wasAway;
    return IsOpen() ? 0 : ENODEV;
}

int CRecordingFile::State::WriteRecord(const RecordBytes& record, bool& inFile) {
    inFile = false;
    if (pendingCut) {
        if (const int error = SetSize(file, *pendingCut))
            return error;
        pendingCut.reset();
    }
    std::string_view bytes = record.bytes;
    std::string withHeader;
    if (headerDue && !record.header.empty() && !bytes.starts_with(record.header)) {
        withHeader = record.header + record.bytes;
        bytes = withHeader;
    }
    int error = 0;
    const int64_t size = SizeOf(file, error);
    if (size < 0)
        return error;
    const int64_t n = WriteAtEnd(file, bytes, error);
    if (n < 0) {
        // A failed write may still have put part of the record in the file.
        SetSize(file, size);
        return error;
    }
    if (static_cast<std::size_t>(n) < bytes.size())
        return CutBack(size, bytes.substr(static_cast<std::size_t>(n)));
    inFile = true;
    if (!record.header.empty())
        headerDue = false;
    if (!FlushFileBuffers(file))
        return LastFileError();
    return 0;
}

// A short write leaves part of a record: cut the file back so it holds whole records only.
int CRecordingFile::State::CutBack(int64_t size, std::string_view rest) {
    // The short write says nothing about why; writing the rest does.
    int reason = ENOSPC;
    int error = 0;
    if (WriteAtEnd(file, rest, error) < 0)
        reason = error;
    if (SetSize(file, size) != 0)
        pendingCut = size;
    return reason;
}

int CRecordingFile::State::WriteQueue() {
    while (!queue.empty()) {
        bool inFile = false;
        const int error = WriteRecord(queue.front(), inFile);
        // A record in the file stays there even when the flush failed: never write it twice.
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
    if (!state->IsOpen())
        return EBADF;
    if (const int error = SetSize(state->file, 0))
        return error;
    state->pendingCut.reset();
    return 0;
}

int CRecordingFile::PrepareAppend() {
    if (!state->IsOpen())
        return EBADF;
    return state->Prepare();
}

std::deque<RecordBytes> CRecordingFile::Close() {
    State& s = *state;
    // Records held back by a failure get one last chance.
    if (!s.queue.empty() && !s.path.empty()) {
        AppendOutcome ignored;
        if (s.EnsurePathNamesFile(ignored) == 0 && s.IsOpen())
            s.WriteQueue();
    }
    std::deque<RecordBytes> held;
    held.swap(s.queue);
    s.CloseHandleIfOpen();
    s.path.clear();
    s.dropped = 0;
    s.lastError = 0;
    s.mediumAway = false;
    s.id = {};
    s.headerDue = false;
    s.pendingCut.reset();
    return held;
}

int CRecordingFile::Reopen() {
    State& s = *state;
    if (s.path.empty())
        return EBADF;
    if (!s.MayOpen()) {
        // The medium is away: the open file goes on taking the rows.
        s.mediumAway = true;
        return s.IsOpen() ? 0 : ENODEV;
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
    if (!state->IsOpen())
        return false;
    const std::optional<PathInfo> there = Look(path);
    return there && !there->folder && there->id == state->id;
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
