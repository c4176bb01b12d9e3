#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>

#include "device/DeviceInfo.h"
#include "device/InputReading.h"
#include "device/PollingCycle.h"
#include "link/GenericDriver.h"
#include "link/ModbusDriver.h"

// Model of one concentrator: owns the Modbus master and the polling thread.
class COrvexDriver : public CGenericDriver {
public:
    COrvexDriver();
    ~COrvexDriver();
    COrvexDriver(const COrvexDriver&) = delete;
    COrvexDriver& operator=(const COrvexDriver&) = delete;

    bool Start(int portNumber, int baud, int address, char parity);
    void Stop();
    void SetAddress(int address);
    // True while the last polling cycle was completed and published and the port is up; false
    // at once when the port hangs up, and after a cycle the device did not answer.
    bool IsDeviceResponding() const;
    // The port is open and not hung up (an unplugged adapter is being reopened when false).
    bool IsLinkUp() { return modbus.LinkUp(); }
    // The platform error code of the last failed open of the port (errno, or GetLastError on
    // Windows; 0 when unknown), to tell the user why: see DescribeOpenFailure, OpenErrorText.
    int LastOpenError() const { return modbus.LastOpenError(); }
    void GetDeviceInfo(DeviceInfo& out);
    void GetReading(uint8_t input, InputReading& out);
    // abandon (optional): the caller's way out of a wait for a silent device; set it, then
    // call WakeAbandoned, and the call returns at once with a failure.
    int ReadAlarms(uint8_t enables[2], const std::atomic<bool>* abandon = nullptr);
    int WriteAlarms(const uint8_t enables[2], const std::atomic<bool>* abandon = nullptr);
    void WakeAbandoned() { modbus.WakeAbandoned(); }
    // Listeners hear the end of every polling cycle (see PollingCycle). Remove waits for a
    // call in progress, so a listener may be destroyed once it has been removed.
    int AddCycleListener(CycleListener listener);
    void RemoveCycleListener(int id);

    void OnByteReceived(uint8_t) override {}

private:
    // One read of function 3 (holding) or 4 into request.
    int ReadRequest(uint8_t slave, uint16_t reg, ValueKind kind, bool holding,
                    RegisterRequest& request);
    int ReadWord(uint8_t slave, uint16_t reg, uint16_t& out, bool holding,
                 const std::atomic<bool>* abandon = nullptr);
    int ReadDword(uint8_t slave, uint16_t reg, uint32_t& out, bool holding);
    // inRange (optional) reports whether the scaled value fitted int16; out is saturated
    // when it did not.
    int ReadScaled(uint8_t slave, uint16_t reg, int16_t& out, int decimals, bool holding,
                   bool* inRange = nullptr);
    int WriteWord(uint8_t slave, uint16_t reg, uint16_t value,
                  const std::atomic<bool>* abandon = nullptr);
    int Identify(DeviceInfo& out);
    int ReadInput(uint8_t input, InputReading& out);
    // One measured value of an input; a value beyond int16 sets errorFlag to errorValue.
    int ReadValue(uint16_t reg, int16_t& out, int decimals, uint8_t& errorFlag,
                  uint8_t errorValue = FlagError);
    void PollingThread();
    void Publish(const DeviceInfo& workInfo, const InputReading (&work)[8]);
    // The device did not answer (code rc) or the port went down: nothing published counts as
    // current any more.
    void MarkNotResponding(int rc);
    // Tells the listeners; responding == false after a cycle the device did not answer.
    void NotifyCycle(bool responding);
    // Waits up to the given time or until Stop; returns false when stopped.
    bool PauseUnlessStopped(std::chrono::milliseconds duration);
    void JoinThread();
    uint8_t Slave() const { return static_cast<uint8_t>(address.load()); }

    InputReading readings[8] = {};
    std::atomic<int> stopRequested{0};
    std::atomic<int> lastResult{3};
    DeviceInfo info = {};
    std::thread thread;
    std::recursive_mutex lock;
    std::atomic<int> running{0};
    // The latest cycle of the current run was completed and published.
    std::atomic<bool> responding{false};
    CModbusDriver modbus;
    std::atomic<int> address{1};
    // Lets Stop cut the pause between cycles short.
    std::mutex pauseMutex;
    std::condition_variable pauseWake;
    std::mutex listenerMutex;
    std::map<int, CycleListener> listeners;
    int nextListenerId = 1;
};
