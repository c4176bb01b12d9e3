#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>

#include "link/GenericDriver.h"
#include "link/RegisterRequest.h"
#include "link/ReplyFinder.h"

class CSerialPort;

// Modbus RTU master: one request, one reply, one value per transaction.
class CModbusDriver : public CGenericDriver {
public:
    CModbusDriver();
    ~CModbusDriver();
    CModbusDriver(const CModbusDriver&) = delete;
    CModbusDriver& operator=(const CModbusDriver&) = delete;

    bool OpenPort(int portNumber, int baud, char parity);
    void ClosePort();
    // The platform error code of a failed OpenPort (errno such as EACCES or EBUSY, or
    // GetLastError on Windows), 0 otherwise.
    int LastOpenError() const { return openError.load(); }

    int ReadInputRegisters(uint8_t slave, RegisterRequest& request);    // function 4
    int ReadHoldingRegisters(uint8_t slave, RegisterRequest& request);  // function 3
    int WriteRegister(uint8_t slave, RegisterRequest& request);         // function 6, kind 1 only

    // Ends the transaction in progress at once (result 2) and fails every later one at once,
    // until the next OpenPort: a stop need not wait for a slow or silent device.
    void Cancel();
    // Wakes the requests whose caller has set its RegisterRequest::abandon flag, so that one
    // caller can give up without cancelling the others (the polling goes on).
    void WakeAbandoned();
    // The port is open and its device is there (not hung up).
    bool LinkUp() const;
    // How often the link has gone down since construction: a cycle that saw it change did not
    // reach one device from start to end.
    uint64_t LinkDrops() const { return linkDrops.load(); }
    // Waits until the link is up, Cancel is called or the timeout has passed.
    bool WaitForLink(std::chrono::milliseconds timeout);

    void OnByteReceived(uint8_t byte) override;
    void OnLinkStateChanged(bool connected) override;
    static uint16_t CrcUpdate(uint8_t byte, uint16_t crc);

private:
    int ReadRegisters(uint8_t slave, uint8_t function, RegisterRequest& request);
    int Transact(const uint8_t* frame, int length, RegisterRequest& request);
    void SetLink(bool up, bool cancel);

    // Callers take turns in the order they came: the polling thread, which starts its next
    // request at once after a time-out, must not keep an alarm operation out for good.
    class CTurn;
    std::mutex turnMutex;
    std::condition_variable turnDone;
    uint64_t nextTurn = 0;         // guarded by turnMutex
    uint64_t servingTurn = 0;      // guarded by turnMutex
    std::set<uint64_t> leftTurns;  // guarded by turnMutex: abandoned before they were served
    std::recursive_mutex lock;
    std::atomic<int> rxCount{0};
    uint8_t rxBuffer[256] = {};
    std::unique_ptr<CSerialPort> port;
    std::atomic<int> openError{0};
    // Orders the reset, the stores of OnByteReceived and the transaction's reads of
    // rxBuffer; wakes the waiting transaction as bytes arrive (instead of a 1 ms poll).
    mutable std::mutex rxMutex;
    std::condition_variable rxArrived;
    // Guarded by rxMutex: the search for the reply in rxBuffer, and the link's state.
    CReplyFinder finder;
    bool lineEchoes = false;  // a reply came after an echo of its request on this port
    bool linkUp = false;
    bool cancelled = false;
    std::atomic<uint64_t> linkDrops{0};
};
