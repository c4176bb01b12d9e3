#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

// The few file calls the recording file is built on, one set per platform. Errors are errno
// values (or the text/FileErrorText.h codes), as the recording file reports them.
namespace recfs {

// A descriptor or a handle; kNoFile while nothing is open.
using File = std::intptr_t;
constexpr File kNoFile = -1;

// Which file a handle or a path stands for: its file system (volume) and its number there.
struct Identity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    // The file system under the mount point the file's medium is mounted on, when there is one
    // (POSIX only): the path's folder lands there once the medium is unmounted.
    std::optional<std::uint64_t> hostVolume;
    // The file's folder as it was at the opening (POSIX only): on an overlay, folders and files
    // report different devices, and only the folder itself tells a rotation from a lost medium.
    std::optional<std::pair<std::uint64_t, std::uint64_t>> folder;
};

// Opens or creates a regular file for reading and appending and locks it against other writers.
int OpenLocked(const std::string& path, bool& existed, File& file, Identity& id);
void Close(File file);  // the lock goes with it
// The size, or -1 with error set.
std::int64_t SizeOf(File file, int& error);
// Fills the buffer from offset: 0 or the error (EIO at the end of the file).
int ReadAt(File file, std::string& buffer, std::int64_t offset);
// One write call at the end of the file: the bytes written, or -1 with error set.
std::int64_t WriteAtEnd(File file, std::string_view bytes, int& error);
// After a failed write: takes away what it may still have put in the file.
void UndoFailedWrite(File file, std::int64_t size);
int SetSize(File file, std::int64_t size);
int Sync(File file);  // the data on the medium
// Whether the path names the file.
bool IsFileAt(const std::string& path, const Identity& id);
// The open file is removed but keeps its name while open (Windows).
bool RemovalPending(File file);
// Whether the path may be opened (created) anew for the file it named before: a file is
// created only on the medium the file was on; elsewhere only an existing file is taken up.
bool MayOpen(const std::string& path, const Identity& id);

}  // namespace recfs
