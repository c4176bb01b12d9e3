#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>

// Opens ports on worker threads so that a caller waits at most a bound, however long the driver
// takes (some Bluetooth ports take seconds), and not at all once the stop event is set. A handle
// that arrives while nobody waits for it any more is closed at once; a caller that asks for the
// same path while its open is still under way waits for that open instead of starting a second
// one, and takes its handle if it arrives in time. Workers are joined as they finish; one still
// stuck in the driver when the opener goes is left to end on its own.
class CPortOpener {
public:
    using OpenCall = std::function<HANDLE(const std::wstring& path)>;

    CPortOpener();
    ~CPortOpener();
    CPortOpener(const CPortOpener&) = delete;
    CPortOpener& operator=(const CPortOpener&) = delete;

    // open runs on a worker and returns the handle or INVALID_HANDLE_VALUE with the thread's
    // last error set. Returns the handle, or INVALID_HANDLE_VALUE with error: open's own,
    // ERROR_TIMEOUT when it did not finish within boundMs, ERROR_OPERATION_ABORTED when the
    // stop event is set.
    HANDLE Open(const std::wstring& path, const OpenCall& open, DWORD boundMs, DWORD& error);

    // A manual-reset event owned by the caller and kept for the opener's life (or nullptr): once
    // set, waits end at once and no open starts any more.
    void SetStopEvent(HANDLE stop) { stopEvent = stop; }

private:
    struct Attempt;
    static void Run(const std::shared_ptr<std::mutex>& mutex,
                    const std::shared_ptr<Attempt>& attempt, const OpenCall& open);
    // Joins the workers that are done and whose handle is taken or closed; under mutex.
    void Reap();

    // Shared with the workers, which may outlive the opener.
    std::shared_ptr<std::mutex> mutex;
    std::list<std::shared_ptr<Attempt>> attempts;
    std::atomic<HANDLE> stopEvent{nullptr};
};

// The process's opener.
HANDLE OpenPortBounded(const std::wstring& path, const CPortOpener::OpenCall& open, DWORD boundMs,
                       DWORD& error);
// Gives the process's opener its stop event (see CPortOpener::SetStopEvent): a program that is
// asked to stop does not wait for a port that is slow to open.
void EndPortOpensOn(HANDLE stop);
