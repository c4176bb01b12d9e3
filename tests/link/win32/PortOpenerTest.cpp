// Opening a port on a worker: a hung open holds its caller no longer than the bound, and a
// handle that arrives after everybody gave up is closed, not left holding the port.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <future>

#include "link/win32/PortOpener.h"

namespace {

constexpr DWORD kLongWaitMs = 60000;

// An open that finishes only when the test says so, returning an event handle as the "port".
struct HeldOpen {
    HeldOpen()
        : release(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          entered(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          returned(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~HeldOpen() {
        CloseHandle(release);
        CloseHandle(entered);
        CloseHandle(returned);
    }
    CPortOpener::OpenCall Call() {
        return [this](const std::wstring&) {
            ++calls;
            SetEvent(entered);
            WaitForSingleObject(release, kLongWaitMs);
            const HANDLE h = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            opened = h;
            SetEvent(returned);  // the last touch of this object
            return h;
        };
    }
    HANDLE release;
    HANDLE entered;
    HANDLE returned;
    std::atomic<int> calls{0};
    std::atomic<HANDLE> opened{nullptr};
};

bool IsOpenHandle(HANDLE h) {
    DWORD flags = 0;
    return GetHandleInformation(h, &flags) != 0;
}

TEST(PortOpener, ResultOfAQuickOpenComesBack) {
    CPortOpener opener;
    DWORD error = 1;
    const HANDLE h = opener.Open(
        L"\\\\.\\COM1",
        [](const std::wstring&) { return CreateEventW(nullptr, TRUE, FALSE, nullptr); },
        kLongWaitMs, error);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(error, 0u);
    EXPECT_TRUE(IsOpenHandle(h));
    CloseHandle(h);

    const HANDLE refused = opener.Open(
        L"\\\\.\\COM1",
        [](const std::wstring&) {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        },
        kLongWaitMs, error);
    EXPECT_EQ(refused, INVALID_HANDLE_VALUE);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(PortOpener, HungOpenTimesOutAndItsLateHandleIsClosed) {
    HeldOpen held;
    HANDLE late = nullptr;
    {
        CPortOpener opener;
        DWORD error = 0;
        EXPECT_EQ(opener.Open(L"\\\\.\\COM7", held.Call(), 50, error), INVALID_HANDLE_VALUE);
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_TIMEOUT));
        // Asked again while the first open still hangs: no second open of the same port.
        error = 0;
        EXPECT_EQ(opener.Open(L"\\\\.\\COM7", held.Call(), 50, error), INVALID_HANDLE_VALUE);
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_TIMEOUT));
        EXPECT_EQ(held.calls.load(), 1);
        SetEvent(held.release);
        ASSERT_EQ(WaitForSingleObject(held.returned, kLongWaitMs), WAIT_OBJECT_0);
    }  // joins the worker, which has returned from the open
    late = held.opened.load();
    ASSERT_NE(late, nullptr);
    EXPECT_FALSE(IsOpenHandle(late));
}

// A caller waiting when the slow open finishes gets the port, whether it took over the pending
// open or had to start another one.
TEST(PortOpener, SlowOpenServesTheNextCaller) {
    HeldOpen held;
    CPortOpener opener;
    DWORD error = 0;
    ASSERT_EQ(opener.Open(L"\\\\.\\COM8", held.Call(), 50, error), INVALID_HANDLE_VALUE);
    auto next = std::async(std::launch::async, [&] {
        DWORD nextError = 1;
        const HANDLE h = opener.Open(L"\\\\.\\COM8", held.Call(), kLongWaitMs, nextError);
        return std::make_pair(h, nextError);
    });
    SetEvent(held.release);
    const auto [h, nextError] = next.get();
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(nextError, 0u);
    EXPECT_TRUE(IsOpenHandle(h));
    CloseHandle(h);
}

// A stop (Ctrl-C in the recorder) ends a wait for a hung open at once, not after the bound, and
// no open starts after it.
TEST(PortOpener, StopEndsTheWaitAtOnceAndStartsNoMoreOpens) {
    HeldOpen held;
    const HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    {
        CPortOpener opener;
        opener.SetStopEvent(stop);
        auto waiting = std::async(std::launch::async, [&] {
            DWORD error = 0;
            const HANDLE h = opener.Open(L"\\\\.\\COM9", held.Call(), kLongWaitMs, error);
            return std::make_pair(h, error);
        });
        // The bound is a minute: only the stop can end the wait within the test's patience.
        ASSERT_EQ(WaitForSingleObject(held.entered, kLongWaitMs), WAIT_OBJECT_0);
        SetEvent(stop);
        ASSERT_EQ(waiting.wait_for(std::chrono::seconds(30)), std::future_status::ready);
        const auto [h, error] = waiting.get();
        EXPECT_EQ(h, INVALID_HANDLE_VALUE);
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_OPERATION_ABORTED));

        DWORD laterError = 0;
        EXPECT_EQ(opener.Open(L"\\\\.\\COM10", held.Call(), kLongWaitMs, laterError),
                  INVALID_HANDLE_VALUE);
        EXPECT_EQ(laterError, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
        SetEvent(held.release);
        ASSERT_EQ(WaitForSingleObject(held.returned, kLongWaitMs), WAIT_OBJECT_0);
        EXPECT_EQ(held.calls.load(), 1);  // the later open never started
    }
    CloseHandle(stop);
}

// The opener's end (the program's exit) does not wait for an open stuck in the driver: the worker
// is left to finish on its own and then closes the handle nobody wants.
TEST(PortOpener, EndDoesNotWaitForAnOpenStuckInTheDriver) {
    HeldOpen held;
    auto ended = std::async(std::launch::async, [&] {
        CPortOpener opener;
        DWORD error = 0;
        EXPECT_EQ(opener.Open(L"\\\\.\\COM11", held.Call(), 50, error), INVALID_HANDLE_VALUE);
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_TIMEOUT));
    });
    // Joining the worker would take the open's full minute.
    EXPECT_EQ(ended.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    SetEvent(held.release);
    ASSERT_EQ(WaitForSingleObject(held.returned, kLongWaitMs), WAIT_OBJECT_0);
    ended.wait();
}

}  // namespace
