#include "store/IniFile.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <random>

#include "os/FileWrite.h"
#include "os/win32/DeviceName.h"
#include "os/win32/FileError.h"
#include "os/win32/LongPath.h"
#include "store/IniFileAccess.h"
#include "store/win32/PutInPlace.h"

namespace fs = std::filesystem;

namespace inifile {
namespace {

class Handle {
public:
    explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE Get() const { return h_; }
    bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }
    bool Close() {
        const HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return h == INVALID_HANDLE_VALUE || CloseHandle(h);
    }

private:
    HANDLE h_;
};

HANDLE AsHandle(std::intptr_t file) {
    return reinterpret_cast<HANDLE>(file);
}

// Written whole; false with the reason, an errno value, in error.
bool WriteWhole(HANDLE h, std::string_view data, int& error) {
    error = WriteAll(reinterpret_cast<std::intptr_t>(h), data.data(), data.size());
    return error == 0;
}

bool SetSize(HANDLE h, std::uint64_t size) {
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(size);
    return SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && SetEndOfFile(h);
}

// A new file beside target, its name not taken; FILE_SHARE_DELETE so that it can be renamed
// over target while still open.
HANDLE CreateTempBeside(const fs::path& target, fs::path& tempPath, int& error) {
    static constexpr wchar_t kChars[] = L"abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device seed;
    std::minstd_rand random(seed());
    std::uniform_int_distribution<std::size_t> pick(0, std::size(kChars) - 2);
    const std::wstring stem = target.filename().native().substr(0, 200);
    error = EEXIST;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring name = stem + L".tmp-";
        for (int i = 0; i < 8; ++i) {
            name += kChars[pick(random)];
        }
        tempPath = target.parent_path() / name;
        const HANDLE h = CreateFileW(LongPath(tempPath).c_str(), GENERIC_WRITE, FILE_SHARE_DELETE,
                                     nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            return h;
        }
        error = LastFileError();
        if (GetLastError() != ERROR_FILE_EXISTS) {
            break;
        }
    }
    return INVALID_HANDLE_VALUE;
}

bool Exists(const fs::path& path) {
    return GetFileAttributesW(LongPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A file that was just closed may be held for a moment by an indexer or a virus scanner, which
// keeps it from being renamed: the move is tried again for about half a second.
bool MoveOver(const fs::path& from, const fs::path& to) {
    DWORD pause = 10;
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(LongPath(from).c_str(), LongPath(to).c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
        const DWORD why = GetLastError();
        if (attempt == 6 || (why != ERROR_SHARING_VIOLATION && why != ERROR_ACCESS_DENIED &&
                             why != ERROR_LOCK_VIOLATION)) {
            SetLastError(why);
            return false;
        }
        Sleep(pause);
        pause *= 2;
    }
}

// content as a new file named path, flushed; the file is removed again if it is not whole.
bool WriteNew(const fs::path& path, std::string_view content) {
    Handle file(CreateFileW(LongPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        return false;
    }
    int error = 0;
    const bool written = WriteWhole(file.Get(), content, error) && FlushFileBuffers(file.Get());
    if (file.Close() && written) {
        return true;
    }
    DeleteFileW(LongPath(path).c_str());
    return false;
}

}  // namespace

Replaced PutInPlace(const fs::path& temp, const fs::path& target, bool hadOld,
                    std::string_view content, int& error) {
    // ReplaceFileW keeps the old file's attributes and permissions; where it cannot (some file
    // systems, a file gone meanwhile) a plain move does the job.
    if (hadOld && ReplaceFileW(LongPath(target).c_str(), LongPath(temp).c_str(), nullptr,
                               REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
        return Replaced::Done;
    }
    if (MoveOver(temp, target)) {
        return Replaced::Done;
    }
    error = LastFileError();
    if (!hadOld || Exists(target)) {
        DeleteFileW(LongPath(temp).c_str());
        return Replaced::FolderRefused;
    }
    // ReplaceFileW took the old file away and the new one cannot be renamed
    // (ERROR_UNABLE_TO_MOVE_REPLACEMENT): the new file is the only copy left. It stays unless
    // its content could be written under the settings file's name.
    if (WriteNew(target, content)) {
        DeleteFileW(
            LongPath(temp).c_str());  // if it is still held, it stays behind beside the file
        error = 0;
        return Replaced::Done;
    }
    return Replaced::WriteFailed;
}

namespace {

// Writes content to a new file, flushed, and moves it over target; target stays as it was on
// failure. FolderRefused: the folder took no new file, or the move failed.
Replaced ReplaceWithNewFile(const fs::path& target, bool hadOld, std::string_view content,
                            int& error) {
    fs::path tempPath;
    Handle file(CreateTempBeside(target, tempPath, error));
    if (!file.Valid()) {
        return Replaced::FolderRefused;
    }
    bool ok = WriteWhole(file.Get(), content, error);
    if (ok && !FlushFileBuffers(file.Get())) {
        error = LastFileError();
        ok = false;
    }
    ok = file.Close() && ok;
    if (!ok) {
        DeleteFileW(LongPath(tempPath).c_str());
        return Replaced::WriteFailed;
    }
    return PutInPlace(tempPath, target, hadOld, content, error);
}

}  // namespace

int OpenForRewrite(const fs::path& target, std::intptr_t& file) {
    // Readers that let others write (viewers, editors) may keep the file open meanwhile.
    const HANDLE h = CreateFileW(LongPath(target).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return LastFileError();
    }
    if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        return EINVAL;
    }
    file = reinterpret_cast<std::intptr_t>(h);
    return 0;
}

int Reserve(std::intptr_t file, std::uint64_t size) {
    LARGE_INTEGER old{};
    if (!GetFileSizeEx(AsHandle(file), &old) ||
        (static_cast<std::uint64_t>(old.QuadPart) < size && !SetSize(AsHandle(file), size))) {
        return LastFileError();
    }
    return 0;
}

int EndAt(std::intptr_t file, std::uint64_t size) {
    if (!SetSize(AsHandle(file), size) || !FlushFileBuffers(AsHandle(file))) {
        return LastFileError();
    }
    return 0;
}

int CloseFile(std::intptr_t file) {
    return CloseHandle(AsHandle(file)) ? 0 : LastFileError();
}

std::int64_t ReadSome(std::intptr_t file, char* buffer, std::size_t n) {
    DWORD got = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(file), buffer, static_cast<DWORD>(n), &got, nullptr)) {
        return -1;
    }
    return got;
}

IniOpenResult Read(const fs::path& path, bool create, std::uint64_t maxSize, std::string& text) {
    text.clear();
    if (path.empty()) {
        return IniOpenResult::CannotOpen;
    }
    // Judged before opening: opening a device can have effects of its own (a serial port raises
    // its modem lines), and a pipe would wait for a writer.
    if (NamesDevice(path)) {
        return IniOpenResult::NotRegularFile;
    }
    WIN32_FILE_ATTRIBUTE_DATA info{};
    const bool exists = GetFileAttributesExW(LongPath(path).c_str(), GetFileExInfoStandard, &info);
    if (exists) {
        if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return IniOpenResult::NotRegularFile;
        }
        const std::uint64_t size =
            (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
        if (size > maxSize) {
            return IniOpenResult::TooLarge;
        }
    } else if (const DWORD why = GetLastError(); !create || (why != ERROR_FILE_NOT_FOUND)) {
        return IniOpenResult::CannotOpen;
    }
    Handle file(CreateFileW(LongPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            create ? OPEN_ALWAYS : OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.Valid()) {
        return exists ? IniOpenResult::Unreadable : IniOpenResult::CannotOpen;
    }
    LARGE_INTEGER size{};
    if (GetFileType(file.Get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.Get(), &size)) {
        return IniOpenResult::NotRegularFile;
    }
    return ReadOpened(reinterpret_cast<std::intptr_t>(file.Get()),
                      static_cast<std::uint64_t>(size.QuadPart), maxSize, text);
}

IniSaveResult Write(const fs::path& path, std::string_view content, int& error) {
    error = 0;
    if (NamesDevice(path)) {
        error = EINVAL;
        return IniSaveResult::Failed;
    }
    WIN32_FILE_ATTRIBUTE_DATA info{};
    const bool hadOld = GetFileAttributesExW(LongPath(path).c_str(), GetFileExInfoStandard, &info);
    if (hadOld && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        error = EINVAL;  // replaced by something else meanwhile: not ours to overwrite
        return IniSaveResult::Failed;
    }
    // A file the user protected (read-only attribute, or an ACL that denies writing) stays as
    // it is, even where the folder would take a new one.
    if (hadOld && (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
        error = EACCES;
        return IniSaveResult::ReadOnly;
    }
    if (hadOld) {
        Handle probe(CreateFileW(LongPath(path).c_str(), GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!probe.Valid() &&
            (GetLastError() == ERROR_ACCESS_DENIED || GetLastError() == ERROR_WRITE_PROTECT)) {
            error = LastFileError();
            return IniSaveResult::ReadOnly;
        }
    }
    const Replaced replaced = ReplaceWithNewFile(path, hadOld, content, error);
    return Settle(replaced, hadOld, path, content, error);
}

}  // namespace inifile
