#include "recorder/Recorder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "link/ComPortMap.h"
#include "link/PortDiagnosis.h"
#include "os/PathText.h"
#include "recorder/RecorderLog.h"
#include "store/SettingsFolder.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A responding cycle older than this is not taken as the device's state: no cycles come while
// the port is hung up, and the last readings must not be recorded as new.
constexpr auto kFreshCycle = 5s;
// Without a cycle for this long while the port is up, the polling thread is likely stuck. A device
// that answers each request only after seconds takes a minute or more for one cycle.
constexpr auto kStalledPolling = 180s;

std::string PortName(int port) {
    return "COM" + std::to_string(port);
}

bool SameSecond(const RecordTime& a, const RecordTime& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
           a.minute == b.minute && a.second == b.second;
}

std::string ReadOnlyHint() {
    if (std::getenv("STATE_DIRECTORY") == nullptr) {
        return "the recording folder is on a read-only file system";
    }
    return "the service may write only under its state folder (/var/lib/orvex) and the folders a "
           "drop-in lists: run \"systemctl edit orvex-recorder\" and add the lines \"[Service]\" "
           "and \"ReadWritePaths=<the recording folder>\"; not restarting";
}

}  // namespace

std::filesystem::path RescueFolder(const std::filesystem::path& settingsFolder) {
    // A service's settings folder is read-only to it; its state folder is where it may write.
    if (const char* state = std::getenv("STATE_DIRECTORY"); state != nullptr && state[0] == '/') {
        const std::string first(state, std::strcspn(state, ":"));
        return std::filesystem::path(first) / kRescueFolder;
    }
    return settingsFolder / kRescueFolder;
}

CRecorder::CRecorder(std::filesystem::path folder, int deviceAddress)
    : settingsFolder(std::move(folder)),
      address(deviceAddress),
      files([this](LogLevel level, const std::string& message) { Log(level, message); },
            RescueFolder(settingsFolder)) {}

CRecorder::~CRecorder() {
    if (listenerId != 0) {
        driver.RemoveCycleListener(listenerId);
    }
    StopPublishing();
    driver.Stop();
    files.Close();
}

void CRecorder::AddCycleConsumer(CycleConsumer consumer) {
    consumers.push_back(std::move(consumer));
}

void CRecorder::Log(LogLevel level, const std::string& message) {
    LogLine(level, message);
}

void CRecorder::PortLog(LogLevel level, const std::string& what) {
    // The path resolved at the opening: a link that has gone with its adapter would resolve to
    // the built-in device instead.
    if (!driverStarted || portPath.empty()) {
        portPath =
            Utf8FromPath(comport::ResolvePath(config.general.portNumber, comport::PortsFolder()));
    }
    Log(level, "port " + PortName(config.general.portNumber) + " (" +
                   (portPath.empty() ? std::string("no device") : portPath) + ") " + what);
}

bool CRecorder::Setup() {
    if (const std::string problem = loop.Open(); !problem.empty()) {
        Log(LogLevel::Error, "cannot set up the event loop: " + problem);
        return false;
    }
    listenerId = driver.AddCycleListener([this](const PollingCycle& cycle) {
        {
            std::lock_guard guard(cycleMutex);
            latestCycle = cycle;
            ++cyclesPosted;
        }
        loop.PostCycle();
    });
    return true;
}

std::string CRecorder::LoadConfig(RecorderConfig& into) {
    std::string problem = LoadRecorderConfig(settingsFolder, into);
    into.address = address;
    if (!problem.empty()) {
        return problem;
    }
    for (const std::string& note : into.notes) {
        Log(LogLevel::Warning, "orvex.ini: " + note);
    }
    return ConfigProblem(into);
}

int CRecorder::Run() {
    std::string problem = LoadConfig(config);
    if (!problem.empty()) {
        Log(LogLevel::Error, "cannot start: " + problem);
        return kExitBadConfig;
    }
    if (!Setup()) {
        return 1;
    }
    Log(LogLevel::Info, "starting with " + Utf8FromPath(settingsFolder / kSettingsFile) + ", " +
                            PortName(config.general.portNumber) + ", a record every " +
                            std::to_string(config.Interval()) + " s");
    if (const std::string hint = loop.ReloadHint(); !hint.empty()) {
        Log(LogLevel::Info, "to reopen the files and reread orvex.ini: " + hint);
    }
    if (config.log.RecordingWanted()) {
        if (problem = files.Open(config); !problem.empty()) {
            Log(LogLevel::Error, "cannot start: " + problem);
            if (files.OpenError() == EROFS) {
                // Restarting cannot help: the sandbox, not the medium, refuses the folder.
                Log(LogLevel::Error, ReadOnlyHint());
                return kExitBadConfig;
            }
            return 1;
        }
    }
    StartPublishing();
    comport::SetPortsFolder(settingsFolder / "ports");
    TryStartDriver();
    ArmTickTimer();
    loop.ArmHousekeeping(1s);
    lastPing = Clock::now();
    // Ready once the settings and the files are open: a station boots whether or not its adapter
    // is plugged in, and the status says what the recorder waits for.
    notifier.Ready(StatusText());
    Log(LogLevel::Info, "ready; " + StatusText());

    int status = 0;
    for (;;) {
        CRecorderLoop::Wakes wakes;
        if (std::string error; !loop.Wait(wakes, error)) {
            Log(LogLevel::Error, "event loop failed: " + error);
            status = 1;
            break;
        }
        // A stop first: it must not wait behind a tick's writes.
        if (wakes.stop) {
            Log(LogLevel::Info, "stopping on " + wakes.stopReason);
            break;
        }
        if (wakes.reload) {
            Reload();
            if (config.log.RecordingWanted() && !files.AnyOpen()) {
                status = 1;  // a reload found no file to record to
                break;
            }
        }
        if (wakes.cycle) {
            OnCycles();
        }
        if (wakes.tick) {
            WriteRecords();
        }
        if (wakes.housekeeping) {
            OnHousekeeping();
        }
    }
    notifier.Stopping();
    StopDriver();
    StopPublishing();
    files.Close();
    Log(LogLevel::Info, "stopped");
    return status;
}

void CRecorder::ArmTickTimer() {
    loop.ArmTick(std::chrono::seconds(config.Interval()));
}

std::filesystem::path CRecorder::StateFolder() const {
    // The queue is state, not settings: a service writes it to its state folder.
    return RescueFolder(settingsFolder).parent_path();
}

void CRecorder::StartPublishing() {
    publisher.Start(config.mqtt, StateFolder());
}

void CRecorder::StopPublishing() {
    publisher.Stop();
}

void CRecorder::TryStartDriver() {
    if (driver.Start(config.general.portNumber, config.general.baudRate, config.address,
                     config.general.parity)) {
        driverStarted = true;
        linkUp = true;
        stallSince = Clock::now();
        portFailureLogged = false;
        portPath.clear();  // resolved anew: a ports/comN link may have come since the last try
        PortLog(LogLevel::Info, "opened");
        return;
    }
    const int error = driver.LastOpenError();
    driver.Stop();
    // Told again when the reason changes: an adapter that appears but is refused reads
    // differently from one that is missing.
    if (!portFailureLogged || error != lastPortError) {
        portFailureLogged = true;
        lastPortError = error;
        portPath.clear();
        PortLog(LogLevel::Warning,
                "cannot be opened: " +
                    (error != 0 ? OpenErrorText(error) : std::string("unknown reason")) +
                    "; trying again every second");
    }
}

void CRecorder::StopDriver() {
    driver.Stop();
    driverStarted = false;
    portPath.clear();
    responding.reset();
    ForgetReadings();
}

void CRecorder::ForgetReadings() {
    // Until the next cycle nothing is known: another port, or the same one after a gap, must not
    // have its old readings recorded as new.
    std::lock_guard guard(cycleMutex);
    latestCycle.responding = false;
}

void CRecorder::Reload() {
    notifier.Reloading();
    Log(LogLevel::Info, "reloading orvex.ini and reopening the files");
    RecorderConfig fresh;
    const std::string problem = LoadConfig(fresh);
    if (!problem.empty()) {
        Log(LogLevel::Error, "orvex.ini not taken: " + problem + "; the settings before stay");
        fresh = config;
    }
    files.Reload(fresh);  // each failure is logged as it happens
    if (fresh.log.RecordingWanted() && !files.AnyOpen() && !(fresh == config)) {
        Log(LogLevel::Error, "no file could be opened; back to the files before");
        fresh = config;
        files.Reload(fresh);
    }
    if (fresh.log.RecordingWanted() && !files.AnyOpen()) {
        return;  // no file open: the loop ends with a failure
    }
    const bool publishingChanged = !(fresh.mqtt == config.mqtt);
    const bool portChanged = fresh.general.portNumber != config.general.portNumber ||
                             fresh.general.baudRate != config.general.baudRate ||
                             fresh.general.parity != config.general.parity ||
                             fresh.address != config.address;
    const bool intervalChanged = fresh.Interval() != config.Interval();
    config = fresh;
    if (publishingChanged) {
        StopPublishing();
        StartPublishing();
    }
    if (portChanged) {
        StopDriver();
        portFailureLogged = false;
        TryStartDriver();
    }
    if (intervalChanged) {
        ArmTickTimer();
    }
    notifier.Ready(StatusText());
}

void CRecorder::OnCycles() {
    PollingCycle cycle;
    unsigned long posted = 0;
    {
        std::lock_guard guard(cycleMutex);
        cycle = latestCycle;
        posted = cyclesPosted;
    }
    if (posted == cyclesSeen) {
        return;
    }
    cyclesSeen = posted;
    lastCycleTime = stallSince = Clock::now();
    if (stalledLogged) {
        stalledLogged = false;
        Log(LogLevel::Info, "polling goes on again");
    }
    if (!responding || *responding != cycle.responding) {
        responding = cycle.responding;
        if (cycle.responding) {
            Log(LogLevel::Info, "device responding (serial number " +
                                    std::to_string(cycle.info.serialNumber) + ")");
        } else {
            Log(LogLevel::Warning, "device not responding");
        }
    }
    for (const CycleConsumer& consumer : consumers) {
        consumer(cycle);
    }
    // The first readings are recorded at once rather than an interval later.
    if (!firstRecordWritten && driverStarted) {
        WriteRecords();
    }
}

void CRecorder::WriteRecords() {
    PollingCycle cycle;
    {
        std::lock_guard guard(cycleMutex);
        cycle = latestCycle;  // responding is false before the first cycle
    }
    // Readings of a port that has since hung up (or a thread that stalled) are not new. The
    // driver is asked at this moment: the housekeeping's link state is up to a second old.
    if (!driverStarted || !linkUp || !driver.IsDeviceResponding() ||
        Clock::now() - lastCycleTime >= kFreshCycle) {
        cycle.responding = false;
    }
    // The record written at the first readings and the next tick may fall in the same second.
    const RecordTime now = LocalRecordTimeNow();
    if (lastRecordTime && SameSecond(*lastRecordTime, now)) {
        return;
    }
    lastRecordTime = now;
    files.Tick(SnapshotFromCycle(cycle, now));
    firstRecordWritten = true;
}

void CRecorder::OnHousekeeping() {
    const auto now = Clock::now();
    if (!driverStarted) {
        TryStartDriver();
    } else {
        const bool up = driver.IsLinkUp();
        if (up != linkUp) {
            linkUp = up;
            PortLog(up ? LogLevel::Info : LogLevel::Warning,
                    up ? "back" : "lost; reopening about once a second");
            if (!up) {
                // A port that is down is a device that does not answer (the driver says so in
                // its cycles too): told once, whichever comes first.
                if (responding.value_or(false)) {
                    Log(LogLevel::Warning, "device not responding");
                }
                responding = false;
                ForgetReadings();
            }
            stallSince = now;
        }
        if (linkUp && !stalledLogged && now - stallSince > kStalledPolling) {
            stalledLogged = true;
            Log(LogLevel::Warning, "no polling cycle for 3 minutes");
        }
    }
    // Alive means: cycles come (or the port is down, so none can), and the loop has handled
    // every tick so far, which a write stuck in the kernel would prevent.
    if (notifier.WatchdogPeriod().count() > 0 && now - lastPing >= notifier.WatchdogPeriod()) {
        const bool polling = cyclesSeen != cyclesAtPing;
        if (polling || !driverStarted || !linkUp) {
            notifier.WatchdogPing();
            lastPing = now;
            cyclesAtPing = cyclesSeen;
        }
    }
    notifier.Status(StatusText());
}

std::string CRecorder::StatusText() {
    std::string text = PortName(config.general.portNumber);
    if (!driverStarted) {
        text += " waiting for the port";
    } else if (!linkUp) {
        text += " lost, reopening";
    } else if (!responding) {
        text += " open";
    } else {
        text += *responding ? ", device responding" : ", device not responding";
    }
    return text + "; " + files.StatusText();
}
