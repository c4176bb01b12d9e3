#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>

// A bounded first-in first-out queue of small byte records in one file, so that what waits for
// the broker survives a restart of the program. Records have fixed slots in a ring; the header
// holds the head, the count and how many records were dropped. When full, a push drops the
// oldest record and counts it. Every record carries its sequence number and a checksum: a
// damaged or foreign file is never trusted (a damaged record reads as missing, a damaged
// header starts an empty queue). Writes go to the page cache, which survives the program but
// not a power cut. When the file cannot be used at all, the queue lives in memory with the
// same bound. A record the disk refuses (full, quota) is held in memory instead, up to
// kMaxHeld records; beyond that it is dropped and counted. Used from one thread.
class DiskQueue {
public:
    static constexpr std::size_t kSlotSize = 512;
    static constexpr std::size_t kMaxRecord = kSlotSize - 16;
    static constexpr std::uint64_t kMaxCapacity = 4'000'000;
    static constexpr std::size_t kMaxHeld = 20'000;  // about 8 MB of cycles

    DiskQueue() = default;
    ~DiskQueue();
    DiskQueue(const DiskQueue&) = delete;
    DiskQueue& operator=(const DiskQueue&) = delete;

    // Opens (or creates) the file. A file holding records keeps its own capacity until it is
    // empty. Returns false, leaving a queue in memory, when the file cannot be used.
    bool Open(const std::filesystem::path& path, std::uint64_t capacity);
    bool OnDisk() const { return fd_ >= 0; }
    int LastError() const { return error_; }
    // Records the disk refused so far, and whether the latest write was refused.
    std::uint64_t WriteFailures() const { return writeFailures_; }
    bool Failing() const { return failing_; }
    // Refused records held in memory now: lost if the program ends before they are sent.
    std::uint64_t Held() const { return held_.size(); }

    // False only for a record above kMaxRecord.
    bool Push(std::string_view record);
    // Sequence numbers run on across restarts: Front() .. Front() + Size() - 1 are queued.
    std::uint64_t Front() const { return head_; }
    std::uint64_t Size() const { return count_; }
    std::uint64_t Capacity() const { return capacity_; }
    std::uint64_t Dropped() const { return dropped_; }
    // False when the record is not queued or is damaged on disk.
    bool Read(std::uint64_t sequence, std::string& record) const;
    // Removes n records from the front.
    void Pop(std::uint64_t n);

private:
    void WriteHeader();
    void DropOldest();
    void Reset(std::uint64_t capacity);
    std::uint64_t SlotOffset(std::uint64_t sequence) const;

    int fd_ = -1;
    int error_ = 0;
    std::uint64_t capacity_ = 0;
    std::uint64_t head_ = 0;
    std::uint64_t count_ = 0;
    std::uint64_t dropped_ = 0;
    std::deque<std::string> memory_;             // without a file
    std::map<std::uint64_t, std::string> held_;  // refused by the disk, by sequence
    std::uint64_t writeFailures_ = 0;
    bool failing_ = false;
};
