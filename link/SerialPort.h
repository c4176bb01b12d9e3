#pragma once
#include <termios.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <thread>

class CGenericDriver;

// The line event the port waits for: a character received.
constexpr uint32_t kEventRxChar = 0x0001;

// One serial port with its receive thread. The thread delivers every received byte to the
// owner, one call per byte in arrival order, and performs the writes queued by QueueWrite.
class CSerialPort {
public:
    CSerialPort();
    virtual ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Opens COM portNumber (resolved through the ports folder) with exclusive access and
    // the given line settings. False only when the device cannot be opened.
    bool Open(CGenericDriver* owner, int portNumber, int baud, char parity, int dataBits,
              int stopBits, uint32_t eventMask, int writeBufferSize);
    // errno of the last failed Open (ENOENT, EACCES, EBUSY...), 0 after a successful one.
    int LastOpenError() const { return lastOpenError; }
    // Open succeeded; stays true while a hung-up device is being reopened.
    bool IsOpen() const { return opened.load(); }
    bool ThreadRunning() const { return threadAlive.load(); }

    bool StartReceiveThread();
    // From here on the thread neither sends nor delivers; it only waits to be shut down.
    void SuspendReceiveThread();
    // Hands at most 256 bytes to the receive thread for sending; returns at once.
    void QueueWrite(const uint8_t* bytes, int length);

private:
    void ReceiveThread();
    void Receive();
    void Send();
    bool WriteAll(const uint8_t* bytes, int length);
    // Opens and configures path into device; returns errno on failure (device stays -1).
    int OpenDevice();
    void ApplyLineSettings(int fd);
    void CloseDevice();
    void HangUp();
    void TryReopen();
    void StopThread();
    static void SetModemLines(int fd, bool raised);

    char parity = 0;
    int baud = 0;
    int portNumber = 0;
    int dataBits = 8;
    int stopBits = 1;
    // Handed over from QueueWrite to the receive thread under writeMutex.
    std::mutex writeMutex;
    int writeLength = 0;
    uint8_t writeBuffer[256] = {};
    std::thread thread;
    // Orders the device calls of Open, the receive thread and the destructor; guards device.
    std::recursive_mutex lock;
    std::atomic<bool> threadAlive{false};
    std::atomic<bool> suspended{false};
    std::atomic<bool> opened{false};
    int shutdownEvent = -1;  // eventfd
    int device = -1;
    int writeEvent = -1;  // eventfd
    std::filesystem::path path;
    CGenericDriver* owner = nullptr;
    uint32_t eventMask = 0;
    int writeBufferSize = 0;
    int lastOpenError = 0;
    // Receive thread only: when the next reopen of a hung-up device may be tried.
    std::chrono::steady_clock::time_point nextReopen{};
};
