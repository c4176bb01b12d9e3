#include <windows.h>

#include <cerrno>

#include "os/PathText.h"
#include "os/win32/DeviceName.h"
#include "os/win32/FileError.h"
#include "os/win32/LongPath.h"
#include "os/win32/WideText.h"
#include "recording/RecordingFileSystem.h"
#include "text/FileErrorText.h"

namespace recfs {

namespace {

// Shared for reading, as the recording files always were, and for deleting and renaming, so
// that a user or a rotation tool can move the file away: the identity check notices it and
// opens the path anew. Writers are kept out by the share mode and by the lock.
constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_DELETE;

// The lock covers one byte far beyond any real file: Windows locks are mandatory, and one on the
// data would stop readers (the trend window) from reading the recording.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

HANDLE Handle(File file) {
    return reinterpret_cast<HANDLE>(file);
}

Identity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return {info.dwVolumeSerialNumber,
            (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
            std::nullopt, std::nullopt};
}

bool SameFile(const Identity& a, const Identity& b) {
    return a.volume == b.volume && a.index == b.index;
}

// What the path names, looked at without opening it for data (no share mode stands in the way,
// and a folder is looked at as well as a file).
struct PathInfo {
    Identity id;
    bool folder = false;
};

std::optional<PathInfo> Look(const std::string& path) {
    const HANDLE h = CreateFileW(LongPath(PathFromUtf8(path)).c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    if (!ok)
        return std::nullopt;
    return PathInfo{IdentityOf(info), (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0};
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

// A volume is known by its serial number: a medium that was taken out and put back, or one
// that came back under another drive letter's folder, is recognised by it.
bool FolderOnVolume(const std::string& path, const Identity& id, bool& reachable) {
    std::string folder = Folder(path);
    std::optional<PathInfo> there = Look(folder);
    while (!there) {
        const DWORD why = GetLastError();
        if ((why != ERROR_FILE_NOT_FOUND && why != ERROR_PATH_NOT_FOUND) || IsRoot(folder)) {
            reachable = false;
            return false;
        }
        folder = Folder(folder);
        there = Look(folder);
    }
    reachable = true;
    return there->id.volume == id.volume;
}

// Why the file could not be opened for writing because of a sharing violation: another recording
// program (EWOULDBLOCK, known by the lock it holds) or any other program that holds it open.
int SharingViolationReason(const std::wstring& path) {
    const HANDLE h = CreateFileW(path.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return kErrorSharingViolation;  // not even shared for reading: not a recording program
    OVERLAPPED at{};
    at.OffsetHigh = kLockOffsetHigh;
    int reason = kErrorSharingViolation;
    if (LockFileEx(h, LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
        UnlockFileEx(h, 0, 1, 0, &at);
    else if (GetLastError() == ERROR_LOCK_VIOLATION)
        reason = EWOULDBLOCK;
    CloseHandle(h);
    return reason;
}

}  // namespace

int OpenLocked(const std::string& path, bool& existed, File& file, Identity& id) {
    // Checked before opening: opening a device (COM1, a named pipe) can have effects of its own.
    if (const std::optional<PathInfo> there = Look(path); there && there->folder)
        return EISDIR;
    const std::wstring wide = LongPath(PathFromUtf8(path));
    if (wide.empty())
        return ENOENT;
    if (NamesDevice(PathFromUtf8(path)))
        return kErrorNotRegularFile;
    const HANDLE h =
        CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, kShare, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_SHARING_VIOLATION)
            return SharingViolationReason(wide);
        return LastFileError();
    }
    existed = GetLastError() == ERROR_ALREADY_EXISTS;
    auto fail = [h](int error) {
        CloseHandle(h);
        return error;
    };
    if (GetFileType(h) != FILE_TYPE_DISK)
        return fail(kErrorNotRegularFile);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info))
        return fail(LastFileError());
    // Another program recording into the same file would interleave rows with ours.
    OVERLAPPED at{};
    at.OffsetHigh = kLockOffsetHigh;
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
        return fail(LastFileError());
    file = reinterpret_cast<File>(h);
    id = IdentityOf(info);
    return 0;
}

void Close(File file) {
    CloseHandle(Handle(file));
}

std::int64_t SizeOf(File file, int& error) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(Handle(file), &size)) {
        error = LastFileError();
        return -1;
    }
    error = 0;
    return size.QuadPart;
}

int ReadAt(File file, std::string& buffer, std::int64_t offset) {
    std::size_t done = 0;
    while (done < buffer.size()) {
        OVERLAPPED at{};
        const auto from = static_cast<std::uint64_t>(offset) + done;
        at.Offset = static_cast<DWORD>(from);
        at.OffsetHigh = static_cast<DWORD>(from >> 32);
        DWORD got = 0;
        if (!ReadFile(Handle(file), buffer.data() + done, static_cast<DWORD>(buffer.size() - done),
                      &got, &at) ||
            got == 0)
            return LastFileError() != 0 ? LastFileError() : EIO;
        done += got;
    }
    return 0;
}

std::int64_t WriteAtEnd(File file, std::string_view bytes, int& error) {
    LARGE_INTEGER zero{};
    DWORD written = 0;
    if (!SetFilePointerEx(Handle(file), zero, nullptr, FILE_END) ||
        !WriteFile(Handle(file), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                   nullptr)) {
        error = LastFileError();
        return -1;
    }
    error = 0;
    return written;
}

// A failed write may still have put part of the record in the file.
void UndoFailedWrite(File file, std::int64_t size) {
    SetSize(file, size);
}

int SetSize(File file, std::int64_t size) {
    LARGE_INTEGER at{};
    at.QuadPart = size;
    if (!SetFilePointerEx(Handle(file), at, nullptr, FILE_BEGIN) || !SetEndOfFile(Handle(file)))
        return LastFileError();
    return 0;
}

int Sync(File file) {
    return FlushFileBuffers(Handle(file)) ? 0 : LastFileError();
}

bool IsFileAt(const std::string& path, const Identity& id) {
    const std::optional<PathInfo> there = Look(path);
    return there && !there->folder && SameFile(there->id, id);
}

// A file removed while open keeps its name until the last handle goes (unless the file system
// removes names at once).
bool RemovalPending(File file) {
    FILE_STANDARD_INFO standard{};
    return GetFileInformationByHandleEx(Handle(file), FileStandardInfo, &standard,
                                        sizeof standard) &&
           standard.DeletePending;
}

// A folder that now lies on another volume (a medium mounted in a folder and taken out) would
// hide the rows there: only an existing file is taken up.
bool MayOpen(const std::string& path, const Identity& id) {
    bool reachable = false;
    if (FolderOnVolume(path, id, reachable))
        return true;
    if (!reachable)
        return false;
    const std::optional<PathInfo> there = Look(path);
    return there && !there->folder;
}

}  // namespace recfs
