#include "recorder/RecorderFiles.h"

#include <cerrno>

#include "settings/RecordingPlan.h"

namespace {

const char* KindName(RecordingFileKind kind) {
    return kind == RecordingFileKind::Text ? "text" : "binary";
}

std::string OpenFailure(int error) {
    if (error == EWOULDBLOCK) {
        return "in use by another recording program";
    }
    return ErrorText(error);
}

}  // namespace

CRecorderFiles::CRecorderFiles(Log log, std::filesystem::path rescueFolder)
    : log(std::move(log)), rescueFolder(std::move(rescueFolder)) {
    core.SetEventSink([this](const RecordingEvent& event) { Report(event); });
    // A file a reload closes for good keeps what it still holds, as at the end of the run.
    core.SetRescueFolder(this->rescueFolder);
}

CRecorderFiles::~CRecorderFiles() {
    Close();
}

std::string CRecorderFiles::Open(const RecorderConfig& config) {
    Close();
    current = config.log;
    core.SetSettings(RecordingSettingsFor(config.log));
    openFailure.clear();
    openError = 0;
    if (!core.OpenAtStartup()) {
        // All or nothing at the start: refusing is clearer than recording half.
        core.Close(rescueFolder);
        return openFailure.empty() ? std::string("cannot open the recording files") : openFailure;
    }
    return {};
}

std::string CRecorderFiles::Reload(const RecorderConfig& config) {
    const RecordingPlan plan =
        PlanRecordingChange(current, config.log, core.IsOpen(RecordingFileKind::Text),
                            core.IsOpen(RecordingFileKind::Binary));
    current = config.log;
    core.SetSettings(RecordingSettingsFor(config.log));
    openFailure.clear();
    openError = 0;
    reloading = true;
    if (plan.text != FileStep::Keep) {
        core.CloseFile(RecordingFileKind::Text);
    }
    if (plan.binary != FileStep::Keep) {
        core.CloseFile(RecordingFileKind::Binary);
    }
    core.Reopen();
    core.OpenAtStartup();
    reloading = false;
    return openFailure;
}

void CRecorderFiles::Close() {
    if (core.AnyOpen()) {
        core.Close(rescueFolder);
    }
}

bool CRecorderFiles::AnyOpen() const {
    return core.AnyOpen();
}

void CRecorderFiles::Tick(const RecordingSnapshot& snapshot) {
    core.Tick(snapshot);
}

void CRecorderFiles::Report(const RecordingEvent& event) {
    const std::string what = std::string(KindName(event.file)) + " file " + event.path;
    const std::string count = std::to_string(event.count);
    switch (event.kind) {
        case RecordingEventKind::Opened:
            log(LogLevel::Info,
                (event.appended ? "appending to the " : "recording into the ") + what);
            break;
        case RecordingEventKind::OpenFailed:
            openFailure = "cannot open the " + what + ": " + OpenFailure(event.error);
            openError = event.error;
            log(LogLevel::Error, openFailure);
            break;
        case RecordingEventKind::SpellStarted:
            log(LogLevel::Error, "cannot write to " + event.path + ": " + ErrorText(event.error) +
                                     "; records are held in memory and written when possible");
            break;
        case RecordingEventKind::SpellEnded:
            log(LogLevel::Info, "writing to " + event.path + " again, the held records included" +
                                    (event.count > 0 ? " (" + count + " dropped)" : ""));
            break;
        case RecordingEventKind::Reopened:
            if (reloading) {
                log(LogLevel::Info, "reopened the " + what);
            } else {
                log(LogLevel::Warning, event.path + " was removed or replaced: reopened");
            }
            break;
        case RecordingEventKind::Dropped:
            log(LogLevel::Warning, "the records held for " + event.path +
                                       " exceed the limit: the oldest are being dropped (" + count +
                                       " so far)");
            break;
        case RecordingEventKind::MediumAway:
            log(LogLevel::Error,
                "the medium of " + event.path +
                    " has left its folder (unmounted?): no file is made in its place until it is "
                    "back");
            break;
        case RecordingEventKind::MediumBack:
            log(LogLevel::Info, "the medium of " + event.path + " is back");
            break;
        case RecordingEventKind::Rescued:
            log(LogLevel::Warning,
                count + " held records for " + event.path + " written to " + event.rescuePath);
            break;
        case RecordingEventKind::Lost:
            log(LogLevel::Error,
                count + " held records for " + event.path + " lost: " + ErrorText(event.error));
            break;
    }
}

std::size_t CRecorderFiles::Held() const {
    std::size_t held = 0;
    for (RecordingFileKind kind : {RecordingFileKind::Text, RecordingFileKind::Binary}) {
        if (const CRecordingFile* file = core.File(kind)) {
            held += file->QueuedRecords();
        }
    }
    return held;
}

std::string CRecorderFiles::StatusText() const {
    std::string text;
    for (RecordingFileKind kind : {RecordingFileKind::Text, RecordingFileKind::Binary}) {
        if (const CRecordingFile* file = core.File(kind)) {
            text += (text.empty() ? "" : ", ") + file->Path();
        }
    }
    text = text.empty() ? std::string("no file open") : "recording to " + text;
    for (RecordingFileKind kind : {RecordingFileKind::Text, RecordingFileKind::Binary}) {
        const CRecordingFile* file = core.File(kind);
        if (file != nullptr && file->Failing()) {
            return text + "; write failing (" + std::string(ErrorText(file->LastError())) + "), " +
                   std::to_string(Held()) + " records held";
        }
    }
    return text + "; " + std::to_string(Held()) + " records held";
}
