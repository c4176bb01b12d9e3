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
#include "recorder/RecorderConfig.h"
#include "recorder/RecorderFiles.h"
#include "recorder/RecorderLoop.h"
#include "recorder/RecorderPublisher.h"
#include "recorder/ServiceNotifier.h"

// Exit statuses besides 0 and 1.
inline constexpr int kExitBadConfig = 78;  // the service manager is told not to restart on it

// The unattended recorder: one thread runs one wait (CRecorderLoop) over the stop and reload
// requests, the timers and the driver's cycle events; the driver polls on its own thread.
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

    // Runs until a stop request (SIGTERM or SIGINT; Ctrl-C and the like on Windows); returns the
    // exit status. CRecorderLoop::PrepareProcess must have run before any thread started.
    int Run();

private:
    bool Setup();
    void TryStartDriver();
    void StopDriver();
    void StartPublishing();
    void StopPublishing();
    void ForgetReadings();
    void OnHousekeeping();
    void OnCycles();
    void Reload();
    void WriteRecords();
    void ArmTickTimer();
    std::filesystem::path StateFolder() const;
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
    CRecorderPublisher publisher{driver};
    CRecorderLoop loop;

    std::string portPath;  // as resolved when the port was opened
    int listenerId = 0;
    bool driverStarted = false;
    bool portFailureLogged = false;
    int lastPortError = 0;
    bool linkUp = false;
    std::optional<bool> responding;  // unknown until the first cycle
    bool firstRecordWritten = false;
    std::optional<RecordTime> lastRecordTime;

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
