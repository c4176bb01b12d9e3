#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>

// One overlapped operation's memory: the OVERLAPPED, its manual-reset completion event and the
// buffers the kernel reads or writes. Kept on the heap so that an operation the driver does not
// complete even after a cancel can be abandoned with everything it may still touch, instead of
// that memory being reused or freed under the kernel.
struct IoRecord {
    IoRecord() = default;
    ~IoRecord();
    IoRecord(const IoRecord&) = delete;
    IoRecord& operator=(const IoRecord&) = delete;

    // Zeroed and pointed at the event, which is reset: ready for the next operation.
    OVERLAPPED* Arm();

    OVERLAPPED io{};
    HANDLE event = nullptr;
    DWORD mask = 0;  // WaitCommEvent's result
    uint8_t data[256] = {};
};

// nullptr when no event could be made.
std::unique_ptr<IoRecord> NewIoRecord();

// For an operation that may still be pending: cancels it unless it completes within boundMs,
// then waits up to boundMs more for the completion. True when it completed (error and
// transferred tell how; the record may be used again); false when the driver never completed it:
// the record is then released and deliberately never freed.
bool CompleteOrAbandon(HANDLE device, std::unique_ptr<IoRecord>& record, DWORD boundMs,
                       DWORD& transferred, DWORD& error);
