#pragma once
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>

#include "recorder/RecorderConfig.h"
#include "recorder/RecorderLog.h"
#include "recording/RecordingCore.h"
#include "settings/LogSettings.h"

// The recorder's two files through the recording core the window uses, with the core's events
// told as log lines.
class CRecorderFiles {
public:
    using Log = std::function<void(LogLevel, const std::string&)>;
    CRecorderFiles(Log log, std::filesystem::path rescueFolder);
    ~CRecorderFiles();

    // Opens the files config wants, appending. Returns an empty text, or why a file could not be
    // opened (nothing is open then).
    std::string Open(const RecorderConfig& config);
    // For SIGHUP: files the change keeps are closed and opened again (a rotated file is created
    // anew, held records go to it first); files the change opens anew (see PlanRecordingChange)
    // are closed, their held records going to the rescue folder, and opened. Returns what failed
    // to open, empty when every wanted file is open.
    std::string Reload(const RecorderConfig& config);
    // One last attempt, then held records go to the rescue folder.
    void Close();
    bool AnyOpen() const;
    // The error of the last file that could not be opened, 0 when none failed.
    int OpenError() const { return openError; }

    void Tick(const RecordingSnapshot& snapshot);

    std::size_t Held() const;
    // The open files, a failure's reason and the records held, for the service status.
    std::string StatusText() const;

private:
    void Report(const RecordingEvent& event);

    Log log;
    std::filesystem::path rescueFolder;
    CRecordingCore core;
    LogSettings current;  // what the files were opened for
    bool reloading = false;
    std::string openFailure;  // the last OpenFailed, as a line
    int openError = 0;
};
