#include "device/OrvexDriver.h"

#include <algorithm>
#include <chrono>
#include <system_error>

#include "device/FixedPoint.h"

using namespace std::chrono_literals;

namespace {

constexpr uint16_t kRegDeviceId = 0;
constexpr uint16_t kRegReg1 = 1;
constexpr uint16_t kRegSerial = 2;
constexpr uint16_t kRegInternalAlarm = 6;
constexpr uint16_t kRegExternalAlarm = 7;
constexpr uint16_t kRegReg42 = 42;
constexpr uint8_t kLeaveUnchanged = 255;

}  // namespace

COrvexDriver::COrvexDriver() = default;

COrvexDriver::~COrvexDriver() {
    JoinThread();
}

bool COrvexDriver::Start(int portNumber, int baud, int address, char parity) {
    // Start is meant for a stopped driver; a leftover thread is ended rather than leaked.
    JoinThread();
    modbus.ClosePort();
    this->address = address;
    if (!modbus.OpenPort(portNumber, baud, parity)) {
        return false;
    }
    // Cleared here, not by the thread, so that a Stop issued before the thread runs holds.
    stopRequested = 0;
    // Nothing counts as responding until this run has identified the device and published.
    responding = false;
    try {
        thread = std::thread(&COrvexDriver::PollingThread, this);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void COrvexDriver::JoinThread() {
    {
        std::lock_guard guard(pauseMutex);
        stopRequested = 1;
    }
    pauseWake.notify_all();
    // The request in progress (the polling thread's, or an alarm operation's) ends now
    // instead of after its reply or its time-out.
    modbus.Cancel();
    if (thread.joinable()) {
        thread.join();
    }
}

void COrvexDriver::Stop() {
    JoinThread();
    std::this_thread::sleep_for(100ms);
    modbus.ClosePort();
}

void COrvexDriver::SetAddress(int address) {
    this->address = address;
}

bool COrvexDriver::IsDeviceResponding() const {
    // The link is asked too: the polling thread hears of a hang-up only at its next request.
    return responding && modbus.LinkUp();
}

void COrvexDriver::GetDeviceInfo(DeviceInfo& out) {
    std::lock_guard guard(lock);
    out = info;
}

void COrvexDriver::GetReading(uint8_t input, InputReading& out) {
    if (input > 7) {
        return;
    }
    std::lock_guard guard(lock);
    out = readings[input];
}

int COrvexDriver::ReadAlarms(uint8_t enables[2], const std::atomic<bool>* abandon) {
    const uint16_t regs[2] = {kRegInternalAlarm, kRegExternalAlarm};
    for (int i = 0; i < 2; ++i) {
        uint16_t value = 0;
        if (int rc = ReadWord(Slave(), regs[i], value, true, abandon); rc != 0) {
            return rc;
        }
        enables[i] = static_cast<uint8_t>(std::min<uint16_t>(value, 2));
    }
    return 0;
}

int COrvexDriver::WriteAlarms(const uint8_t enables[2], const std::atomic<bool>* abandon) {
    if (enables[0] != kLeaveUnchanged) {
        if (int rc = WriteWord(Slave(), kRegInternalAlarm, enables[0], abandon); rc != 0) {
            return rc;
        }
    }
    // The device needs a moment between two writes.
    std::this_thread::sleep_for(100ms);
    if (enables[1] != kLeaveUnchanged) {
        return WriteWord(Slave(), kRegExternalAlarm, enables[1], abandon);
    }
    return 0;
}

int COrvexDriver::ReadRequest(uint8_t slave, uint16_t reg, ValueKind kind, bool holding,
                              RegisterRequest& request) {
    request.reg = reg;
    request.kind = kind;
    return holding ? modbus.ReadHoldingRegisters(slave, request)
                   : modbus.ReadInputRegisters(slave, request);
}

int COrvexDriver::ReadWord(uint8_t slave, uint16_t reg, uint16_t& out, bool holding,
                           const std::atomic<bool>* abandon) {
    RegisterRequest request;
    request.abandon = abandon;
    const int rc = ReadRequest(slave, reg, KindWord, holding, request);
    if (rc == 0) {
        out = static_cast<uint16_t>(request.value);
    }
    return rc;
}

int COrvexDriver::ReadDword(uint8_t slave, uint16_t reg, uint32_t& out, bool holding) {
    RegisterRequest request;
    const int rc = ReadRequest(slave, reg, KindDword, holding, request);
    if (rc == 0) {
        out = request.value;
    }
    return rc;
}

int COrvexDriver::ReadScaled(uint8_t slave, uint16_t reg, int16_t& out, int decimals, bool holding,
                             bool* inRange) {
    RegisterRequest request;
    const int rc = ReadRequest(slave, reg, KindFloat, holding, request);
    if (rc == 0) {
        const bool fits = ToFixedPoint(request.floatValue, decimals, out);
        if (inRange != nullptr) {
            *inRange = fits;
        }
    }
    return rc;
}

int COrvexDriver::WriteWord(uint8_t slave, uint16_t reg, uint16_t value,
                            const std::atomic<bool>* abandon) {
    RegisterRequest request;
    request.abandon = abandon;
    request.reg = reg;
    request.kind = KindWord;
    request.value = value;
    return modbus.WriteRegister(slave, request);
}

int COrvexDriver::Identify(DeviceInfo& out) {
    out.status = 3;
    const uint8_t slave = Slave();
    if (int rc = ReadWord(slave, kRegDeviceId, out.deviceId, false); rc != 0) {
        return rc;
    }
    if (out.deviceId != kOrvexDeviceId) {
        // It answers, but it is not a concentrator: the inputs are read all the same.
        out.serialNumber = 0;
        std::fill(std::begin(out.reg42Bytes), std::end(out.reg42Bytes), 0);
        std::fill(std::begin(out.reg1Bytes), std::end(out.reg1Bytes), 0);
        return 0;
    }
    if (int rc = ReadWord(slave, kRegSerial, out.serialNumber, false); rc != 0) {
        return rc;
    }
    uint32_t v = 0;
    if (int rc = ReadDword(slave, kRegReg42, v, false); rc != 0) {
        return rc;
    }
    out.reg42Bytes[0] = static_cast<uint8_t>(v >> 16);
    out.reg42Bytes[1] = static_cast<uint8_t>(v >> 8);
    out.reg42Bytes[2] = static_cast<uint8_t>(v);
    uint16_t reg1 = 0;
    if (int rc = ReadWord(slave, kRegReg1, reg1, false); rc != 0) {
        return rc;
    }
    out.reg1Bytes[0] = static_cast<uint8_t>(reg1 >> 8);
    out.reg1Bytes[1] = static_cast<uint8_t>(reg1);
    out.status = 0;
    return 0;
}

bool COrvexDriver::PauseUnlessStopped(std::chrono::milliseconds duration) {
    std::unique_lock guard(pauseMutex);
    return !pauseWake.wait_for(guard, duration, [this] { return stopRequested != 0; });
}

void COrvexDriver::Publish(const DeviceInfo& workInfo, const InputReading (&work)[8]) {
    std::lock_guard guard(lock);
    info = workInfo;
    std::copy(std::begin(work), std::end(work), std::begin(readings));
    responding = true;
}

void COrvexDriver::MarkNotResponding(int rc) {
    responding = false;
    // A failure already on record (or the initial code) stays.
    if (lastResult == 0) {
        lastResult = rc;
    }
}

int COrvexDriver::AddCycleListener(CycleListener listener) {
    std::lock_guard guard(listenerMutex);
    const int id = nextListenerId++;
    listeners.emplace(id, std::move(listener));
    return id;
}

void COrvexDriver::RemoveCycleListener(int id) {
    std::lock_guard guard(listenerMutex);
    listeners.erase(id);
}

void COrvexDriver::NotifyCycle(bool responding) {
    std::lock_guard guard(listenerMutex);
    if (listeners.empty()) {
        return;
    }
    PollingCycle cycle;
    cycle.time = std::chrono::system_clock::now();
    cycle.responding = responding;
    {
        std::lock_guard readingsGuard(lock);
        cycle.info = info;
        std::copy(std::begin(readings), std::end(readings), std::begin(cycle.readings));
    }
    for (auto& [id, listener] : listeners) {
        listener(cycle);
    }
}

void COrvexDriver::PollingThread() {
    running = 1;
    try {
        // Working copies carry over from cycle to cycle; only whole cycles are published.
        DeviceInfo workInfo{};
        InputReading work[8] = {};
        while (stopRequested == 0) {
            if (!modbus.LinkUp()) {
                // A port that hung up (an adapter pulled out) is a device that does not
                // answer. Wait for the reopen (or a stop) instead of spinning, telling the
                // listeners about once a second.
                MarkNotResponding(ResultTimeout);
                NotifyCycle(false);
                modbus.WaitForLink(1000ms);
                continue;
            }
            const uint64_t drops = modbus.LinkDrops();
            if (int rc = Identify(workInfo); rc != 0) {
                if (stopRequested != 0) {
                    break;  // cut short by the stop: says nothing about the device
                }
                // A device that answered before and now fails is no longer responding; one
                // that never answered keeps its initial code.
                MarkNotResponding(rc);
                NotifyCycle(false);
                // A time-out has already paced this attempt; a refusal that came at once
                // (exception, bad CRC, other address) would otherwise flood the line.
                if (rc != ResultTimeout) {
                    PauseUnlessStopped(1000ms);
                }
                continue;
            }
            bool stopped = false;
            int failedInputs = 0;
            for (uint8_t input = 0; input < 8; ++input) {
                const int rc = ReadInput(input, work[input]);
                if (stopRequested != 0) {
                    stopped = true;
                    break;
                }
                lastResult = rc;
                failedInputs += rc != 0 ? 1 : 0;
            }
            if (stopped) {
                break;  // an unfinished cycle is not published
            }
            // A cycle during which the port went away, or in which no input answered, holds
            // nothing measured: the device fell silent.
            if (modbus.LinkDrops() != drops || !modbus.LinkUp() || failedInputs == 8) {
                MarkNotResponding(ResultTimeout);
                NotifyCycle(false);
                continue;
            }
            // Published before the pause: the readings are complete, and after a re-plug
            // they show a second sooner.
            Publish(workInfo, work);
            NotifyCycle(true);
            PauseUnlessStopped(1000ms);
        }
    } catch (...) {
        // Nothing to report to: the driver just stops polling.
    }
    responding = false;
    running = 0;
}
