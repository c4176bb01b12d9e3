#include "link/win32/PortOpener.h"

#include <chrono>
#include <system_error>
#include <thread>

struct CPortOpener::Attempt {
    std::wstring path;
    std::thread worker;
    HANDLE workerHandle = nullptr;  // for cancelling a hung open at the end
    HANDLE handle = INVALID_HANDLE_VALUE;
    DWORD error = 0;
    int waiters = 0;
    bool done = false;
    bool taken = false;
};

CPortOpener::CPortOpener() = default;

CPortOpener::~CPortOpener() {
    std::unique_lock guard(mutex);
    // A driver that supports it gives up a hung open; others are waited for.
    for (const auto& attempt : attempts) {
        if (!attempt->done && attempt->workerHandle != nullptr)
            CancelSynchronousIo(attempt->workerHandle);
    }
    std::list<std::unique_ptr<Attempt>> all;
    all.swap(attempts);
    guard.unlock();
    for (const auto& attempt : all) {
        if (attempt->worker.joinable())
            attempt->worker.join();
        if (!attempt->taken && attempt->handle != INVALID_HANDLE_VALUE)
            CloseHandle(attempt->handle);
    }
}

void CPortOpener::Run(Attempt& attempt, OpenCall open) {
    HANDLE self = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    {
        std::lock_guard guard(mutex);
        attempt.workerHandle = self;
    }
    HANDLE h = open(attempt.path);
    const DWORD error = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    std::lock_guard guard(mutex);
    if (attempt.waiters == 0 && h != INVALID_HANDLE_VALUE) {
        // Late: its caller has given up, and an unwanted open port would keep others out.
        CloseHandle(h);
        h = INVALID_HANDLE_VALUE;
    }
    attempt.handle = h;
    attempt.error = h == INVALID_HANDLE_VALUE && error == 0 ? ERROR_TIMEOUT : error;
    if (self != nullptr)
        CloseHandle(self);
    attempt.workerHandle = nullptr;
    attempt.done = true;  // nothing below touches the attempt: it may be joined from here on
    finished.notify_all();
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
    std::unique_lock guard(mutex);
    Reap();
    Attempt* attempt = nullptr;
    for (const auto& candidate : attempts) {
        if (!candidate->done && candidate->path == path)
            attempt = candidate.get();
    }
    if (attempt == nullptr) {
        auto fresh = std::make_unique<Attempt>();
        fresh->path = path;
        try {
            fresh->worker = std::thread([this, raw = fresh.get(), open] { Run(*raw, open); });
        } catch (const std::system_error&) {
            error = ERROR_NOT_ENOUGH_MEMORY;
            return INVALID_HANDLE_VALUE;
        }
        attempt = fresh.get();
        attempts.push_back(std::move(fresh));
    }
    ++attempt->waiters;
    const bool done = finished.wait_for(guard, std::chrono::milliseconds(boundMs),
                                        [attempt] { return attempt->done; });
    --attempt->waiters;
    HANDLE h = INVALID_HANDLE_VALUE;
    if (!done) {
        error = ERROR_TIMEOUT;
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

HANDLE OpenPortBounded(const std::wstring& path, const CPortOpener::OpenCall& open, DWORD boundMs,
                       DWORD& error) {
    static CPortOpener opener;
    return opener.Open(path, open, boundMs, error);
}
