#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "trend/QdxParser.h"
#include "trend/QdxStoreSink.h"
#include "trend/SampleStore.h"
#include "trend/TextRecordingParser.h"

// Opening a recording file (text/CSV or .qdx, told apart by content) into a sample store.
//
// The path is checked before anything is read: it must name a regular file (a pipe or a device
// could block or never end), and its size at opening bounds the reading. The file is read in
// chunks of 256 KB; between chunks the progress is reported and the cancel flag is looked at. The
// store is paged: it keeps the pyramid (at most 256 MiB: a month at 1 s keeps every level, a
// year drops the finest) and where each chunk's cycles lie in the file, and reads them again
// from the file, which it keeps open, when a view or an export needs raw samples.
enum class RecordingFormat { Text, Qdx };

struct ReadControl {
    const std::atomic<bool>* cancel = nullptr;
    std::function<void(uint64_t done, uint64_t total)> progress;
    std::size_t pyramidBytes = 0;  // the pyramid's memory bound; 0: the default (256 MiB)
};

struct RecordingSummary {
    RecordingFormat format = RecordingFormat::Text;
    uint64_t bytes = 0;
    std::size_t records = 0;     // rows or records read
    std::size_t badRecords = 0;  // skipped: damaged, torn or without a header
    bool tornTail = false;
    std::size_t invalidValues = 0;  // "???" cells
    std::size_t comments = 0;       // comment and empty lines
    std::size_t headers = 0;
    std::size_t gaps = 0;        // silences longer than the recording's step
    std::size_t backInTime = 0;  // records refused because their time went backwards
    int64_t firstMs = 0;
    int64_t lastMs = 0;
};

struct RecordingRead {
    std::unique_ptr<CSampleStore> store;  // null on failure
    RecordingSummary summary;
    bool cancelled = false;
    std::string error;  // Polish, UTF-8; empty on success
};

RecordingRead ReadRecordingFile(const std::string& path, const ReadControl& control = {});

// The summary in Polish, a few lines, e.g. for a message box or the tool's output.
std::string DescribeSummary(const RecordingSummary& summary);
