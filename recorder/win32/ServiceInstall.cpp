// --install and --uninstall: the service's registration, its folder and its Event Log source.
#include <windows.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "os/FileErrorCodes.h"
#include "os/PathText.h"
#include "os/win32/WideText.h"
#include "recorder/RecorderLog.h"
#include "recorder/ServiceHost.h"
#include "recorder/win32/ServiceAccount.h"
#include "recorder/win32/ServiceNames.h"

namespace {

constexpr const wchar_t* kEventSourceKey =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\orvex-recorder";
// Closing the files takes well under a second; the rest is a margin for a slow disk.
constexpr DWORD kPreshutdownMs = 30'000;
// Restarts after a failure: soon, later, and then every five minutes; a day without one resets.
constexpr DWORD kFailureResetSeconds = 24 * 60 * 60;
constexpr std::array<DWORD, 3> kRestartDelaysMs{10'000, 60'000, 300'000};
constexpr auto kStopTimeout = std::chrono::seconds(60);

void Fail(const std::string& what) {
    std::fprintf(stderr, "orvex-recorder: %s\n", what.c_str());
}

std::string SystemText(DWORD error) {
    if (error == ERROR_ACCESS_DENIED) {
        return SystemErrorText(kErrorSystemBase + static_cast<int>(error)) +
               " (run it as an administrator)";
    }
    return SystemErrorText(kErrorSystemBase + static_cast<int>(error));
}

std::string Narrow(const std::wstring& text) {
    return Utf8FromWide(text);
}

std::wstring ProgramPath() {
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    return path;
}

class CHandle {
public:
    explicit CHandle(SC_HANDLE h) : handle(h) {}
    ~CHandle() {
        if (handle != nullptr) {
            CloseServiceHandle(handle);
        }
    }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    SC_HANDLE get() const { return handle; }
    explicit operator bool() const { return handle != nullptr; }

private:
    SC_HANDLE handle;
};

// One setting past the service's creation; a level the service manager does not know (wine's
// lacks some that Windows has had since Vista) is told and left out.
std::string Set(SC_HANDLE service, DWORD level, void* info, const std::string& what) {
    if (ChangeServiceConfig2W(service, level, info)) {
        return {};
    }
    const DWORD error = GetLastError();
    if (error == ERROR_INVALID_LEVEL) {
        std::printf("warning: this service manager does not keep %s\n", what.c_str());
        return {};
    }
    return what + ": " + SystemText(error);
}

// Everything past the service's creation; empty, or what could not be set.
std::string Configure(SC_HANDLE service) {
    std::wstring description =
        L"Records the readings of an ORVEX concentrator to the files set in orvex.ini.";
    SERVICE_DESCRIPTIONW describe{description.data()};
    std::array<SC_ACTION, kRestartDelaysMs.size()> actions{};
    for (std::size_t i = 0; i < actions.size(); ++i) {
        actions[i] = {SC_ACTION_RESTART, kRestartDelaysMs[i]};
    }
    SERVICE_FAILURE_ACTIONSW failure{};
    failure.dwResetPeriod = kFailureResetSeconds;
    failure.cActions = static_cast<DWORD>(actions.size());
    failure.lpsaActions = actions.data();
    // Also when the recorder ends with a failure status rather than a crash (a port that cannot
    // be used, a full disk).
    SERVICE_FAILURE_ACTIONS_FLAG onFailureStatus{TRUE};
    SERVICE_DELAYED_AUTO_START_INFO delayed{TRUE};
    SERVICE_PRESHUTDOWN_INFO preshutdown{kPreshutdownMs};
    for (const std::string& problem :
         {Set(service, SERVICE_CONFIG_DESCRIPTION, &describe, "the description"),
          Set(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure, "the restart on failure"),
          Set(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &onFailureStatus,
              "the restart after a failure status"),
          Set(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &delayed, "the delayed start"),
          Set(service, SERVICE_CONFIG_PRESHUTDOWN_INFO, &preshutdown,
              "the time to close the files at shutdown")}) {
        if (!problem.empty()) {
            return problem;
        }
    }
    return {};
}

// The Application log's source, with this program as its message file; a system error code.
LONG AddEventSource(const std::wstring& program) {
    HKEY key = nullptr;
    LONG error = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, nullptr, 0, KEY_SET_VALUE,
                                 nullptr, &key, nullptr);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    error = RegSetValueExW(key, L"EventMessageFile", 0, REG_EXPAND_SZ,
                           reinterpret_cast<const BYTE*>(program.c_str()),
                           static_cast<DWORD>((program.size() + 1) * sizeof(wchar_t)));
    if (error == ERROR_SUCCESS) {
        error = RegSetValueExW(key, L"TypesSupported", 0, REG_DWORD,
                               reinterpret_cast<const BYTE*>(&types), sizeof types);
    }
    RegCloseKey(key);
    return error;
}

// True while a recorder service other than this one is installed: they share the source.
bool OtherRecorderServices(SC_HANDLE manager, const std::wstring& except) {
    DWORD needed = 0;
    DWORD count = 0;
    DWORD resume = 0;
    EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL, nullptr,
                          0, &needed, &count, &resume, nullptr);
    std::vector<BYTE> buffer(needed);
    resume = 0;
    if (!EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL,
                               buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &count,
                               &resume, nullptr)) {
        return true;  // unknown: keep the source
    }
    const auto* services = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
    const std::wstring prefix = std::wstring(servicenames::kDefaultName) + L"@";
    for (DWORD i = 0; i < count; ++i) {
        const std::wstring name = services[i].lpServiceName;
        if (_wcsicmp(name.c_str(), except.c_str()) != 0 &&
            (_wcsicmp(name.c_str(), servicenames::kDefaultName) == 0 ||
             _wcsnicmp(name.c_str(), prefix.c_str(), prefix.size()) == 0)) {
            return true;
        }
    }
    return false;
}

int Install(const ServiceOptions& options, std::filesystem::path folder) {
    const std::wstring name = servicenames::ServiceName(options.name);
    const bool ownFolder = folder.empty();
    std::error_code error;
    folder = ownFolder ? servicenames::DefaultFolder(options.name)
                       : std::filesystem::absolute(folder, error);
    if (folder.empty()) {
        Fail("no settings folder: ProgramData is not set; give one with --config");
        return 1;
    }
    const std::string shown = Utf8FromPath(folder);
    std::filesystem::create_directories(folder, error);
    if (error) {
        Fail("cannot make the folder " + shown + ": " + error.message());
        return 1;
    }
    const std::wstring program = ProgramPath();
    std::wstring command = servicenames::QuotedArgument(program) + L" --service --config " +
                           servicenames::QuotedArgument(folder.wstring());
    if (!options.name.empty()) {
        command += L" --name " + WideFromUtf8(options.name);
    }
    for (const std::string& arg : options.passOn) {
        command += L" " + servicenames::QuotedArgument(WideFromUtf8(arg));
    }

    CHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    if (!manager) {
        Fail("cannot reach the service manager: " + SystemText(GetLastError()));
        return 1;
    }
    const std::wstring display = options.name.empty()
                                     ? L"orvex recorder"
                                     : L"orvex recorder (" + WideFromUtf8(options.name) + L")";
    const std::wstring account = serviceaccount::AccountName(name);
    CHandle service(CreateServiceW(manager.get(), name.c_str(), display.c_str(), SERVICE_ALL_ACCESS,
                                   SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                   SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr, nullptr,
                                   account.c_str(), nullptr));
    if (!service) {
        const DWORD code = GetLastError();
        if (code == ERROR_SERVICE_EXISTS || code == ERROR_DUPLICATE_SERVICE_NAME) {
            Fail("the service " + Narrow(name) + " is installed already (--uninstall removes it)");
        } else {
            Fail("cannot install the service " + Narrow(name) + ": " + SystemText(code));
        }
        return 1;
    }
    std::string problem = Configure(service.get());
    if (problem.empty()) {
        problem = serviceaccount::GrantFolder(folder, serviceaccount::AccountSid(name), ownFolder);
        if (!problem.empty()) {
            problem = "the access to " + shown + ": " + problem;
        }
    }
    if (problem.empty()) {
        if (const LONG code = AddEventSource(program); code != ERROR_SUCCESS) {
            problem = "the Event Log source: " + SystemText(static_cast<DWORD>(code));
        }
    }
    if (!problem.empty()) {
        // Half a service would start without what it needs: none at all.
        DeleteService(service.get());
        Fail("cannot set " + problem + "; the service is not installed");
        return 1;
    }
    std::printf("installed the service %s (account %s, settings and recordings in %s)\n",
                Narrow(name).c_str(), Narrow(account).c_str(), shown.c_str());
    if (!std::filesystem::exists(folder / L"orvex.ini", error)) {
        std::printf("put orvex.ini into %s before the service starts\n", shown.c_str());
    }
    std::printf("it starts with Windows; now: sc start %s\n", Narrow(name).c_str());
    return 0;
}

// Stops the service if it runs; true once it is stopped.
bool StopService(SC_HANDLE service) {
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service, &status)) {
        return false;
    }
    if (status.dwCurrentState == SERVICE_STOPPED) {
        return true;
    }
    if (status.dwCurrentState != SERVICE_STOP_PENDING &&
        !ControlService(service, SERVICE_CONTROL_STOP, &status) &&
        GetLastError() != ERROR_SERVICE_NOT_ACTIVE) {
        return false;
    }
    // The manager gives no notice of the end to a program that is not a service: ask again.
    const auto deadline = std::chrono::steady_clock::now() + kStopTimeout;
    while (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return status.dwCurrentState == SERVICE_STOPPED;
}

int Uninstall(const ServiceOptions& options) {
    const std::wstring name = servicenames::ServiceName(options.name);
    CHandle manager(
        OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE));
    if (!manager) {
        Fail("cannot reach the service manager: " + SystemText(GetLastError()));
        return 1;
    }
    CHandle service(
        OpenServiceW(manager.get(), name.c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
    if (!service) {
        const DWORD code = GetLastError();
        Fail(code == ERROR_SERVICE_DOES_NOT_EXIST
                 ? "no service " + Narrow(name) + " is installed"
                 : "cannot open the service " + Narrow(name) + ": " + SystemText(code));
        return 1;
    }
    if (!StopService(service.get())) {
        Fail("the service " + Narrow(name) + " did not stop; it stays installed");
        return 1;
    }
    if (!DeleteService(service.get())) {
        Fail("cannot remove the service " + Narrow(name) + ": " + SystemText(GetLastError()));
        return 1;
    }
    if (!OtherRecorderServices(manager.get(), name)) {
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kEventSourceKey);
    }
    std::printf("removed the service %s; its settings and recordings stay\n", Narrow(name).c_str());
    return 0;
}

}  // namespace

int RunServiceCommand(const ServiceOptions& options, const std::filesystem::path& settingsFolder) {
    return options.action == ServiceOptions::Action::Install ? Install(options, settingsFolder)
                                                             : Uninstall(options);
}
