#include "link/SerialPort.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "link/ComPortMap.h"
#include "link/GenericDriver.h"
#include "link/SerialPortCore.h"
#include "link/win32/IoRecord.h"
#include "link/win32/PortOpener.h"

namespace {

// A write that cannot get rid of its bytes within this time is abandoned.
constexpr DWORD kWriteTimeoutMs = 2000;
// How long an operation may take to complete, and then again after its cancel, before its
// record is abandoned.
constexpr DWORD kSettleMs = 1000;
// How long opening a port may hold up its caller: some Bluetooth ports take seconds.
constexpr DWORD kOpenBoundMs = 3000;
// Event waits that fail in a row before the device counts as gone: a vanished adapter makes
// every wait fail at once, which must not turn into a spin.
constexpr int kWaitFailuresForHangUp = 3;
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

HANDLE NewEvent() {
    return CreateEventW(nullptr, TRUE, FALSE, nullptr);  // manual reset, not signalled
}

void CloseEvent(HANDLE& event) {
    if (event != nullptr)
        CloseHandle(event);
    event = nullptr;
}

// DCB fields for no flow control of any kind, with DTR and RTS held at lines.
void SetLineControl(DCB& dcb, DWORD lines) {
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fDtrControl = lines;
    dcb.fRtsControl = lines;
}

std::string Narrow(const std::wstring& wide) {
    return std::string(wide.begin(), wide.end());  // \\.\COMn is ASCII
}

}  // namespace

// Overlapped I/O on \\.\COMn. The receive thread keeps one WaitCommEvent pending and waits
// in WaitForMultipleObjects on the shutdown, write and wait-completion events: the array's
// order is the precedence. Reads and writes use their own overlapped record, so a write does
// not disturb the pending event wait.
class CSerialPort::CBackend : public CSerialPortCore {
public:
    CBackend() = default;
    ~CBackend() override;

private:
    bool PrepareEvents(int& error) override;
    bool ResolvePath() override;
    int NotFoundError() const override { return ERROR_FILE_NOT_FOUND; }
    std::string PathText() const override { return Narrow(path); }
    std::string ErrorText(int error) const override { return "error " + std::to_string(error); }
    int OpenDevice() override;
    void CloseDevice() override;
    void ReleaseLines() override;
    void SignalWrite() override;
    void SignalShutdown() override;
    void ClearShutdown() override;
    void PurgeDevice() override;
    bool DeviceOpen() const override { return device != INVALID_HANDLE_VALUE; }
    bool ArmLineWait() override { return waitPending || StartWait(); }
    Wake WaitForWake(bool idle, bool up, int timeoutMs) override;
    void SendQueued() override;
    void OnLineEvent() override { FinishWait(); }
    void EndReceiving() override { SettleWait(); }

    bool StartWait();
    void FinishWait();
    void SettleWait();
    // Counts a failed event wait; false when the device is taken as gone (hung up).
    bool WaitFailed(DWORD error);
    void Receive();
    void Send();
    void ApplyLineSettings(HANDLE h);
    // The device went away (error says how): close it and reopen it about once a second.
    void HangUp(const char* what, DWORD error);

    HANDLE shutdownEvent = nullptr;
    HANDLE writeEvent = nullptr;
    HANDLE device = INVALID_HANDLE_VALUE;
    std::wstring path;
    // Receive thread only. The pending WaitCommEvent's, and a read's or a write's; a record the
    // driver never completed is abandoned and a new one made.
    std::unique_ptr<IoRecord> waitRecord;
    std::unique_ptr<IoRecord> ioRecord;
    bool waitPending = false;
    int waitFailures = 0;
};

CSerialPort::CSerialPort() : backend(std::make_unique<CBackend>()) {}

CSerialPort::CBackend::~CBackend() {
    Close();
    CloseEvent(writeEvent);
    CloseEvent(shutdownEvent);
}

void CSerialPort::CBackend::ReleaseLines() {
    // Flow control off and DTR and RTS dropped before the device is closed.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (device != INVALID_HANDLE_VALUE && GetCommState(device, &dcb)) {
        SetLineControl(dcb, DTR_CONTROL_DISABLE);
        SetCommState(device, &dcb);
    }
}

bool CSerialPort::CBackend::PrepareEvents(int& error) {
    for (HANDLE* event : {&shutdownEvent, &writeEvent}) {
        if (*event == nullptr)
            *event = NewEvent();
    }
    if (!waitRecord)
        waitRecord = NewIoRecord();
    if (!ioRecord)
        ioRecord = NewIoRecord();
    error = static_cast<int>(GetLastError());
    if (shutdownEvent != nullptr)
        ResetEvent(shutdownEvent);
    if (writeEvent != nullptr)
        ResetEvent(writeEvent);
    return shutdownEvent != nullptr && writeEvent != nullptr && waitRecord && ioRecord;
}

bool CSerialPort::CBackend::ResolvePath() {
    path = comport::ResolvePath(portNumber, comport::PortsFolder()).wstring();
    return !path.empty();
}

void CSerialPort::CBackend::SignalWrite() {
    if (writeEvent != nullptr)
        SetEvent(writeEvent);
}

// The event wakes the thread; on its way out it clears the event mask, which completes the
// pending WaitCommEvent before the device may be closed.
void CSerialPort::CBackend::SignalShutdown() {
    SetEvent(shutdownEvent);
}

void CSerialPort::CBackend::ClearShutdown() {
    ResetEvent(shutdownEvent);
}

int CSerialPort::CBackend::OpenDevice() {
    // No sharing: a port in use by another program fails to open. Bounded, so that a port
    // that takes long to answer holds up neither the caller nor a shutdown.
    DWORD error = 0;
    const HANDLE h = OpenPortBounded(
        path,
        [](const std::wstring& name) {
            return CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        },
        kOpenBoundMs, error);
    if (h == INVALID_HANDLE_VALUE)
        return static_cast<int>(error != 0 ? error : ERROR_GEN_FAILURE);
    // From here on failures are silent: the port counts as open.
    ApplyLineSettings(h);
    PurgeComm(h, kPurgeAll);
    device = h;
    return 0;
}

void CSerialPort::CBackend::ApplyLineSettings(HANDLE h) {
    // Reads return at once with whatever has arrived; writes have no time-out.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    if (!SetCommTimeouts(h, &timeouts))
        return;
    if (!SetCommMask(h, (eventMask & kEventRxChar) ? EV_RXCHAR : 0))
        return;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(h, &dcb))
        return;
    char definition[64];
    snprintf(definition, sizeof definition, "baud=%d parity=%c data=%d stop=%d", baud, parity,
             dataBits, stopBits);
    if (!BuildCommDCBA(definition, &dcb))
        return;
    // After BuildCommDCB, which may put its own defaults into the flow-control fields.
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    dcb.fDsrSensitivity = FALSE;
    SetLineControl(dcb, DTR_CONTROL_ENABLE);  // DTR and RTS raised
    SetCommState(h, &dcb);
}

void CSerialPort::CBackend::CloseDevice() {
    std::lock_guard guard(lock);
    if (device == INVALID_HANDLE_VALUE)
        return;
    CloseHandle(device);
    device = INVALID_HANDLE_VALUE;
}

void CSerialPort::CBackend::PurgeDevice() {
    if (device != INVALID_HANDLE_VALUE)
        PurgeComm(device, kPurgeAll);
    waitPending = false;
    waitFailures = 0;
}

CSerialPortCore::Wake CSerialPort::CBackend::WaitForWake(bool idle, bool up, int timeoutMs) {
    const HANDLE events[3] = {shutdownEvent, writeEvent, waitRecord ? waitRecord->event : nullptr};
    const DWORD count = idle ? 1 : (up && waitPending ? 3 : 2);
    const DWORD ready = WaitForMultipleObjects(
        count, events, FALSE, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
    // Precedence by array order: shutdown, then a queued write, then a line event.
    switch (ready) {
        case WAIT_OBJECT_0 + 1:
            return Wake::Write;
        case WAIT_OBJECT_0 + 2:
            return Wake::Line;
        case WAIT_TIMEOUT:
            return Wake::Timeout;
        default:
            return Wake::Shutdown;  // asked for, or the wait failed
    }
}

void CSerialPort::CBackend::SendQueued() {
    ResetEvent(writeEvent);
    Send();
}

bool CSerialPort::CBackend::StartWait() {
    DWORD error;
    {
        std::lock_guard guard(lock);
        if (device == INVALID_HANDLE_VALUE)
            return false;
        if (!waitRecord)
            waitRecord = NewIoRecord();
        if (!waitRecord) {
            HangUp("event wait", GetLastError());
            return false;
        }
        OVERLAPPED* io = waitRecord->Arm();
        waitRecord->mask = 0;
        if (WaitCommEvent(device, &waitRecord->mask, io)) {
            // Done at once: handled like a completion, so that shutdown and writes keep
            // their precedence over a steady stream of received bytes.
            SetEvent(waitRecord->event);
            waitPending = true;
            return true;
        }
        error = GetLastError();
        if (error == ERROR_IO_PENDING) {
            waitPending = true;
            return true;
        }
    }
    // Bytes already waiting are not lost; the next wait starts at once.
    if (WaitFailed(error))
        Receive();
    return false;
}

void CSerialPort::CBackend::FinishWait() {
    DWORD error = 0;
    {
        std::lock_guard guard(lock);
        waitPending = false;
        if (device == INVALID_HANDLE_VALUE || !waitRecord)
            return;
        DWORD transferred = 0;
        if (!GetOverlappedResult(device, &waitRecord->io, &transferred, FALSE))
            error = GetLastError();
        ResetEvent(waitRecord->event);
        if (error == 0)
            waitFailures = 0;
    }
    // Whatever the mask says: bytes may have come with an event that was missed.
    if (error == 0 || WaitFailed(error))
        Receive();
}

bool CSerialPort::CBackend::WaitFailed(DWORD error) {
    std::lock_guard guard(lock);
    if (device == INVALID_HANDLE_VALUE)
        return false;
    Trace("event wait on " + Narrow(path) + " failed: error " + std::to_string(error));
    DWORD errors = 0;
    COMSTAT status{};
    // A device that cannot report its state any more is gone.
    if (!ClearCommError(device, &errors, &status) || ++waitFailures >= kWaitFailuresForHangUp) {
        HangUp("event wait", error);
        return false;
    }
    return true;
}

void CSerialPort::CBackend::SettleWait() {
    if (!waitPending || device == INVALID_HANDLE_VALUE) {
        waitPending = false;
        return;
    }
    waitPending = false;
    // Clearing the mask completes a pending WaitCommEvent (wine reports it as aborted).
    SetCommMask(device, 0);
    DWORD transferred = 0;
    DWORD error = 0;
    if (CompleteOrAbandon(device, waitRecord, kSettleMs, transferred, error))
        ResetEvent(waitRecord->event);
    else
        Trace("event wait on " + Narrow(path) + " never completed; its record is abandoned");
}

void CSerialPort::CBackend::Receive() {
    for (;;) {
        uint8_t bytes[sizeof IoRecord::data];
        DWORD got = 0;
        bool gone = false;
        DWORD error = 0;
        {
            std::lock_guard guard(lock);
            if (device == INVALID_HANDLE_VALUE)
                return;
            DWORD errors = 0;
            COMSTAT status{};
            if (!ClearCommError(device, &errors, &status)) {
                gone = true;
                error = GetLastError();
            } else if (status.cbInQue == 0) {
                return;
            } else if (!ioRecord && !(ioRecord = NewIoRecord())) {
                gone = true;
                error = GetLastError();
            } else {
                const DWORD want = std::min<DWORD>(status.cbInQue, sizeof ioRecord->data);
                if (!ReadFile(device, ioRecord->data, want, &got, ioRecord->Arm())) {
                    error = GetLastError();
                    // Bounded: wine keeps a read pending while nothing is there to read,
                    // where Windows returns at once with these time-outs.
                    if (error == ERROR_IO_PENDING &&
                        !CompleteOrAbandon(device, ioRecord, kSettleMs, got, error)) {
                        error = ERROR_NOT_READY;  // a read the driver never completes
                    }
                }
                // Wine reports a read that found nothing as a time-out.
                if (error == ERROR_TIMEOUT || error == ERROR_OPERATION_ABORTED) {
                    got = 0;
                } else if (error != 0) {
                    gone = true;  // ERROR_BROKEN_PIPE and the like: the device went away
                } else {
                    std::memcpy(bytes, ioRecord->data, got);  // delivered outside the lock
                }
            }
        }
        if (gone) {
            HangUp("read", error);
            return;
        }
        if (got == 0)
            return;  // counted but not readable: wait for the next event, do not spin
        Deliver(bytes, got);
    }
}

void CSerialPort::CBackend::Send() {
    uint8_t bytes[kWriteCapacity];
    const int length = TakeWrite(bytes);
    std::lock_guard guard(lock);
    // A hung-up device drops the write; the Modbus master sees a time-out.
    if (device == INVALID_HANDLE_VALUE)
        return;
    if (!ioRecord && !(ioRecord = NewIoRecord())) {
        HangUp("write", GetLastError());
        return;
    }
    // A reply must never mix with bytes left over from before.
    PurgeComm(device, kPurgeAll);
    static_assert(sizeof bytes <= sizeof IoRecord::data);
    std::memcpy(ioRecord->data, bytes, static_cast<size_t>(length));
    OVERLAPPED* io = ioRecord->Arm();  // position 0
    DWORD written = 0;
    if (WriteFile(device, ioRecord->data, static_cast<DWORD>(length), &written, io))
        return;
    DWORD error = GetLastError();
    if (error == ERROR_IO_PENDING) {
        const HANDLE events[2] = {shutdownEvent, ioRecord->event};
        // A line that does not drain (flow control stuck) or a shutdown abandons the write.
        if (WaitForMultipleObjects(2, events, FALSE, kWriteTimeoutMs) != WAIT_OBJECT_0 + 1)
            CancelIoEx(device, io);
        if (!CompleteOrAbandon(device, ioRecord, kSettleMs, written, error))
            error = ERROR_NOT_READY;  // a write the driver never completes
    }
    // ERROR_NOT_READY and the like: the device went away.
    if (error != 0 && error != ERROR_OPERATION_ABORTED)
        HangUp("write", error);
}

void CSerialPort::CBackend::HangUp(const char* what, DWORD error) {
    Trace("hang-up on " + Narrow(path) + " (" + what + " error " + std::to_string(error) +
          "), reopening about once a second");
    SettleWait();
    CloseDevice();
    waitFailures = 0;
    ScheduleReopen();
}
