#pragma once
#include <array>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "device/InputReading.h"
#include "device/PollingCycle.h"
#include "recording/RecordingFile.h"
#include "recording/format/RecordTime.h"

// What to record and where; the recording settings of orvex.ini.
struct RecordingSettings {
    bool textOn = false;
    bool binaryOn = false;
    std::string textPath;  // file-system bytes
    std::string binaryPath;
    int interval = 1;       // seconds, as stored (EffectiveInterval gives the one to use)
    int separatorCode = 0;  // 0 tab, 1 comma, 2 semicolon, anything else tab
    std::array<bool, 8> recordInput = {true, true, true, true, true, true, true, true};
    bool writeComment = false;
    std::string comment;  // UTF-8, line breaks as typed
};

// The readings one tick records, and when.
struct RecordingSnapshot {
    RecordTime time;
    bool responding = false;
    std::array<InputReading, 8> readings = {};
};

// A snapshot of the last polling cycle heard, at the given time. The readings of a cycle that
// went unanswered are not new, and silence records no readings at all.
RecordingSnapshot SnapshotFromCycle(const PollingCycle& cycle, const RecordTime& time);

// The local time now, to the second.
RecordTime LocalRecordTimeNow();

enum class RecordingEventKind {
    Opened,        // the file is open and ready (appended tells whether old content stays)
    OpenFailed,    // error
    SpellStarted,  // the first write failure after a good write; error
    SpellEnded,    // writing works again and the held records are in the file
    Reopened,      // the path named another file or none (removed, rotated) and was opened anew
    Dropped,       // count records given up: a full queue (once a spell), or a close without rescue
    MediumAway,    // the path's folder went to another file system or out of reach
    MediumBack,    // the path names a file again on the medium
    Rescued,       // at close: count held records written to rescuePath
    Lost,          // at close: count held records that neither file could take; error
};

struct RecordingEvent {
    RecordingEventKind kind = RecordingEventKind::Opened;
    RecordingFileKind file = RecordingFileKind::Text;
    std::string path;  // the recording file's path
    int error = 0;
    bool appended = false;
    std::size_t count = 0;
    std::string rescuePath;
};

// The decisions of recording, shared by every program that records: opening the two files
// from the settings, what a tick writes (a text row always, with its header line whenever the
// columns changed since the last header written in this run, and a binary record only while
// the device responds), the comment block, failure spells told once, a removed or rotated file
// opened anew, a medium that went away never replaced by a file on another file system, and at
// the close one last attempt followed by a rescue file for whatever is still held.
// It shows nothing: everything the user should hear of comes out as an event, on the caller's
// thread, during the call that caused it. Not thread-safe; one thread drives it. Constructing one
// makes the process ignore SIGXFSZ, so that a file size limit fails a write instead of ending it.
class CRecordingCore {
public:
    using EventSink = std::function<void(const RecordingEvent&)>;
    // Asked when a file opened by the recording command already exists: true keeps its content
    // and appends, false empties it.
    using AppendQuestion = std::function<bool(RecordingFileKind)>;

    static constexpr int kMinInterval = 1;
    static constexpr int kMaxInterval = 23 * 3600 + 59 * 60 + 59;

    explicit CRecordingCore(EventSink sink = {});
    ~CRecordingCore();
    CRecordingCore(const CRecordingCore&) = delete;
    CRecordingCore& operator=(const CRecordingCore&) = delete;

    void SetEventSink(EventSink sink);
    // The settings every later call uses; open files stay open.
    void SetSettings(const RecordingSettings& settings);
    const RecordingSettings& Settings() const;

    // The interval a timer should use for a stored one: clamped to 1 s .. 23:59:59.
    static int EffectiveInterval(int storedSeconds);
    int EffectiveInterval() const;
    // Whether the comment can be written into the text file (Windows-1250 holds it).
    static bool CommentFits(std::string_view commentUtf8);

    struct Opening {
        int error = 0;          // errno (EWOULDBLOCK: another program records into it); 0 = open
        bool appended = false;  // old content kept
    };
    // Opens the file of that kind from the settings' path, closing the one open before as
    // CloseFile does (the new path may name the same file). Without a question an existing file is
    // appended to. On failure nothing is open for that kind.
    Opening OpenFile(RecordingFileKind kind, const AppendQuestion& ask = {});
    // Where CloseFile (and the opening of another file in a file's place) puts the records the
    // file still holds; empty (the default): they are given up with a Dropped event.
    void SetRescueFolder(const std::filesystem::path& folder);
    // Closes that file after one last attempt to write what it holds; held records still not
    // written go to a rescue file as at Close (Rescued or Lost event), or are given up.
    void CloseFile(RecordingFileKind kind);
    // Opens, for appending and without asking, every file that is switched on, named and not
    // open yet. True when every such file is open.
    bool OpenAtStartup();
    // Closes both open files and opens their paths again for appending; held records go to the
    // new files first. For a file moved away by a log rotation tool. A file whose medium is away
    // stays open as it is (MediumAway event). True when both are open.
    bool Reopen();

    // The comment block into the open text file, when the comment option is on.
    void WriteComment(bool appended);
    // One row to the text file; nothing when it is not open.
    void WriteText(const RecordingSnapshot& snapshot);
    // One record to the binary file; nothing when it is not open or the device is silent.
    void WriteBinary(const RecordingSnapshot& snapshot);
    // One tick of the recording: the text row, then the binary record.
    void Tick(const RecordingSnapshot& snapshot);

    struct Closing {
        RecordingFileKind file = RecordingFileKind::Text;
        std::string path;
        std::size_t held = 0;    // records that could not be written into the file
        std::string rescuePath;  // where they went; empty when they are lost
        int error = 0;           // why the rescue file could not take them
    };
    // Closes both files: one last attempt, then whatever is still held goes to a new file in
    // rescueFolder (created when needed) named after the file with the date and time, in the
    // file's format (a text file's header line first). Returns one entry per file that held
    // records; each also comes out as a Rescued or Lost event.
    std::vector<Closing> Close(const std::filesystem::path& rescueFolder);

    bool IsOpen(RecordingFileKind kind) const;
    bool AnyOpen() const;
    const CRecordingFile* File(RecordingFileKind kind) const;
    // The header line last written in this run (UTF-8), empty before the first.
    const std::string& LastHeader() const;

private:
    struct State;
    std::unique_ptr<State> state;
};
