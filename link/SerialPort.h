#pragma once
#include <cstdint>
#include <memory>

class CGenericDriver;
class CSerialPortCore;

// The line event the port waits for: a character received.
constexpr uint32_t kEventRxChar = 0x0001;

// One serial port with its receive thread. The thread delivers every received byte to the
// owner, one call per byte in arrival order, and performs the writes queued by QueueWrite.
// Precedence in the thread: shutdown, then a queued write, then received data. Each write
// is preceded by a purge of both directions. A device that goes away (hang-up, unplugged
// adapter) is closed and reopened about once a second, without spinning meanwhile.
class CSerialPort {
public:
    CSerialPort();
    virtual ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Opens COM portNumber with exclusive access and the given line settings, raising DTR
    // and RTS. False only when the device cannot be opened.
    bool Open(CGenericDriver* owner, int portNumber, int baud, char parity, int dataBits,
              int stopBits, uint32_t eventMask, int writeBufferSize);
    // The platform's error code of the last failed Open (errno: ENOENT, EACCES, EBUSY...;
    // on Windows GetLastError: 2, 5...), 0 after a successful one.
    int LastOpenError() const;
    // Open succeeded; stays true while a hung-up device is being reopened.
    bool IsOpen() const;
    bool ThreadRunning() const;

    bool StartReceiveThread();
    // From here on the thread neither sends nor delivers; it only waits to be shut down.
    void SuspendReceiveThread();
    // Hands at most 256 bytes to the receive thread for sending; returns at once.
    void QueueWrite(const uint8_t* bytes, int length);

    // The platform part: the device calls and the receive thread's wait.
    class CBackend;

private:
    std::unique_ptr<CSerialPortCore> backend;
};
