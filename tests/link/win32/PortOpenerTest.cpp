// Opening a port on a worker: a hung open holds its caller no longer than the bound, and a
// handle that arrives after everybody gave up is closed, not left holding the port.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <future>

#include "link/win32/PortOpener.h"

namespace {

constexpr DWORD kLongWaitMs = 60000;

// An open that finishes only when the test says so, returning an event handle as the "port".
struct HeldOpen {
    HeldOpen() : release(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~HeldOpen() { CloseHandle(release); }
    CPortOpener::OpenCall Call() {
        return [this](const std::wstring&) {
            ++calls;
            WaitForSingleObject(release, kLongWaitMs);
            const HANDLE h = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            opened = h;
            return h;
        };
    }
    HANDLE release;
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
    }  // joins the worker
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

}  // namespace
