#include "recorder/Recorder.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "OrvexVersion.h"
#include "app/store/SettingsFolder.h"
#include "link/ComPortMap.h"
#include "recorder/RecorderLog.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A responding cycle older than this is not taken as the device's state: no cycles come while
// the port is hung up, and the last readings must not be recorded as new.
constexpr auto kFreshCycle = 5s;
// Without a cycle for this long while the port is up, the polling thread is likely stuck. A device
// that answers each request only after seconds takes a minute or more for one cycle.
constexpr auto kStalledPolling = 180s;

sigset_t LoopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    return set;
}

void ArmTimer(int fd, std::chrono::seconds first, std::chrono::seconds period) {
    itimerspec timing{};
    timing.it_value.tv_sec = first.count();
    timing.it_interval.tv_sec = period.count();
    timerfd_settime(fd, 0, &timing, nullptr);
}

void CloseFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
    }
    fd = -1;
}

// Reads the timer's or event's counter; false when there was nothing to read.
bool Drain(int fd) {
    uint64_t count = 0;
    return ::read(fd, &count, sizeof count) == sizeof count;
}

std::string PortName(int port) {
    return "COM" + std::to_string(port);
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
    for (int* fd : {&signalFd, &tickFd, &housekeepingFd, &cycleFd}) {
        CloseFd(*fd);
    }
}

void CRecorder::BlockLoopSignals() {
    const sigset_t set = LoopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
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
        portPath = comport::ResolvePath(config.portNumber, comport::PortsFolder()).string();
    }
    Log(level, "port " + PortName(config.portNumber) + " (" +
                   (portPath.empty() ? std::string("no device") : portPath) + ") " + what);
}

bool CRecorder::Setup() {
    const sigset_t set = LoopSignals();
    signalFd = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    tickFd = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    housekeepingFd = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    cycleFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (signalFd < 0 || tickFd < 0 || housekeepingFd < 0 || cycleFd < 0) {
        Log(LogLevel::Error, "cannot set up the event loop: " + std::string(ErrorText(errno)));
        return false;
    }
    listenerId = driver.AddCycleListener([this](const PollingCycle& cycle) {
        {
            std::lock_guard guard(cycleMutex);
            latestCycle = cycle;
            ++cyclesPosted;
        }
        eventfd_write(cycleFd, 1);
    });
    return true;
}

std::string CRecorder::LoadConfig(RecorderConfig& into) {
    std::string problem = LoadRecorderConfig(settingsFolder, into);
    into.address = address;
    return problem.empty() ? ConfigProblem(into) : problem;
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
    Log(LogLevel::Info, "starting with " + (settingsFolder / kSettingsFile).string() + ", " +
                            PortName(config.portNumber) + ", a record every " +
                            std::to_string(config.Interval()) + " s");
    if (config.RecordingWanted()) {
        if (problem = files.Open(config); !problem.empty()) {
            Log(LogLevel::Error, "cannot start: " + problem);
            return 1;
        }
    }
    StartPublishing();
    comport::SetPortsFolder(settingsFolder / "ports");
    TryStartDriver();
    ArmTickTimer();
    ArmTimer(housekeepingFd, 1s, 1s);
    lastPing = Clock::now();
    notifier.Status(StatusText());

    std::array<pollfd, 4> fds{{{signalFd, POLLIN, 0},
                               {tickFd, POLLIN, 0},
                               {housekeepingFd, POLLIN, 0},
                               {cycleFd, POLLIN, 0}}};
    bool stop = false;
    int status = 0;
    while (!stop) {
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            Log(LogLevel::Error, "event loop failed: " + std::string(ErrorText(errno)));
            status = 1;
            break;
        }
        // Signals first: a stop must not wait behind a tick's writes.
        if (fds[0].revents & POLLIN) {
            OnSignal(stop);
            if (stop) {
                break;
            }
            if (config.RecordingWanted() && !files.AnyOpen()) {
                status = 1;  // a reload found no file to record to
                break;
            }
        }
        if (fds[3].revents & POLLIN) {
            OnCycles();
        }
        if (fds[1].revents & POLLIN) {
            OnTick();
        }
        if (fds[2].revents & POLLIN) {
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
    const std::chrono::seconds period(config.Interval());
    ArmTimer(tickFd, period, period);
}

void CRecorder::StartPublishing() {
    if (!config.mqtt.enabled) {
        return;
    }
    MqttPublisher::Options options;
    options.settings = config.mqtt;
    // The queue is state, not settings: a service writes it to its state folder.
    options.settingsFolder = RescueFolder(settingsFolder).parent_path();
    options.swVersion = kOrvexVersion;
    options.onEvent = [](const MqttEvent& e) {
        switch (e.type) {
            case MqttEvent::Type::Connected:
                LogLine(LogLevel::Info, "MQTT: połączono");
                break;
            case MqttEvent::Type::Disconnected:
            case MqttEvent::Type::Failed:
                LogLine(LogLevel::Warning,
                        "MQTT: brak połączenia: " + MqttFailureText(e.failure, e.detail));
                break;
            case MqttEvent::Type::Dropped:
                LogLine(LogLevel::Warning, "MQTT: kolejka pełna, najstarsze cykle odrzucone (" +
                                               std::to_string(e.dropped) + ")");
                break;
        }
    };
    publisher = std::make_unique<MqttPublisher>(std::move(options));
    publisher->Start();
    MqttPublisher* target = publisher.get();
    publisherListener =
        driver.AddCycleListener([target](const PollingCycle& cycle) { target->OnCycle(cycle); });
    Log(LogLevel::Info, "publishing to " + config.mqtt.host + ":" +
                            std::to_string(config.mqtt.EffectivePort()) + " under " +
                            config.mqtt.topicPrefix + "/");
}

void CRecorder::StopPublishing() {
    if (publisher) {
        driver.RemoveCycleListener(publisherListener);
        publisher.reset();  // "offline", within a second whatever the broker does
        publisherListener = 0;
    }
}

void CRecorder::TryStartDriver() {
    if (driver.Start(config.portNumber, config.baudRate, config.address, config.parity)) {
        driverStarted = true;
        linkUp = true;
        stallSince = Clock::now();
        portFailureLogged = false;
        PortLog(LogLevel::Info, "opened");
        return;
    }
    const int error = driver.LastOpenError();
    driver.Stop();
    if (!portFailureLogged) {
        portFailureLogged = true;
        PortLog(LogLevel::Warning,
                "cannot be opened: " +
                    (error != 0 ? std::string(ErrorText(error)) : std::string("unknown reason")) +
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

void CRecorder::OnSignal(bool& stop) {
    signalfd_siginfo info{};
    while (::read(signalFd, &info, sizeof info) == sizeof info) {
        if (info.ssi_signo == SIGHUP) {
            Reload();
        } else {
            Log(LogLevel::Info,
                std::string("stopping on ") + (info.ssi_signo == SIGINT ? "SIGINT" : "SIGTERM"));
            stop = true;
            return;
        }
    }
}

void CRecorder::Reload() {
    // Before the first ready the manager still waits for READY=1, which only polling may send.
    if (ready) {
        notifier.Reloading();
    }
    Log(LogLevel::Info, "reloading orvex.ini and reopening the files");
    RecorderConfig fresh;
    const std::string problem = LoadConfig(fresh);
    if (!problem.empty()) {
        Log(LogLevel::Error, "orvex.ini not taken: " + problem + "; the settings before stay");
        fresh = config;
    }
    files.Reload(fresh);  // each failure is logged as it happens
    if (fresh.RecordingWanted() && !files.AnyOpen() && !(fresh == config)) {
        Log(LogLevel::Error, "no file could be opened; back to the files before");
        fresh = config;
        files.Reload(fresh);
    }
    if (fresh.RecordingWanted() && !files.AnyOpen()) {
        return;  // no file open: the loop ends with a failure
    }
    const bool publishingChanged = !(fresh.mqtt == config.mqtt);
    const bool portChanged = fresh.portNumber != config.portNumber ||
                             fresh.baudRate != config.baudRate || fresh.parity != config.parity ||
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
    if (ready) {
        notifier.Ready(StatusText());
    }
}

void CRecorder::OnCycles() {
    Drain(cycleFd);
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
    if (!ready && driverStarted) {
        ready = true;
        if (!firstRecordWritten) {
            WriteRecords();
        }
        notifier.Ready(StatusText());
        Log(LogLevel::Info, "ready");
    }
}

void CRecorder::OnTick() {
    if (Drain(tickFd)) {
        WriteRecords();
    }
}

void CRecorder::WriteRecords() {
    PollingCycle cycle;
    {
        std::lock_guard guard(cycleMutex);
        cycle = latestCycle;  // responding is false before the first cycle
    }
    // Readings of a port that has since hung up (or a thread that stalled) are not new.
    if (!driverStarted || !linkUp || Clock::now() - lastCycleTime >= kFreshCycle) {
        cycle.responding = false;
    }
    files.Tick(SnapshotFromCycle(cycle, LocalRecordTimeNow()));
    firstRecordWritten = true;
}

void CRecorder::OnHousekeeping() {
    if (!Drain(housekeepingFd)) {
        return;
    }
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
                // Nothing polls until the port is back: the device's state is unknown.
                if (responding.value_or(false)) {
                    Log(LogLevel::Warning, "device not responding");
                }
                responding.reset();
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
    std::string text = PortName(config.portNumber);
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
