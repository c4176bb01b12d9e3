#include "link/SerialPort.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "link/GenericDriver.h"
#include "link/LinkTrace.h"
#include "link/SerialPortCore.h"

CSerialPort::~CSerialPort() = default;

bool CSerialPort::Open(CGenericDriver* owner, int portNumber, int baud, char parity, int dataBits,
                       int stopBits, uint32_t eventMask, int writeBufferSize) {
    return backend->Open(owner, portNumber, baud, parity, dataBits, stopBits, eventMask,
                         writeBufferSize);
}
int CSerialPort::LastOpenError() const {
    return backend->LastOpenError();
}
bool CSerialPort::IsOpen() const {
    return backend->IsOpen();
}
bool CSerialPort::ThreadRunning() const {
    return backend->ThreadRunning();
}
bool CSerialPort::StartReceiveThread() {
    return backend->StartReceiveThread();
}
void CSerialPort::SuspendReceiveThread() {
    backend->SuspendReceiveThread();
}
void CSerialPort::QueueWrite(const uint8_t* bytes, int length) {
    backend->QueueWrite(bytes, length);
}

bool CSerialPortCore::Open(CGenericDriver* newOwner, int newPortNumber, int newBaud, char newParity,
                           int newDataBits, int newStopBits, uint32_t newEventMask,
                           int newWriteBufferSize) {
    StopThread();
    opened = false;
    int eventError = 0;
    const bool eventsReady = PrepareEvents(eventError);

    owner = newOwner;
    portNumber = newPortNumber;
    baud = newBaud;
    parity = newParity;
    dataBits = newDataBits;
    stopBits = newStopBits;
    eventMask = newEventMask;
    writeBufferSize = newWriteBufferSize;

    std::lock_guard guard(lock);
    CloseDevice();
    if (!eventsReady) {
        lastOpenError = eventError;
        return false;
    }
    if (!ResolvePath()) {
        lastOpenError = NotFoundError();
        return false;
    }
    lastOpenError = OpenDevice();
    if (lastOpenError != 0) {
        Trace("open " + PathText() + " failed: " + ErrorText(lastOpenError));
        return false;
    }
    Trace("opened " + PathText());
    opened = true;
    return true;
}

void CSerialPortCore::Close() {
    StopThread();
    {
        std::lock_guard guard(lock);
        ReleaseLines();
        CloseDevice();
    }
    opened = false;
}

bool CSerialPortCore::StartReceiveThread() {
    if (!opened || thread.joinable())
        return false;
    suspended = false;
    threadAlive = true;
    try {
        thread = std::thread([this] { ReceiveLoop(); });
    } catch (const std::system_error&) {
        threadAlive = false;
        return false;
    }
    return true;
}

void CSerialPortCore::SuspendReceiveThread() {
    if (thread.joinable())
        suspended = true;
}

void CSerialPortCore::QueueWrite(const uint8_t* bytes, int length) {
    length = std::clamp(length, 0, kWriteCapacity);
    {
        std::lock_guard guard(writeMutex);
        if (length > 0)
            std::memcpy(writeBuffer, bytes, static_cast<size_t>(length));
        writeLength = length;
    }
    SignalWrite();
}

void CSerialPortCore::StopThread() {
    if (!thread.joinable())
        return;
    SignalShutdown();
    thread.join();
    ClearShutdown();
    suspended = false;
}

int CSerialPortCore::TakeWrite(uint8_t (&bytes)[kWriteCapacity]) {
    std::lock_guard guard(writeMutex);
    std::memcpy(bytes, writeBuffer, static_cast<size_t>(writeLength));
    return writeLength;
}

void CSerialPortCore::ReportLinkState(bool idle, bool up, bool& reportedUp) {
    if (!idle && up != reportedUp && owner != nullptr) {
        reportedUp = up;
        owner->OnLinkStateChanged(up);
    }
}

void CSerialPortCore::Deliver(const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count && owner != nullptr; ++i)
        owner->OnByteReceived(bytes[i]);
}

void CSerialPortCore::ReceiveLoop() {
    {
        std::lock_guard guard(lock);
        PurgeDevice();
    }
    bool reportedUp = true;  // Open left the device open
    for (;;) {
        const bool idle = suspended.load();
        bool up;
        {
            std::lock_guard guard(lock);
            up = DeviceOpen();
        }
        ReportLinkState(idle, up, reportedUp);
        if (!idle && up && !ArmLineWait())
            continue;  // failed: hung up, or the next wait is armed at once
        // Only a hung-up device needs a timeout: the once-a-second reopen.
        int timeoutMs = -1;
        if (!idle && !up) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                nextReopen - std::chrono::steady_clock::now());
            timeoutMs = static_cast<int>(std::max<std::int64_t>(0, left.count()));
        }
        const Wake wake = WaitForWake(idle, up, timeoutMs);
        if (wake == Wake::Shutdown)
            break;
        if (wake == Wake::Again || suspended.load())
            continue;
        switch (wake) {
            case Wake::Write:
                SendQueued();
                break;
            case Wake::Line:
                OnLineEvent();
                break;
            case Wake::LineGone:
                OnLineGone();
                break;
            default:
                if (!up && std::chrono::steady_clock::now() >= nextReopen)
                    TryReopen();
                break;
        }
    }
    {
        std::lock_guard guard(lock);
        EndReceiving();
    }
    threadAlive = false;
}

void CSerialPortCore::ScheduleReopen() {
    nextReopen = std::chrono::steady_clock::now() + std::chrono::seconds(1);
}

void CSerialPortCore::TryReopen() {
    std::lock_guard guard(lock);
    if (OpenDevice() == 0) {
        Trace("reopened " + PathText());
        return;
    }
    ScheduleReopen();
}

void CSerialPortCore::Trace(const std::string& message) {
    if (linktrace::Enabled())
        linktrace::Message(message.c_str());
}
