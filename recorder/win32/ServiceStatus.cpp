#include "recorder/win32/ServiceStatus.h"

#include <mutex>

namespace servicestatus {
namespace {

// Long enough for the settings and files to open, and for them to be closed, on a slow disk.
constexpr DWORD kPendingHintMs = 30'000;

std::mutex mutex;
SERVICE_STATUS_HANDLE statusHandle = nullptr;
SERVICE_STATUS status{};
std::wstring name;

void Report() {
    SetServiceStatus(statusHandle, &status);
}

void Pending(DWORD state) {
    if (status.dwCurrentState != state) {
        status.dwCheckPoint = 0;
    }
    status.dwCurrentState = state;
    status.dwControlsAccepted = 0;
    status.dwWaitHint = kPendingHintMs;
    ++status.dwCheckPoint;
    Report();
}

}  // namespace

void Begin(SERVICE_STATUS_HANDLE handle, const std::wstring& serviceName) {
    std::lock_guard guard(mutex);
    statusHandle = handle;
    name = serviceName;
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    Pending(SERVICE_START_PENDING);
}

bool InService() {
    std::lock_guard guard(mutex);
    return statusHandle != nullptr;
}

std::wstring ServiceName() {
    std::lock_guard guard(mutex);
    return name;
}

void Running() {
    std::lock_guard guard(mutex);
    if (statusHandle == nullptr || status.dwCurrentState == SERVICE_STOP_PENDING ||
        status.dwCurrentState == SERVICE_STOPPED) {
        return;  // a reload's READY must not undo a stop under way
    }
    status.dwCurrentState = SERVICE_RUNNING;
    // PRESHUTDOWN comes early enough to close the files; SHUTDOWN is the last word otherwise.
    status.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PRESHUTDOWN |
                                SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PARAMCHANGE;
    status.dwWaitHint = 0;
    status.dwCheckPoint = 0;
    Report();
}

void StopPending() {
    std::lock_guard guard(mutex);
    if (statusHandle == nullptr || status.dwCurrentState == SERVICE_STOPPED) {
        return;
    }
    Pending(SERVICE_STOP_PENDING);
}

void Stopped(int exitStatus) {
    std::lock_guard guard(mutex);
    if (statusHandle == nullptr) {
        return;
    }
    status.dwCurrentState = SERVICE_STOPPED;
    status.dwControlsAccepted = 0;
    status.dwWaitHint = 0;
    status.dwCheckPoint = 0;
    status.dwWin32ExitCode = exitStatus == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
    status.dwServiceSpecificExitCode = static_cast<DWORD>(exitStatus);
    Report();
}

}  // namespace servicestatus
