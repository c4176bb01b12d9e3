#include "recording/RecordingCore.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <optional>

#include "os/FileWrite.h"
#include "os/LocalTime.h"
#include "os/PathText.h"
#include "recording/NewFile.h"
#include "recording/format/BinaryRecordFormat.h"
#include "recording/format/FileText.h"
#include "recording/format/TextRecordFormat.h"
#include "text/FileErrorText.h"

RecordingSnapshot SnapshotFromCycle(const PollingCycle& cycle, const RecordTime& time) {
    RecordingSnapshot snapshot;
    snapshot.time = time;
    snapshot.responding = cycle.responding;
    if (cycle.responding)
        std::copy(std::begin(cycle.readings), std::end(cycle.readings), snapshot.readings.begin());
    return snapshot;
}

RecordTime LocalRecordTimeNow() {
    return RecordTimeFromTm(LocalTimeOf(std::time(nullptr)));
}

namespace {

constexpr std::size_t kKinds = 2;

std::size_t Index(RecordingFileKind kind) {
    return kind == RecordingFileKind::Text ? 0 : 1;
}

RecordingFileKind KindAt(std::size_t index) {
    return index == 0 ? RecordingFileKind::Text : RecordingFileKind::Binary;
}

// "pomiary.csv" -> "pomiary 2026-12-07 15.30.05.csv": sorts by time, and every file system
// takes the name.
std::string RescueName(const std::string& path, std::time_t when) {
    const std::filesystem::path original = PathFromUtf8(path);
    const std::tm local = LocalTimeOf(when);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, " %Y-%m-%d %H.%M.%S", &local);
    std::string name = Utf8FromPath(original.stem());
    if (name.empty())
        name = "rejestracja";
    return name + stamp + Utf8FromPath(original.extension());
}

// Creates a new file (never one that exists) in the folder, named after name, and writes the
// bytes, synced. Returns 0 or errno.
int WriteRescueFile(const std::filesystem::path& folder, const std::string& name,
                    const std::string& bytes, std::string& written) {
    if (const int error = CreateFolders(folder); error != 0)
        return error;
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
        std::string candidate = name;
        if (attempt > 0) {
            const std::filesystem::path p = PathFromUtf8(name);
            candidate = Utf8FromPath(p.stem()) + " (" + std::to_string(attempt + 1) + ")" +
                        Utf8FromPath(p.extension());
        }
        const std::filesystem::path target = folder / PathFromUtf8(candidate);
        error = WriteNewFile(target, bytes);
        if (error == 0)
            written = Utf8FromPath(target);
    }
    return error;
}

// The held records as one file's bytes: a text file starts with the header line of its first
// row, so that the rescued rows can be read on their own.
std::string RescueBytes(const std::deque<RecordBytes>& held) {
    std::string bytes;
    for (const RecordBytes& record : held) {
        if (bytes.empty() && !record.header.empty() && !record.bytes.starts_with(record.header))
            bytes += record.header;
        bytes += record.bytes;
    }
    return bytes;
}

}  // namespace

struct CRecordingCore::State {
    EventSink sink;
    RecordingSettings settings;
    std::unique_ptr<CRecordingFile> files[kKinds];
    std::size_t droppedBefore[kKinds] = {};  // DroppedRecords() at the last look
    std::size_t droppedInSpell[kKinds] = {};
    std::string lastHeader;  // UTF-8, as the record formats give it

    void Emit(RecordingEvent event) const {
        if (sink)
            sink(event);
    }
    RecordingEvent Event(RecordingEventKind kind, std::size_t index) const {
        RecordingEvent event;
        event.kind = kind;
        event.file = KindAt(index);
        if (files[index])
            event.path = files[index]->Path();
        return event;
    }
    const std::string& PathOf(std::size_t index) const {
        return index == 0 ? settings.textPath : settings.binaryPath;
    }
    void Append(std::size_t index, RecordBytes record);
    void ReportOutcome(std::size_t index, const AppendOutcome& outcome);
    // Closes the file after a last attempt; what it still holds goes to a rescue file in the
    // folder (none: given up).
    std::optional<Closing> CloseIndex(std::size_t index, const std::filesystem::path& rescue);
    std::filesystem::path rescueFolder;
};

void CRecordingCore::State::Append(std::size_t index, RecordBytes record) {
    ReportOutcome(index, files[index]->Append(std::move(record)));
}

void CRecordingCore::State::ReportOutcome(std::size_t index, const AppendOutcome& outcome) {
    const CRecordingFile& file = *files[index];
    if (outcome.mediumAway)
        Emit(Event(RecordingEventKind::MediumAway, index));
    if (outcome.mediumBack)
        Emit(Event(RecordingEventKind::MediumBack, index));
    if (outcome.reopened)
        Emit(Event(RecordingEventKind::Reopened, index));
    if (outcome.spellStarted) {
        RecordingEvent event = Event(RecordingEventKind::SpellStarted, index);
        event.error = outcome.error;
        Emit(event);
    }
    const std::size_t dropped = file.DroppedRecords();
    if (dropped > droppedBefore[index]) {
        // Once per spell: at one record a tick the log would otherwise fill with it.
        const bool first = droppedInSpell[index] == 0;
        droppedInSpell[index] += dropped - droppedBefore[index];
        droppedBefore[index] = dropped;
        if (first) {
            RecordingEvent event = Event(RecordingEventKind::Dropped, index);
            event.count = droppedInSpell[index];
            Emit(event);
        }
    }
    if (outcome.spellEnded) {
        RecordingEvent event = Event(RecordingEventKind::SpellEnded, index);
        event.count = droppedInSpell[index];
        droppedInSpell[index] = 0;
        Emit(event);
    }
}

std::optional<CRecordingCore::Closing> CRecordingCore::State::CloseIndex(
    std::size_t index, const std::filesystem::path& rescue) {
    if (!files[index])
        return std::nullopt;
    Closing closing;
    closing.file = KindAt(index);
    closing.path = files[index]->Path();
    const std::deque<RecordBytes> held = files[index]->Close();
    files[index].reset();
    droppedBefore[index] = 0;
    droppedInSpell[index] = 0;
    if (held.empty())
        return std::nullopt;
    closing.held = held.size();
    RecordingEvent event;
    event.file = closing.file;
    event.path = closing.path;
    event.count = closing.held;
    if (rescue.empty()) {
        event.kind = RecordingEventKind::Dropped;
    } else {
        closing.error = WriteRescueFile(rescue, RescueName(closing.path, std::time(nullptr)),
                                        RescueBytes(held), closing.rescuePath);
        event.kind = closing.error == 0 ? RecordingEventKind::Rescued : RecordingEventKind::Lost;
        event.error = closing.error;
        event.rescuePath = closing.rescuePath;
    }
    Emit(event);
    return closing;
}

CRecordingCore::CRecordingCore(EventSink sink) : state(std::make_unique<State>()) {
    state->sink = std::move(sink);
    LetFileSizeLimitFailWrites();
}

CRecordingCore::~CRecordingCore() = default;

void CRecordingCore::SetEventSink(EventSink sink) {
    state->sink = std::move(sink);
}

void CRecordingCore::SetSettings(const RecordingSettings& settings) {
    state->settings = settings;
}

const RecordingSettings& CRecordingCore::Settings() const {
    return state->settings;
}

int CRecordingCore::EffectiveInterval(int storedSeconds) {
    return std::clamp(storedSeconds, kMinInterval, kMaxInterval);
}

int CRecordingCore::EffectiveInterval() const {
    return EffectiveInterval(state->settings.interval);
}

bool CRecordingCore::CommentFits(std::string_view commentUtf8) {
    return TextCommentBlock(commentUtf8, false).has_value();
}

CRecordingCore::Opening CRecordingCore::OpenFile(RecordingFileKind kind,
                                                 const AppendQuestion& ask) {
    State& s = *state;
    const std::size_t index = Index(kind);
    // The old file is released first: the new one may be the same path.
    s.CloseIndex(index, s.rescueFolder);
    const std::string& path = s.PathOf(index);
    auto file = std::make_unique<CRecordingFile>(kind);
    const CRecordingFile* other = s.files[1 - index].get();
    OpenOutcome opened{ENOENT, false};
    if (other != nullptr && !path.empty() && (path == other->Path() || other->IsFileAt(path)))
        opened.error = kErrorSharedRecordingFile;  // its own lock would refuse it less clearly
    else if (!path.empty())
        opened = file->Open(path);
    Opening out;
    int error = opened.error;
    if (error == 0) {
        const bool append = !opened.existed || !ask || ask(kind);
        error = append ? file->PrepareAppend() : file->Truncate();
        out.appended = append && opened.existed;
    }
    out.error = error;
    RecordingEvent event;
    event.file = kind;
    event.path = path;
    if (error != 0) {
        out.appended = false;
        event.kind = RecordingEventKind::OpenFailed;
        event.error = error;
        s.Emit(event);
        return out;
    }
    s.files[index] = std::move(file);
    event.kind = RecordingEventKind::Opened;
    event.appended = out.appended;
    s.Emit(event);
    return out;
}

void CRecordingCore::CloseFile(RecordingFileKind kind) {
    state->CloseIndex(Index(kind), state->rescueFolder);
}

void CRecordingCore::SetRescueFolder(const std::filesystem::path& folder) {
    state->rescueFolder = folder;
}

bool CRecordingCore::OpenAtStartup() {
    bool all = true;
    for (std::size_t index = 0; index < kKinds; ++index) {
        const bool on = index == 0 ? state->settings.textOn : state->settings.binaryOn;
        if (!on || state->PathOf(index).empty() || state->files[index])
            continue;
        all = OpenFile(KindAt(index)).error == 0 && all;
    }
    return all;
}

bool CRecordingCore::Reopen() {
    bool all = true;
    for (std::size_t index = 0; index < kKinds; ++index) {
        CRecordingFile* file = state->files[index].get();
        if (file == nullptr)
            continue;
        const int error = file->Reopen();
        // With the medium away the open file stays: nothing is made in its place.
        const RecordingEventKind kind = error != 0           ? RecordingEventKind::OpenFailed
                                        : file->MediumAway() ? RecordingEventKind::MediumAway
                                                             : RecordingEventKind::Reopened;
        RecordingEvent event = state->Event(kind, index);
        event.error = error;
        state->Emit(event);
        all = all && error == 0;
    }
    return all;
}

void CRecordingCore::WriteComment(bool appended) {
    State& s = *state;
    if (!s.settings.writeComment || !s.files[0])
        return;
    // Checked before the file was opened: the comment fits the file's code page.
    if (const std::optional<std::string> block = TextCommentBlock(s.settings.comment, appended))
        s.Append(0, {*block, {}});
}

void CRecordingCore::WriteText(const RecordingSnapshot& snapshot) {
    State& s = *state;
    if (!s.files[0])
        return;
    TextRecord record = BuildTextRecord(snapshot.readings, s.settings.recordInput,
                                        TextSeparator(s.settings.separatorCode),
                                        snapshot.responding, snapshot.time, s.lastHeader);
    const std::string header = FileText(record.header);
    s.lastHeader = std::move(record.header);
    s.Append(0, {std::move(record.bytes), header});
}

void CRecordingCore::WriteBinary(const RecordingSnapshot& snapshot) {
    State& s = *state;
    // A silent device leaves a gap in time rather than empty records.
    if (!s.files[1] || !snapshot.responding)
        return;
    s.Append(1, {BuildBinaryRecord(snapshot.readings, snapshot.time), {}});
}

void CRecordingCore::Tick(const RecordingSnapshot& snapshot) {
    WriteText(snapshot);
    WriteBinary(snapshot);
}

std::vector<CRecordingCore::Closing> CRecordingCore::Close(
    const std::filesystem::path& rescueFolder) {
    std::vector<Closing> report;
    for (std::size_t index = 0; index < kKinds; ++index) {
        if (std::optional<Closing> closing = state->CloseIndex(index, rescueFolder))
            report.push_back(std::move(*closing));
    }
    return report;
}

bool CRecordingCore::IsOpen(RecordingFileKind kind) const {
    return state->files[Index(kind)] != nullptr;
}

bool CRecordingCore::AnyOpen() const {
    return state->files[0] || state->files[1];
}

const CRecordingFile* CRecordingCore::File(RecordingFileKind kind) const {
    return state->files[Index(kind)].get();
}

const std::string& CRecordingCore::LastHeader() const {
    return state->lastHeader;
}
