// Test-only: what wine's sc.exe cannot do with a service (its configuration, its state, a
// control such as PARAMCHANGE), for the service tests.
//   orvex_wine_service config NAME | state NAME | control NAME CODE | wait NAME STATE SECONDS
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

namespace {

const char* StateName(DWORD state) {
    switch (state) {
        case SERVICE_STOPPED:
            return "STOPPED";
        case SERVICE_START_PENDING:
            return "START_PENDING";
        case SERVICE_STOP_PENDING:
            return "STOP_PENDING";
        case SERVICE_RUNNING:
            return "RUNNING";
        default:
            return "OTHER";
    }
}

std::string Narrow(const wchar_t* text) {
    if (text == nullptr) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size - 1 : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    return out;
}

std::vector<BYTE> Config2(SC_HANDLE service, DWORD level) {
    DWORD needed = 0;
    QueryServiceConfig2W(service, level, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    if (needed == 0 || !QueryServiceConfig2W(service, level, buffer.data(), needed, &needed)) {
        std::printf("config2 %lu failed %lu\n", level, GetLastError());
        return {};
    }
    return buffer;
}

int Config(SC_HANDLE service) {
    DWORD needed = 0;
    QueryServiceConfigW(service, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!QueryServiceConfigW(service, config, needed, &needed)) {
        std::printf("config failed %lu\n", GetLastError());
        return 1;
    }
    std::printf("type=%lu\nstart=%lu\ncommand=%s\naccount=%s\ndisplay=%s\n", config->dwServiceType,
                config->dwStartType, Narrow(config->lpBinaryPathName).c_str(),
                Narrow(config->lpServiceStartName).c_str(), Narrow(config->lpDisplayName).c_str());
    if (auto b = Config2(service, SERVICE_CONFIG_DESCRIPTION); !b.empty()) {
        std::printf(
            "description=%s\n",
            Narrow(reinterpret_cast<SERVICE_DESCRIPTIONW*>(b.data())->lpDescription).c_str());
    }
    if (auto b = Config2(service, SERVICE_CONFIG_FAILURE_ACTIONS); !b.empty()) {
        const auto* failure = reinterpret_cast<SERVICE_FAILURE_ACTIONSW*>(b.data());
        std::printf("reset=%lu\nactions=", failure->dwResetPeriod);
        for (DWORD i = 0; i < failure->cActions; ++i) {
            std::printf("%s%d/%lu", i ? "," : "", failure->lpsaActions[i].Type,
                        failure->lpsaActions[i].Delay);
        }
        std::printf("\n");
    }
    if (auto b = Config2(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG); !b.empty()) {
        std::printf("failure_flag=%d\n", reinterpret_cast<SERVICE_FAILURE_ACTIONS_FLAG*>(b.data())
                                             ->fFailureActionsOnNonCrashFailures);
    }
    if (auto b = Config2(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO); !b.empty()) {
        std::printf(
            "delayed=%d\n",
            reinterpret_cast<SERVICE_DELAYED_AUTO_START_INFO*>(b.data())->fDelayedAutostart);
    }
    if (auto b = Config2(service, SERVICE_CONFIG_PRESHUTDOWN_INFO); !b.empty()) {
        std::printf("preshutdown=%lu\n",
                    reinterpret_cast<SERVICE_PRESHUTDOWN_INFO*>(b.data())->dwPreshutdownTimeout);
    }
    return 0;
}

void PrintStatus(const SERVICE_STATUS& status) {
    std::printf("state=%s\naccepted=%lu\nexit=%lu\nspecific=%lu\n",
                StateName(status.dwCurrentState), status.dwControlsAccepted, status.dwWin32ExitCode,
                status.dwServiceSpecificExitCode);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fputs("usage: orvex_wine_service config|state|control|wait NAME ...\n", stderr);
        return 2;
    }
    const std::wstring verb = argv[1];
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service =
        manager ? OpenServiceW(manager, argv[2],
                               SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_PAUSE_CONTINUE)
                : nullptr;
    if (service == nullptr) {
        std::printf("open failed %lu\n", GetLastError());
        return 1;
    }
    SERVICE_STATUS status{};
    int result = 0;
    if (verb == L"config") {
        result = Config(service);
    } else if (verb == L"state") {
        result = QueryServiceStatus(service, &status) ? (PrintStatus(status), 0) : 1;
    } else if (verb == L"control" && argc == 4) {
        // Any control by its number: PARAMCHANGE (6), and those Windows sends only itself
        // (SHUTDOWN 5, PRESHUTDOWN 15), which wine's manager passes on.
        if (!ControlService(service, std::wcstoul(argv[3], nullptr, 10), &status)) {
            std::printf("control failed %lu\n", GetLastError());
            result = 1;
        }
    } else if (verb == L"wait" && argc == 5) {
        // The manager tells a program that is not a service nothing: ask until the state comes.
        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::seconds(std::wcstol(argv[4], nullptr, 10));
        result = 1;
        while (QueryServiceStatus(service, &status)) {
            if (Narrow(argv[3]) == StateName(status.dwCurrentState)) {
                result = 0;
                break;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        PrintStatus(status);
    } else {
        result = 2;
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return result;
}
