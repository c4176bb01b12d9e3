#include "recorder/RecorderFiles.h"

#include <cerrno>

#include "recording/format/BinaryRecordFormat.h"
#include "recording/format/FileText.h"
#include "recording/format/TextRecordFormat.h"

namespace {

std::string OpenFailure(int error) {
    if (error == EWOULDBLOCK) {
        return "in use by another recording program";
    }
    return std::string(ErrorText(error));
}

}  // namespace

CRecorderFiles::CRecorderFiles(Log log) : log(std::move(log)) {}

CRecorderFiles::~CRecorderFiles() {
    Close();
}

std::string CRecorderFiles::Open(const RecorderConfig& wanted) {
    Close();
    config = wanted;
    lastHeader.clear();  // a file opened anew begins its rows under a header line
    const auto open = [this](RecordingFileKind kind, const std::string& path,
                             std::unique_ptr<CRecordingFile>& slot) -> std::string {
        auto file = std::make_unique<CRecordingFile>(kind);
        const OpenOutcome opened = file->Open(path);
        int error = opened.error;
        if (error == 0) {
            error = file->PrepareAppend();
        }
        const char* what = kind == RecordingFileKind::Text ? "text" : "binary";
        if (error != 0) {
            return std::string("cannot open the ") + what + " file " + path + ": " +
                   OpenFailure(error);
        }
        log(LogLevel::Info, std::string(opened.existed ? "appending to the " : "created the ") +
                                what + " file " + path);
        slot = std::move(file);
        return {};
    };
    std::string problem;
    if (config.TextWanted()) {
        problem = open(RecordingFileKind::Text, config.textFilePath, textFile);
    }
    if (problem.empty() && config.BinaryWanted()) {
        problem = open(RecordingFileKind::Binary, config.binaryFilePath, binaryFile);
    }
    if (!problem.empty()) {
        Close();
    }
    return problem;
}

void CRecorderFiles::Close() {
    for (std::unique_ptr<CRecordingFile>* slot : {&textFile, &binaryFile}) {
        if (!*slot) {
            continue;
        }
        CRecordingFile& file = **slot;
        const std::size_t queued = file.QueuedRecords();
        const std::string path = file.Path();
        file.Close();
        if (queued > 0 && file.QueuedRecords() == 0 && !file.Failing()) {
            log(LogLevel::Info, "closed " + path + " with its queued records written");
        } else if (queued > 0) {
            log(LogLevel::Error, std::to_string(queued) + " records for " + path +
                                     " could not be written before closing");
        }
        slot->reset();
    }
    droppedText = droppedBinary = 0;
}

bool CRecorderFiles::AnyOpen() const {
    return textFile || binaryFile;
}

void CRecorderFiles::Write(bool responding, const std::array<InputReading, 8>& readings,
                           const RecordTime& time) {
    if (textFile) {
        TextRecord record =
            BuildTextRecord(readings, config.recordInput, TextSeparator(config.separatorCode),
                            responding, time, lastHeader);
        const std::string header = FileText(record.header);
        lastHeader = std::move(record.header);
        Report(*textFile, textFile->Append({std::move(record.bytes), header}));
    }
    if (binaryFile && responding) {
        Report(*binaryFile, binaryFile->Append({BuildBinaryRecord(readings, time), {}}));
    }
}

void CRecorderFiles::Report(const CRecordingFile& file, const AppendOutcome& outcome) {
    if (outcome.reopened) {
        log(LogLevel::Warning, file.Path() + " was removed or replaced: reopened");
    }
    if (outcome.spellStarted) {
        log(LogLevel::Error, "cannot write to " + file.Path() + ": " +
                                 std::string(ErrorText(outcome.error)) +
                                 "; records are kept in memory and written when possible");
    }
    if (outcome.spellEnded) {
        log(LogLevel::Info, "writing to " + file.Path() + " again, the held records included");
    }
    std::size_t& seen = &file == textFile.get() ? droppedText : droppedBinary;
    if (file.DroppedRecords() > seen) {
        // Once per spell of drops, not once per record.
        if (seen == 0 || outcome.spellStarted) {
            log(LogLevel::Warning, "the memory queue of " + file.Path() +
                                       " is full: the oldest records are being dropped");
        }
        seen = file.DroppedRecords();
    }
}

std::size_t CRecorderFiles::Queued() const {
    std::size_t queued = 0;
    for (const CRecordingFile* file : {textFile.get(), binaryFile.get()}) {
        if (file != nullptr) {
            queued += file->QueuedRecords();
        }
    }
    return queued;
}

std::string CRecorderFiles::StatusText() const {
    for (const CRecordingFile* file : {textFile.get(), binaryFile.get()}) {
        if (file != nullptr && file->Failing()) {
            return "write failing (" + std::string(ErrorText(file->LastError())) + "), " +
                   std::to_string(Queued()) + " records held";
        }
    }
    return "writing";
}
