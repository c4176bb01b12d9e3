#include "recording/RecordingFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <optional>

#include "recording/RecordingFileSystem.h"
#include "recording/format/BinaryRecordDecoder.h"

struct CRecordingFile::State {
    State(RecordingFileKind k, std::size_t limit) : kind(k), queueLimit(limit) {}

    RecordingFileKind kind;
    std::size_t queueLimit;
    std::string path;                   // empty while closed
    recfs::File file = recfs::kNoFile;  // none while closed or while the path could not be opened
    recfs::Identity id;
    bool mediumAway = false;
    std::deque<RecordBytes> queue;
    std::size_t dropped = 0;
    int lastError = 0;       // non-zero exactly while a failure spell goes on
    bool headerDue = false;  // the file was created anew: its first row needs a header
    std::optional<std::int64_t> pendingCut;  // a cut back after a short write that itself failed

    bool FileOpen() const { return file != recfs::kNoFile; }
    int OpenLocked(bool& existed);
    void CloseFile();
    int Prepare();
    int PrepareText();
    int PrepareBinary();
    bool NamesOpenFile() const;
    int OpenAgain(AppendOutcome& out);
    int EnsurePathNamesFile(AppendOutcome& out);
    int WriteRecord(const RecordBytes& record, bool& inFile);
    int CutBack(std::int64_t size, std::string_view rest);
    int WriteQueue();
    void TrimQueue();
    void UpdateSpell(int error, AppendOutcome& out);
};

int CRecordingFile::State::OpenLocked(bool& existed) {
    recfs::File opened = recfs::kNoFile;
    recfs::Identity openedId;
    if (const int error = recfs::OpenLocked(path, existed, opened, openedId))
        return error;
    file = opened;
    id = openedId;
    pendingCut.reset();
    return 0;
}

void CRecordingFile::State::CloseFile() {
    if (FileOpen())
        recfs::Close(file);
    file = recfs::kNoFile;
}

int CRecordingFile::State::Prepare() {
    return kind == RecordingFileKind::Text ? PrepareText() : PrepareBinary();
}

// A line torn by a crash must not merge with the next row.
int CRecordingFile::State::PrepareText() {
    int error = 0;
    const std::int64_t size = recfs::SizeOf(file, error);
    if (size <= 0)
        return error;
    std::string last(1, '\0');
    if (const int readError = recfs::ReadAt(file, last, size - 1))
        return readError;
    if (last[0] == '\n')
        return 0;
    bool inFile = false;
    return WriteRecord({last[0] == '\r' ? "\n" : "\r\n", {}}, inFile);
}

// Cuts a record torn by a crash, so that a reader can go through the file record by record.
// A file whose end does not look like our records is left as it is.
int CRecordingFile::State::PrepareBinary() {
    int error = 0;
    const std::int64_t signedSize = recfs::SizeOf(file, error);
    if (signedSize < 0)
        return error;
    const auto size = static_cast<std::size_t>(signedSize);
    std::string tail(std::min(size, kBinaryTailWindow), '\0');
    if (const int readError =
            recfs::ReadAt(file, tail, static_cast<std::int64_t>(size - tail.size())))
        return readError;
    const BinaryTail check = CheckBinaryTail(tail, tail.size() == size);
    if (check.state != BinaryTailState::Torn)
        return 0;
    if (const int cut = recfs::SetSize(file, static_cast<std::int64_t>(size - check.tornBytes)))
        return cut;
    return recfs::Sync(file);
}

bool CRecordingFile::State::NamesOpenFile() const {
    // A file removed while open may keep its name until the last handle goes: ours must go for
    // the path to take a new file.
    return FileOpen() && !recfs::RemovalPending(file) && recfs::IsFileAt(path, id);
}

int CRecordingFile::State::OpenAgain(AppendOutcome& out) {
    CloseFile();
    bool existed = false;
    if (const int error = OpenLocked(existed))
        return error;
    if (const int error = Prepare()) {
        CloseFile();
        return error;
    }
    headerDue = true;
    out.reopened = true;
    return 0;
}

// A file deleted by hand or renamed away by a rotation tool would swallow our rows unseen:
// write to whatever the path names now. A medium that went away is another matter: the open
// file still takes the rows until it fails like a full disk, and no file is made in its place.
int CRecordingFile::State::EnsurePathNamesFile(AppendOutcome& out) {
    const bool wasAway = mediumAway;
    if (NamesOpenFile()) {
        mediumAway = false;
        out.mediumBack = wasAway;
        // A medium put back may keep its numbers while the file that failed while it was away
        // stays dead: open the file afresh.
        if (wasAway && lastError != 0)
            return OpenAgain(out);
        return 0;
    }
    if (recfs::MayOpen(path, id)) {
        const int error = OpenAgain(out);
        if (error == 0) {
            mediumAway = false;
            out.mediumBack = wasAway;
        }
        return error;
    }
    mediumAway = true;
    out.mediumAway = !wasAway;
    return FileOpen() ? 0 : ENODEV;
}

int CRecordingFile::State::WriteRecord(const RecordBytes& record, bool& inFile) {
    inFile = false;
    if (pendingCut) {
        if (const int error = recfs::SetSize(file, *pendingCut))
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
    const std::int64_t size = recfs::SizeOf(file, error);
    if (size < 0)
        return error;
    const std::int64_t n = recfs::WriteAtEnd(file, bytes, error);
    if (n < 0) {
        recfs::UndoFailedWrite(file, size);
        return error;
    }
    if (static_cast<std::size_t>(n) < bytes.size())
        return CutBack(size, bytes.substr(static_cast<std::size_t>(n)));
    inFile = true;
    if (!record.header.empty())
        headerDue = false;
    return recfs::Sync(file);
}

// A short write leaves part of a record: cut the file back so it holds whole records only.
int CRecordingFile::State::CutBack(std::int64_t size, std::string_view rest) {
    // The short write says nothing about why; writing the rest does.
    int reason = ENOSPC;
    int error = 0;
    if (recfs::WriteAtEnd(file, rest, error) < 0)
        reason = error;
    if (recfs::SetSize(file, size) != 0)
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
    if (!state->FileOpen())
        return EBADF;
    if (const int error = recfs::SetSize(state->file, 0))
        return error;
    state->pendingCut.reset();
    return 0;
}

int CRecordingFile::PrepareAppend() {
    if (!state->FileOpen())
        return EBADF;
    return state->Prepare();
}

std::deque<RecordBytes> CRecordingFile::Close() {
    State& s = *state;
    // Records held back by a failure get one last chance.
    if (!s.queue.empty() && !s.path.empty()) {
        AppendOutcome ignored;
        if (s.EnsurePathNamesFile(ignored) == 0 && s.FileOpen())
            s.WriteQueue();
    }
    std::deque<RecordBytes> held;
    held.swap(s.queue);
    s.CloseFile();
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
    if (!recfs::MayOpen(s.path, s.id)) {
        // The medium is away: the open file goes on taking the rows.
        s.mediumAway = true;
        return s.FileOpen() ? 0 : ENODEV;
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
    return state->FileOpen() && recfs::IsFileAt(path, state->id);
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
