#pragma once
#include <windows.h>

#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>

// Opens ports on worker threads so that a caller waits at most a bound, however long the driver
// takes (some Bluetooth ports take seconds). A handle that arrives while nobody waits for it any
// more is closed at once; a caller that asks for the same path while its open is still under way
// waits for that open instead of starting a second one, and takes its handle if it arrives in
// time. Workers are joined as they finish and at the latest by the destructor.
class CPortOpener {
public:
    using OpenCall = std::function<HANDLE(const std::wstring& path)>;

    CPortOpener();
    ~CPortOpener();
    CPortOpener(const CPortOpener&) = delete;
    CPortOpener& operator=(const CPortOpener&) = delete;

    // open runs on a worker and returns the handle or INVALID_HANDLE_VALUE with the thread's
    // last error set. Returns the handle, or INVALID_HANDLE_VALUE with error: open's own,
    // ERROR_TIMEOUT when it did not finish within boundMs.
    HANDLE Open(const std::wstring& path, const OpenCall& open, DWORD boundMs, DWORD& error);

private:
    struct Attempt;
    void Run(Attempt& attempt, OpenCall open);
    // Joins the workers that are done and whose handle is taken or closed; under mutex.
    void Reap();

    std::mutex mutex;
    std::condition_variable finished;
    std::list<std::unique_ptr<Attempt>> attempts;
};

// The process's opener, whose workers are joined when the program ends.
HANDLE OpenPortBounded(const std::wstring& path, const CPortOpener::OpenCall& open, DWORD boundMs,
                       DWORD& error);
