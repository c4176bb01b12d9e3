#pragma once
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "device/OrvexDriver.h"
#include "device/PollingCycle.h"
#include "publish/MqttPublisher.h"
#include "recorder/RecorderConfig.h"
#include "recorder/RecorderFiles.h"
#include "recorder/ServiceNotifier.h"

// Exit statuses besides 0 and 1.
inline constexpr int kExitBadConfig = 78;  // the service manager is told not to restart on it

// The unattended recorder: one thread runs one poll over the signals, the timers and the
// driver's cycle events; the driver polls on its own thread.
class CRecorder {
public:
    using CycleConsumer = std::function<void(const PollingCycle&)>;

    // address: the device's Modbus address (orvex.ini keeps none; the window starts at 1).
    explicit CRecorder(std::filesystem::path settingsFolder, int address = 1);
    ~CRecorder();
    CRecorder(const CRecorder&) = delete;
    CRecorder& operator=(const CRecorder&) = delete;

    // Called on the loop thread with the latest cycle after each wake-up for cycles (cycles
    // that came closer together than the loop woke are seen as the last of them).
    void AddCycleConsumer(CycleConsumer consumer);

    // Runs until SIGTERM or SIGINT; returns the exit status. SIGTERM, SIGINT and SIGHUP must be
    // blocked in every thread before the call (BlockLoopSignals).
    int Run();

    static void BlockLoopSignals();

private:
    enum class Wake { Signal, Tick, Housekeeping, Cycle };

    bool Setup();
    void TryStartDriver();
    void StopDriver();
    void StartPublishing();
    void StopPublishing();
    void ForgetReadings();
    void OnSignal(bool& stop);
    void OnTick();
    void OnHousekeeping();
    void OnCycles();
    void Reload();
    void WriteRecords();
    void ArmTickTimer();
    std::string StatusText();
    void PortLog(LogLevel level, const std::string& what);
    void Log(LogLevel level, const std::string& message);
    std::string LoadConfig(RecorderConfig& into);

    std::filesystem::path settingsFolder;
    int address;
    RecorderConfig config;
    CRecorderFiles files;
    CServiceNotifier notifier;
    COrvexDriver driver;
    std::vector<CycleConsumer> consumers;
    // Hears every cycle itself: the loop's coalescing of cycles must not thin what is published.
    std::unique_ptr<MqttPublisher> publisher;
    int publisherListener = 0;

    int signalFd = -1;
    int tickFd = -1;
    int housekeepingFd = -1;
    int cycleFd = -1;

    std::string portPath;  // as resolved when the port was opened
    int listenerId = 0;
    bool driverStarted = false;
    bool portFailureLogged = false;
    bool linkUp = false;
    std::optional<bool> responding;  // unknown until the first cycle
    bool ready = false;
    bool firstRecordWritten = false;

    // Handed over from the polling thread.
    std::mutex cycleMutex;
    PollingCycle latestCycle;
    unsigned long cyclesPosted = 0;

    unsigned long cyclesSeen = 0;
    unsigned long cyclesAtPing = 0;
    std::chrono::steady_clock::time_point lastPing;
    std::chrono::steady_clock::time_point lastCycleTime;  // of the last cycle heard
    // The last cycle, or the port's opening or change of state since.
    std::chrono::steady_clock::time_point stallSince;
    bool stalledLogged = false;
};
