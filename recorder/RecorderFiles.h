#pragma once
#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "device/InputReading.h"
#include "recorder/RecorderConfig.h"
#include "recorder/RecorderLog.h"
#include "recording/RecordingFile.h"
#include "recording/format/RecordTime.h"

// The recorder's two files and the decisions of a tick, as the window takes them: a text row on
// every tick (the short header while the device is silent), a binary record only while it
// answers, the header line again whenever it changes. Events go to the log callback.
class CRecorderFiles {
public:
    using Log = std::function<void(LogLevel, const std::string&)>;
    explicit CRecorderFiles(Log log);
    ~CRecorderFiles();

    // Opens the files config wants, appending. Returns an empty text, or why a file could not be
    // opened (nothing is open then).
    std::string Open(const RecorderConfig& config);
    // Writes out what it can and releases both files.
    void Close();
    bool AnyOpen() const;

    void Write(bool responding, const std::array<InputReading, 8>& readings,
               const RecordTime& time);

    std::size_t Queued() const;
    // "queue 0" or the failing file's reason, for the service status.
    std::string StatusText() const;

private:
    void Report(const CRecordingFile& file, const AppendOutcome& outcome);

    Log log;
    RecorderConfig config;
    std::unique_ptr<CRecordingFile> textFile;
    std::unique_ptr<CRecordingFile> binaryFile;
    std::string lastHeader;
    std::size_t droppedText = 0;
    std::size_t droppedBinary = 0;
};
