#include "recorder/RecorderLoop.h"

#include <windows.h>

#include <array>
#include <atomic>

#include "link/win32/PortOpener.h"
#include "os/FileErrorCodes.h"
#include "recorder/RecorderLog.h"
#include "recorder/win32/ServiceRequests.h"

namespace {

constexpr DWORD kNoStop = 0xFFFFFFFF;

// Process-wide, as the console handler is: made by PrepareProcess before any thread.
HANDLE stopEvent = nullptr;      // manual reset: a stop stays asked for
HANDLE processDone = nullptr;    // set by ProcessDone
HANDLE serviceReload = nullptr;  // auto reset: one reload per request
std::atomic<DWORD> stopType{kNoStop};

// Service controls are told apart from the console's events in stopType.
constexpr DWORD kServiceControlBase = 0x10000;

void RequestStop(DWORD type) {
    DWORD none = kNoStop;
    stopType.compare_exchange_strong(none, type);
    SetEvent(stopEvent);
}

// Windows ends the process when the handler returns from a close or shutdown event (after about
// 5 s in any case): wait for the loop to close the files first.
constexpr DWORD kCloseGraceMs = 4500;

BOOL WINAPI OnConsoleControl(DWORD type) {
    switch (type) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            break;
        default:
            // A logoff is sent to every console process, also one run for another user or as a
            // service; a recorder in the leaving user's console is closed with it anyway.
            return TRUE;
    }
    RequestStop(type);
    if (type == CTRL_CLOSE_EVENT || type == CTRL_SHUTDOWN_EVENT) {
        WaitForSingleObject(processDone, kCloseGraceMs);
    }
    return TRUE;
}

std::string StopName(DWORD type) {
    switch (type) {
        case CTRL_C_EVENT:
            return "Ctrl-C";
        case CTRL_BREAK_EVENT:
            return "Ctrl-Break";
        case CTRL_CLOSE_EVENT:
            return "the console's closing";
        case kServiceControlBase + SERVICE_CONTROL_STOP:
            return "the service's stop";
        case kServiceControlBase + SERVICE_CONTROL_PRESHUTDOWN:
            return "the system's shutdown (preshutdown)";
        default:
            return "the system's shutdown";
    }
}

std::wstring ReloadEventName(unsigned long processId) {
    return L"Local\\orvex-recorder-reload-" + std::to_wstring(processId);
}

std::string SystemText(DWORD error) {
    return SystemErrorText(kErrorSystemBase + static_cast<int>(error));
}

void ArmTimer(HANDLE timer, std::chrono::seconds period) {
    LARGE_INTEGER due;
    due.QuadPart = -static_cast<LONGLONG>(period.count()) * 10'000'000;  // relative, 100 ns
    SetWaitableTimer(timer, &due, static_cast<LONG>(period.count() * 1000), nullptr, nullptr,
                     FALSE);
}

}  // namespace

void RequestServiceStop(DWORD control) {
    RequestStop(kServiceControlBase + control);
}

void RequestServiceReload() {
    SetEvent(serviceReload);
}

struct CRecorderLoop::Impl {
    HANDLE reload = nullptr;  // none when the name could not be made
    HANDLE tick = nullptr;
    HANDLE housekeeping = nullptr;
    HANDLE cycle = nullptr;
    unsigned long processId = GetCurrentProcessId();
};

CRecorderLoop::CRecorderLoop() : impl(std::make_unique<Impl>()) {}

CRecorderLoop::~CRecorderLoop() {
    for (HANDLE h : {impl->reload, impl->tick, impl->housekeeping, impl->cycle}) {
        if (h != nullptr) {
            CloseHandle(h);
        }
    }
}

std::string CRecorderLoop::Open() {
    if (stopEvent == nullptr) {
        return "the process was not prepared for stop requests";
    }
    impl->tick = CreateWaitableTimerW(nullptr, FALSE, nullptr);
    impl->housekeeping = CreateWaitableTimerW(nullptr, FALSE, nullptr);
    impl->cycle = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (impl->tick == nullptr || impl->housekeeping == nullptr || impl->cycle == nullptr) {
        return SystemText(GetLastError());
    }
    // Without the reload event the recorder still records; it only cannot be asked to reload.
    impl->reload = CreateEventW(nullptr, FALSE, FALSE, ReloadEventName(impl->processId).c_str());
    return {};
}

void CRecorderLoop::ArmTick(std::chrono::seconds period) {
    ArmTimer(impl->tick, period);
}

void CRecorderLoop::ArmHousekeeping(std::chrono::seconds period) {
    ArmTimer(impl->housekeeping, period);
}

void CRecorderLoop::PostCycle() {
    SetEvent(impl->cycle);
}

bool CRecorderLoop::Wait(Wakes& wakes, std::string& error) {
    wakes = {};
    // Stop first: WaitForMultipleObjects names the lowest signalled handle.
    std::array<HANDLE, 6> handles{};
    std::array<bool*, 6> flags{};
    DWORD count = 0;
    const auto add = [&](HANDLE h, bool* flag) {
        if (h != nullptr) {
            handles[count] = h;
            flags[count] = flag;
            ++count;
        }
    };
    add(stopEvent, &wakes.stop);
    add(impl->reload, &wakes.reload);
    add(serviceReload, &wakes.reload);
    add(impl->cycle, &wakes.cycle);
    add(impl->tick, &wakes.tick);
    add(impl->housekeeping, &wakes.housekeeping);
    const DWORD result = WaitForMultipleObjects(count, handles.data(), FALSE, INFINITE);
    if (result >= WAIT_OBJECT_0 + count) {
        error = SystemText(GetLastError());
        return false;
    }
    const DWORD first = result - WAIT_OBJECT_0;
    *flags[first] = true;
    // The others that are due as well, taken now (a timer's or event's wait resets it). Two
    // handles share the reload flag: one that is set stays set.
    for (DWORD i = first + 1; i < count; ++i) {
        if (WaitForSingleObject(handles[i], 0) == WAIT_OBJECT_0) {
            *flags[i] = true;
        }
    }
    if (wakes.stop) {
        wakes.stopReason = StopName(stopType.load());
    }
    return true;
}

std::string CRecorderLoop::ReloadHint() const {
    if (impl->reload == nullptr) {
        return {};
    }
    return "orvex-recorder --reload " + std::to_string(impl->processId);
}

void CRecorderLoop::PrepareProcess() {
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    processDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    serviceReload = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    // The loop's thread opens the port: a stop must not wait behind a port slow to open.
    EndPortOpensOn(stopEvent);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

void CRecorderLoop::ProcessDone() {
    if (processDone != nullptr) {
        SetEvent(processDone);
    }
}

std::string CRecorderLoop::RequestReload(unsigned long processId) {
    HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, ReloadEventName(processId).c_str());
    if (event == nullptr) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) {
            return "no orvex-recorder with process id " + std::to_string(processId) +
                   " runs in this session";
        }
        return SystemText(error);
    }
    const bool set = SetEvent(event) != FALSE;
    const DWORD error = GetLastError();
    CloseHandle(event);
    return set ? std::string() : SystemText(error);
}

const char* CRecorderLoop::SignalsHelp() {
    return "Ctrl-C, Ctrl-Break, closing the console or shutting Windows down stop it (the files\n"
           "are closed first). --reload PID asks the recorder with that process id (logged at\n"
           "its start) to reopen the files and reread orvex.ini.\n";
}
