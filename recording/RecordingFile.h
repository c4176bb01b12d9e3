#pragma once
#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <string_view>

// One record for a recording file: the bytes to append in one write call and, for the text
// file, the header line (file bytes, CR LF included) that applies to its row. The header lets a
// file that had to be created anew while recording begin with its header line.
struct RecordBytes {
    std::string bytes;
    std::string header;  // empty for the binary file and for a comment block
};

enum class RecordingFileKind { Text, Binary };

// What an attempt to open found.
struct OpenOutcome {
    int error = 0;  // errno of the failure (EWOULDBLOCK: in use by another program); 0 = open
    bool existed = false;  // the path named a file before this open
};

// What became of one Append call.
struct AppendOutcome {
    bool written = false;       // this record (and everything queued before it) is in the file
    bool spellStarted = false;  // the first failure after a good write: tell the user once
    bool spellEnded = false;    // writing works again and the queue has been written out
    bool reopened = false;      // the path named another file (or none) and was opened anew
    bool mediumAway = false;    // the path's folder left the file's file system: tell once
    bool mediumBack = false;    // the path names the file (or an existing one) on a medium again
    int error = 0;              // errno of the failure, 0 when none
};

// One recording file: opened under an exclusive lock so that two programs never interleave rows
// (on Windows also shared only for reading, and for deleting and renaming so that the file can
// be moved away), records appended whole and synced, records that could not be written kept
// in order in a bounded queue, and a file removed or replaced under the program reopened.
// A file is only ever created on the file system it was first opened on: when the path's
// folder lies elsewhere (a medium unmounted, the bare mount point left) the open file keeps
// being written, and an existing file is taken up again once the path names one.
class CRecordingFile {
public:
    // At least 24 hours of records at a 1 s interval.
    static constexpr std::size_t kDefaultQueueLimit = 100000;

    explicit CRecordingFile(RecordingFileKind kind, std::size_t queueLimit = kDefaultQueueLimit);
    ~CRecordingFile();
    CRecordingFile(const CRecordingFile&) = delete;
    CRecordingFile& operator=(const CRecordingFile&) = delete;

    // Opens or creates the file (read and write; on POSIX systems mode 0666 less the umask) and
    // locks it.
    // Refuses what is not a regular file. Closes a file open before. On failure nothing is open.
    OpenOutcome Open(const std::string& path);
    // After Open: empties the file. Returns 0 or the errno.
    int Truncate();
    // After Open: makes the file ready for appending. A text file whose last line is incomplete
    // gets CR LF so that rows never merge; a binary file whose end is not a whole record is
    // repaired so that a reader can read it record by record. Returns 0 or the errno.
    int PrepareAppend();
    // Releases the lock and the file, after one last attempt to write the queued records; what
    // still cannot be written is given back, oldest first, for the caller to keep elsewhere.
    std::deque<RecordBytes> Close();
    // Closes the file and opens its path again (creating it when missing) for appending, the
    // held records kept for the next write and the next row preceded by its header line. For a
    // file moved away on purpose. Returns 0 or the errno; on failure the file stays closed until
    // a later Append manages to open the path.
    int Reopen();

    bool IsOpen() const;
    const std::string& Path() const;

    // Appends a record: checks first that the path still names the open file (reopening it when
    // not, as far as the medium allows), writes the queued records and then this one, each in one
    // write call followed by a sync of the data (fdatasync, FlushFileBuffers). A short write is cut
    // back to the size before the record. A record that cannot be written is queued; when the queue
    // is full the oldest record is dropped.
    AppendOutcome Append(RecordBytes record);

    bool Failing() const;     // a failure spell is going on
    bool MediumAway() const;  // the path's folder is off the file's medium
    // Whether the path names the open file.
    bool IsFileAt(const std::string& path) const;
    int LastError() const;  // errno of the last failure, 0 when none
    std::size_t QueuedRecords() const;
    std::size_t DroppedRecords() const;  // dropped from a full queue since the file was opened

private:
    struct State;
    std::unique_ptr<State> state;
};
