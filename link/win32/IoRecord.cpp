#include "link/win32/IoRecord.h"

IoRecord::~IoRecord() {
    if (event != nullptr)
        CloseHandle(event);
}

OVERLAPPED* IoRecord::Arm() {
    io = OVERLAPPED{};
    io.hEvent = event;
    ResetEvent(event);
    return &io;
}

std::unique_ptr<IoRecord> NewIoRecord() {
    auto record = std::make_unique<IoRecord>();
    record->event = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // manual reset, not signalled
    if (record->event == nullptr)
        return nullptr;
    return record;
}

bool CompleteOrAbandon(HANDLE device, std::unique_ptr<IoRecord>& record, DWORD boundMs,
                       DWORD& transferred, DWORD& error) {
    if (WaitForSingleObject(record->event, boundMs) != WAIT_OBJECT_0) {
        CancelIoEx(device, &record->io);
        if (WaitForSingleObject(record->event, boundMs) != WAIT_OBJECT_0) {
            // The kernel may still write the OVERLAPPED, the mask or the buffer: leaked on
            // purpose, as only a broken driver gets here.
            static_cast<void>(record.release());
            error = ERROR_OPERATION_ABORTED;
            transferred = 0;
            return false;
        }
    }
    transferred = 0;
    error = GetOverlappedResult(device, &record->io, &transferred, FALSE) ? 0 : GetLastError();
    return true;
}
