#pragma once
#include <chrono>
#include <memory>
#include <string>

// The recorder's one wait: a stop or reload request, the record tick, the housekeeping tick and
// the driver's cycles. On POSIX a poll over a signalfd (SIGTERM and SIGINT stop, SIGHUP
// reloads), two timerfds and an eventfd; on Windows WaitForMultipleObjects over the stop event
// (Ctrl-C, Ctrl-Break, the console's closing, shutdown, a service's stop), the named reload event
// and the service's, two waitable timers and an event.
class CRecorderLoop {
public:
    struct Wakes {
        bool stop = false;
        std::string stopReason;  // "SIGTERM", "Ctrl-C", ...
        bool reload = false;
        bool tick = false;
        bool housekeeping = false;
        bool cycle = false;
    };

    CRecorderLoop();
    ~CRecorderLoop();
    CRecorderLoop(const CRecorderLoop&) = delete;
    CRecorderLoop& operator=(const CRecorderLoop&) = delete;

    // Makes the timers and events; an empty text, or why the loop cannot run.
    std::string Open();
    // Fires after one period, then every period; arming again starts anew.
    void ArmTick(std::chrono::seconds period);
    void ArmHousekeeping(std::chrono::seconds period);
    // From any thread: wakes the loop for cycles (several posts may be seen as one wake).
    void PostCycle();
    // Blocks until something is due and says what; false (with why) when the wait itself failed.
    bool Wait(Wakes& wakes, std::string& error);
    // How to ask this process for a reload, for the start's log line; empty where it is the
    // usual way (SIGHUP) or there is none.
    std::string ReloadHint() const;

    // Once, at the start of main, before any thread: stop and reload requests are delivered to
    // the loop only (POSIX blocks the signals in every thread; Windows installs the console
    // handler), and a full disk or a closed pipe fails a write rather than ending the process.
    static void PrepareProcess();
    // At the end of main: a console close or shutdown on Windows may end the process now.
    static void ProcessDone();
    // Asks the recorder with this process id to reload; empty, or why not.
    static std::string RequestReload(unsigned long processId);
    // The stop and reload part of --help.
    static const char* SignalsHelp();

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};
