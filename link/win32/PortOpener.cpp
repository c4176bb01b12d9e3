#include "link/win32/PortOpener.h"

#include <system_error>
#include <thread>

namespace {

// How long the opener's end waits for a worker still in the driver after asking it to give up.
constexpr DWORD kEndWaitMs = 500;

}  // namespace

struct CPortOpener::Attempt {
    explicit Attempt(std::wstring name)
        : path(std::move(name)), finished(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Attempt() {
        if (finished != nullptr)
            CloseHandle(finished);
    }
    Attempt(const Attempt&) = delete;
    Attempt& operator=(const Attempt&) = delete;

    const std::wstring path;
    const HANDLE finished;  // manual reset: set once the open has returned
    std::thread worker;
    // Under the mutex from here on.
    HANDLE workerHandle = nullptr;  // for cancelling a hung open at the end
    HANDLE handle = INVALID_HANDLE_VALUE;
    DWORD error = 0;
    int waiters = 0;
    bool done = false;
    bool taken = false;
};

CPortOpener::CPortOpener() : mutex(std::make_shared<std::mutex>()) {}

CPortOpener::~CPortOpener() {
    std::list<std::shared_ptr<Attempt>> all;
    {
        std::lock_guard guard(*mutex);
        // A driver that supports it gives up a hung open.
        for (const auto& attempt : attempts) {
            if (!attempt->done && attempt->workerHandle != nullptr)
                CancelSynchronousIo(attempt->workerHandle);
        }
        all.swap(attempts);
    }
    for (const auto& attempt : all) {
        if (WaitForSingleObject(attempt->finished, kEndWaitMs) != WAIT_OBJECT_0) {
            // Still in the driver: it ends on its own and closes its late handle itself, as
            // nobody waits for it; the attempt and the mutex stay alive with it.
            attempt->worker.detach();
            continue;
        }
        attempt->worker.join();
        if (!attempt->taken && attempt->handle != INVALID_HANDLE_VALUE)
            CloseHandle(attempt->handle);
    }
}

void CPortOpener::Run(const std::shared_ptr<std::mutex>& mutex,
                      const std::shared_ptr<Attempt>& attempt, const OpenCall& open) {
    HANDLE self = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    {
        std::lock_guard guard(*mutex);
        attempt->workerHandle = self;
    }
    HANDLE h = open(attempt->path);
    const DWORD error = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    std::lock_guard guard(*mutex);
    if (attempt->waiters == 0 && h != INVALID_HANDLE_VALUE) {
        // Late: its caller has given up, and an unwanted open port would keep others out.
        CloseHandle(h);
        h = INVALID_HANDLE_VALUE;
    }
    attempt->handle = h;
    attempt->error = h == INVALID_HANDLE_VALUE && error == 0 ? ERROR_TIMEOUT : error;
    if (self != nullptr)
        CloseHandle(self);
    attempt->workerHandle = nullptr;
    attempt->done = true;  // nothing below touches the attempt: it may be joined from here on
    SetEvent(attempt->finished);
}

void CPortOpener::Reap() {
    for (auto it = attempts.begin(); it != attempts.end();) {
        Attempt& attempt = **it;
        if (attempt.done && attempt.waiters == 0 &&
            (attempt.taken || attempt.handle == INVALID_HANDLE_VALUE)) {
            attempt.worker.join();  // done: it only has to return
            it = attempts.erase(it);
        } else {
            ++it;
        }
    }
}

HANDLE CPortOpener::Open(const std::wstring& path, const OpenCall& open, DWORD boundMs,
                         DWORD& error) {
    const HANDLE stop = stopEvent.load();
    if (stop != nullptr && WaitForSingleObject(stop, 0) == WAIT_OBJECT_0) {
        error = ERROR_OPERATION_ABORTED;
        return INVALID_HANDLE_VALUE;
    }
    std::shared_ptr<Attempt> attempt;
    {
        std::lock_guard guard(*mutex);
        Reap();
        for (const auto& candidate : attempts) {
            if (!candidate->done && candidate->path == path)
                attempt = candidate;
        }
        if (!attempt) {
            auto fresh = std::make_shared<Attempt>(path);
            if (fresh->finished == nullptr) {
                error = GetLastError();
                return INVALID_HANDLE_VALUE;
            }
            try {
                fresh->worker = std::thread(&CPortOpener::Run, mutex, fresh, open);
            } catch (const std::system_error&) {
                error = ERROR_NOT_ENOUGH_MEMORY;
                return INVALID_HANDLE_VALUE;
            }
            attempt = fresh;
            attempts.push_back(std::move(fresh));
        }
        ++attempt->waiters;
    }
    // Outside the mutex, which the worker needs to finish; the waiter count keeps the attempt.
    const HANDLE events[2] = {attempt->finished, stop};
    WaitForMultipleObjects(stop != nullptr ? 2 : 1, events, FALSE, boundMs);
    std::lock_guard guard(*mutex);
    --attempt->waiters;
    HANDLE h = INVALID_HANDLE_VALUE;
    if (!attempt->done) {
        const bool stopped = stop != nullptr && WaitForSingleObject(stop, 0) == WAIT_OBJECT_0;
        error = stopped ? ERROR_OPERATION_ABORTED : ERROR_TIMEOUT;
    } else if (attempt->handle == INVALID_HANDLE_VALUE) {
        error = attempt->error;
    } else if (attempt->taken) {
        error = ERROR_ACCESS_DENIED;  // another caller took the port, as an exclusive open would
    } else {
        attempt->taken = true;
        h = attempt->handle;
        error = 0;
    }
    Reap();
    return h;
}

namespace {

CPortOpener& ProcessOpener() {
    static CPortOpener opener;
    return opener;
}

}  // namespace

HANDLE OpenPortBounded(const std::wstring& path, const CPortOpener::OpenCall& open, DWORD boundMs,
                       DWORD& error) {
    return ProcessOpener().Open(path, open, boundMs, error);
}

void EndPortOpensOn(HANDLE stop) {
    ProcessOpener().SetStopEvent(stop);
}
