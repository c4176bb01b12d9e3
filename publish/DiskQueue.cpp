#include "publish/DiskQueue.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "os/FileWrite.h"

namespace {

constexpr char kMagic[8] = {'O', 'R', 'V', 'X', 'M', 'Q', 'Q', '1'};
constexpr std::size_t kHeaderSize = 64;

std::uint32_t Fnv1a(const unsigned char* data, std::size_t size, std::uint32_t hash = 2166136261u) {
    for (std::size_t i = 0; i < size; ++i) {
        hash = (hash ^ data[i]) * 16777619u;
    }
    return hash;
}

void Put32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<unsigned char>(v >> (8 * i));
    }
}
void Put64(unsigned char* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) {
        p[i] = static_cast<unsigned char>(v >> (8 * i));
    }
}
std::uint32_t Get32(const unsigned char* p) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = (v << 8) | p[i];
    }
    return v;
}
std::uint64_t Get64(const unsigned char* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) {
        v = (v << 8) | p[i];
    }
    return v;
}

bool ReadAll(int fd, unsigned char* data, std::size_t size, off_t offset) {
    while (size > 0) {
        const ssize_t n = pread(fd, data, size, offset);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += n;
    }
    return true;
}

}  // namespace

DiskQueue::~DiskQueue() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

bool DiskQueue::Open(const std::filesystem::path& path, std::uint64_t capacity) {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    capacity = std::max<std::uint64_t>(1, std::min(capacity, kMaxCapacity));
    capacity_ = capacity;
    head_ = count_ = dropped_ = 0;
    memory_.clear();
    held_.clear();
    writeFailures_ = 0;
    failing_ = false;
    error_ = 0;

    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0) {
        error_ = errno;
        return false;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error_ = fstat(fd, &st) != 0 ? errno : EINVAL;
        close(fd);
        return false;
    }
    fd_ = fd;
    unsigned char h[kHeaderSize] = {};
    bool valid = st.st_size >= static_cast<off_t>(kHeaderSize) && ReadAll(fd, h, kHeaderSize, 0) &&
                 std::memcmp(h, kMagic, 8) == 0 && Get32(h + 8) == kSlotSize &&
                 Get32(h + 60) == Fnv1a(h, 60);
    if (valid) {
        const std::uint64_t fileCapacity = Get64(h + 16);
        const std::uint64_t head = Get64(h + 24);
        const std::uint64_t count = Get64(h + 32);
        valid = fileCapacity >= 1 && fileCapacity <= kMaxCapacity && count <= fileCapacity &&
                head <= UINT64_MAX / 2 &&
                static_cast<std::uint64_t>(st.st_size) <= kHeaderSize + fileCapacity * kSlotSize;
        if (valid && count > 0) {
            capacity_ = fileCapacity;
            head_ = head;
            count_ = count;
            dropped_ = Get64(h + 40);
            return true;
        }
        if (valid) {
            head_ = head;
            dropped_ = Get64(h + 40);
        }
    }
    // Empty, new or damaged: start over with the asked capacity.
    Reset(capacity);
    return fd_ >= 0;
}

void DiskQueue::Reset(std::uint64_t capacity) {
    capacity_ = capacity;
    count_ = 0;
    if (fd_ >= 0 && ftruncate(fd_, kHeaderSize) != 0) {
        error_ = errno;
    }
    WriteHeader();
}

void DiskQueue::WriteHeader() {
    if (fd_ < 0) {
        return;
    }
    unsigned char h[kHeaderSize] = {};
    std::memcpy(h, kMagic, 8);
    Put32(h + 8, kSlotSize);
    Put64(h + 16, capacity_);
    Put64(h + 24, head_);
    Put64(h + 32, count_);
    Put64(h + 40, dropped_);
    Put32(h + 60, Fnv1a(h, 60));
    if (WriteAllAt(fd_, h, kHeaderSize, 0) != 0) {
        // The disk refuses: carry on in memory from here, losing nothing queued so far.
        error_ = errno != 0 ? errno : EIO;
        std::deque<std::string> kept;
        for (std::uint64_t s = head_; s < head_ + count_; ++s) {
            std::string record;
            if (Read(s, record)) {  // held ones included
                kept.push_back(std::move(record));
            } else {
                kept.emplace_back();
            }
        }
        close(fd_);
        fd_ = -1;
        memory_ = std::move(kept);
        held_.clear();
    }
}

std::uint64_t DiskQueue::SlotOffset(std::uint64_t sequence) const {
    return kHeaderSize + (sequence % capacity_) * kSlotSize;
}

bool DiskQueue::Push(std::string_view record) {
    if (record.size() > kMaxRecord) {
        return false;
    }
    // In a full queue the new record's slot is the oldest one's, given up below.
    const std::uint64_t next = head_ + count_;
    bool refused = false;
    if (fd_ >= 0) {
        unsigned char slot[kSlotSize] = {};
        Put64(slot, next);
        Put32(slot + 8, static_cast<std::uint32_t>(record.size()));
        std::memcpy(slot + 16, record.data(), record.size());
        Put32(slot + 12, Fnv1a(slot + 16, record.size(), Fnv1a(slot, 12)));
        refused = WriteAllAt(fd_, slot, 16 + record.size(), SlotOffset(next)) != 0;
        if (refused) {
            error_ = errno != 0 ? errno : EIO;
            ++writeFailures_;
        }
        failing_ = refused;
    }
    if (refused && held_.size() >= kMaxHeld) {
        ++dropped_;  // neither the disk nor the memory bound takes it: the newest is given up
        WriteHeader();
        return true;
    }
    if (count_ == capacity_) {
        DropOldest();
    }
    if (refused) {
        held_.emplace(head_ + count_, record);
    } else if (fd_ < 0) {
        memory_.emplace_back(record);
    }
    ++count_;
    WriteHeader();
    return true;
}

void DiskQueue::DropOldest() {
    held_.erase(head_);
    ++head_;
    --count_;
    ++dropped_;
    if (fd_ < 0 && !memory_.empty()) {
        memory_.pop_front();
    }
}

bool DiskQueue::Read(std::uint64_t sequence, std::string& record) const {
    record.clear();
    if (sequence < head_ || sequence >= head_ + count_) {
        return false;
    }
    if (const auto held = held_.find(sequence); held != held_.end()) {
        record = held->second;
        return true;
    }
    if (fd_ < 0) {
        record = memory_[sequence - head_];
        return !record.empty();
    }
    unsigned char slot[kSlotSize];
    if (!ReadAll(fd_, slot, 16, static_cast<off_t>(SlotOffset(sequence)))) {
        return false;
    }
    const std::uint32_t size = Get32(slot + 8);
    if (Get64(slot) != sequence || size > kMaxRecord ||
        !ReadAll(fd_, slot + 16, size, static_cast<off_t>(SlotOffset(sequence) + 16)) ||
        Get32(slot + 12) != Fnv1a(slot + 16, size, Fnv1a(slot, 12))) {
        return false;
    }
    record.assign(reinterpret_cast<const char*>(slot + 16), size);
    return true;
}

void DiskQueue::Pop(std::uint64_t n) {
    n = std::min(n, count_);
    if (n == 0) {
        return;
    }
    head_ += n;
    count_ -= n;
    held_.erase(held_.begin(), held_.lower_bound(head_));
    if (fd_ < 0) {
        memory_.erase(memory_.begin(), memory_.begin() + static_cast<std::ptrdiff_t>(n));
    }
    if (count_ == 0 && fd_ >= 0) {
        // Emptied: give the disk space back.
        if (ftruncate(fd_, kHeaderSize) != 0) {
            error_ = errno;
        }
    }
    WriteHeader();
}
