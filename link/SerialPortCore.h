#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

class CGenericDriver;

// The platform-neutral half of CSerialPort: the settings, the write hand-over, the receive
// thread's life, the open/reopen bookkeeping and the delivery to the owner. The platform
// backend derives from it and supplies the device calls and the wait.
class CSerialPortCore {
public:
    CSerialPortCore() = default;
    virtual ~CSerialPortCore() = default;
    CSerialPortCore(const CSerialPortCore&) = delete;
    CSerialPortCore& operator=(const CSerialPortCore&) = delete;

    bool Open(CGenericDriver* owner, int portNumber, int baud, char parity, int dataBits,
              int stopBits, uint32_t eventMask, int writeBufferSize);
    int LastOpenError() const { return lastOpenError; }
    bool IsOpen() const { return opened.load(); }
    bool ThreadRunning() const { return threadAlive.load(); }
    bool StartReceiveThread();
    void SuspendReceiveThread();
    void QueueWrite(const uint8_t* bytes, int length);

protected:
    static constexpr int kWriteCapacity = 256;

    // Creates the events the thread waits on (if not there yet) and clears shutdown and
    // write; false with the platform's error when one could not be made.
    virtual bool PrepareEvents(int& error) = 0;
    // Resolves portNumber into the device path; false when there is none.
    virtual bool ResolvePath() = 0;
    virtual int NotFoundError() const = 0;
    virtual std::string PathText() const = 0;
    virtual std::string ErrorText(int error) const = 0;
    // Opens and configures the resolved path; 0 or the platform's error.
    virtual int OpenDevice() = 0;
    virtual void CloseDevice() = 0;
    // Drops DTR and RTS (and flow control) before the final close; under lock.
    virtual void ReleaseLines() = 0;
    virtual void SignalWrite() = 0;
    virtual void SignalShutdown() = 0;
    virtual void ClearShutdown() = 0;

    // What ended one wait of the receive thread.
    enum class Wake {
        Shutdown,  // asked to end, or the wait itself failed
        Again,     // nothing to handle (an interrupted wait): look again
        Write,     // a write is queued
        Line,      // the line has an event (bytes arrived, or the wait for them completed)
        LineGone,  // the device reports that it went away
        Timeout,   // the time given passed
    };
    // The receive thread's parts (see ReceiveLoop); all on the receive thread.
    // Discards what the device holds from before the thread; under lock.
    virtual void PurgeDevice() = 0;
    // Whether the device is open (not hung up); under lock.
    virtual bool DeviceOpen() const = 0;
    // Makes sure the wait for line events is armed; false when arming failed and the loop
    // should look again at once.
    virtual bool ArmLineWait() { return true; }
    // Waits for the shutdown, and unless idle for a queued write and, with the device up, for
    // line events; at most timeoutMs, or without limit when it is negative. The shutdown comes
    // first, then a write, then the line.
    virtual Wake WaitForWake(bool idle, bool up, int timeoutMs) = 0;
    // Takes the queued write's signal and sends it.
    virtual void SendQueued() = 0;
    virtual void OnLineEvent() = 0;
    virtual void OnLineGone() {}
    // After the loop: nothing may stay pending on the device.
    virtual void EndReceiving() {}

    // For the backend's destructor: stops the thread and closes the device, lines dropped.
    void Close();
    void StopThread();
    // The receive thread: reports the link's state to the owner, keeps the line wait armed, and
    // handles what woke it; a hung-up device is reopened about once a second.
    void ReceiveLoop();
    void ScheduleReopen();
    // Copies out the queued write; returns its length.
    int TakeWrite(uint8_t (&bytes)[kWriteCapacity]);
    // Tells the owner when the device went or came back (outside the lock, so the owner can
    // stop waiting for a reply that cannot come and send again as soon as it is back).
    void ReportLinkState(bool idle, bool up, bool& reportedUp);
    // One call per byte, in arrival order, outside the lock.
    void Deliver(const uint8_t* bytes, size_t count);
    void TryReopen();
    static void Trace(const std::string& message);

    char parity = 0;
    int baud = 0;
    int portNumber = 0;
    int dataBits = 8;
    int stopBits = 1;
    // Handed over from QueueWrite to the receive thread under writeMutex.
    std::mutex writeMutex;
    int writeLength = 0;
    uint8_t writeBuffer[kWriteCapacity] = {};
    std::thread thread;
    // Orders the device calls of Open, the receive thread and the destructor; guards device.
    std::recursive_mutex lock;
    std::atomic<bool> threadAlive{false};
    // Receive thread only: when the next reopen of a hung-up device may be tried.
    std::chrono::steady_clock::time_point nextReopen{};
    std::atomic<bool> suspended{false};
    std::atomic<bool> opened{false};
    CGenericDriver* owner = nullptr;
    uint32_t eventMask = 0;
    int writeBufferSize = 0;
    int lastOpenError = 0;
};
