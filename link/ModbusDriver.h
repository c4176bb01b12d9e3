#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "link/GenericDriver.h"
#include "link/RegisterRequest.h"

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
    // errno of a failed OpenPort (for example EACCES or EBUSY), 0 otherwise.
    int LastOpenError() const { return openError.load(); }

    int ReadInputRegisters(uint8_t slave, RegisterRequest& request);    // function 4
    int ReadHoldingRegisters(uint8_t slave, RegisterRequest& request);  // function 3
    int WriteRegister(uint8_t slave, RegisterRequest& request);         // function 6, kind 1 only

    void OnByteReceived(uint8_t byte) override;
    static uint16_t CrcUpdate(uint8_t byte, uint16_t crc);

private:
    int ReadRegisters(uint8_t slave, uint8_t function, RegisterRequest& request);
    int Transact(const uint8_t* frame, int length, RegisterRequest& request);
    bool ReplyComplete(uint8_t function) const;  // rxMutex held

    std::recursive_mutex lock;
    std::atomic<int> rxCount{0};
    uint8_t rxBuffer[256] = {};
    std::unique_ptr<CSerialPort> port;
    std::atomic<int> openError{0};
    // Orders the reset, the stores of OnByteReceived and the transaction's reads of
    // rxBuffer; wakes the waiting transaction as bytes arrive (instead of a 1 ms poll).
    std::mutex rxMutex;
    std::condition_variable rxArrived;
    uint8_t rxFunction = 0;  // function of the transaction in progress; guarded by rxMutex
};
