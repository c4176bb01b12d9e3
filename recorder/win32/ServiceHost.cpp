#include "recorder/ServiceHost.h"

#include <windows.h>

#include <cstdio>

#include "recorder/win32/ServiceNames.h"
#include "recorder/win32/ServiceRequests.h"
#include "recorder/win32/ServiceStatus.h"

namespace {

// What ServiceMain needs; set before the dispatcher starts it, read on its thread only.
std::wstring serviceName;
std::filesystem::path serviceFolder;
const std::function<int(const std::filesystem::path&)>* serviceRecord = nullptr;
int serviceExit = 0;

DWORD WINAPI OnServiceControl(DWORD control, DWORD, void*, void*) {
    switch (control) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN:
        case SERVICE_CONTROL_PRESHUTDOWN:
            servicestatus::StopPending();
            RequestServiceStop(control);
            return NO_ERROR;
        case SERVICE_CONTROL_PARAMCHANGE:
            RequestServiceReload();
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE:
            return NO_ERROR;
        default:
            return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
    const SERVICE_STATUS_HANDLE handle =
        RegisterServiceCtrlHandlerExW(serviceName.c_str(), OnServiceControl, nullptr);
    if (handle == nullptr) {
        serviceExit = 1;
        return;
    }
    servicestatus::Begin(handle, serviceName);
    // Relative file names in orvex.ini are the settings folder's, not the system folder a
    // service starts in.
    SetCurrentDirectoryW(serviceFolder.c_str());
    serviceExit = (*serviceRecord)(serviceFolder);
    servicestatus::Stopped(serviceExit);
}

}  // namespace

bool ParseServiceOption(const std::vector<std::string>& args, std::size_t& i,
                        ServiceOptions& options, std::string& error) {
    const std::string& arg = args[i];
    ServiceOptions::Action action = ServiceOptions::Action::None;
    if (arg == "--install") {
        action = ServiceOptions::Action::Install;
    } else if (arg == "--uninstall") {
        action = ServiceOptions::Action::Uninstall;
    } else if (arg == "--service") {
        action = ServiceOptions::Action::Run;
    } else if (arg == "--name" && i + 1 < args.size()) {
        options.name = args[++i];
        if (!servicenames::ValidInstance(options.name)) {
            error = "--name takes up to 64 letters, digits, '.', '_' and '-'";
        }
        return error.empty();
    } else {
        return false;
    }
    if (options.action != ServiceOptions::Action::None && options.action != action) {
        error = "--install, --uninstall and --service exclude each other";
        return false;
    }
    options.action = action;
    return true;
}

const char* ServiceHelp() {
    return "As a Windows service (as an administrator):\n"
           "  --install      registers the service orvex-recorder: it starts with Windows,\n"
           "                 restarts after a failure and logs errors and warnings to the\n"
           "                 Application log; it reads orvex.ini from --config DIR (default:\n"
           "                 %ProgramData%\\orvex, or %ProgramData%\\orvex\\NAME)\n"
           "  --uninstall    stops and removes the service (its settings and recordings stay)\n"
           "  --name NAME    a service orvex-recorder@NAME beside the others\n"
           "\"sc stop orvex-recorder\" stops the service (the files are closed first);\n"
           "\"sc control orvex-recorder paramchange\" has it reopen the files and reread\n"
           "orvex.ini.\n";
}

int RunAsService(const ServiceOptions& options, const std::filesystem::path& settingsFolder,
                 const std::function<int(const std::filesystem::path&)>& record) {
    serviceName = servicenames::ServiceName(options.name);
    std::error_code ignored;
    serviceFolder = settingsFolder.empty() ? servicenames::DefaultFolder(options.name)
                                           : std::filesystem::absolute(settingsFolder, ignored);
    serviceRecord = &record;
    SERVICE_TABLE_ENTRYW table[] = {{serviceName.data(), ServiceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table)) {
        if (GetLastError() == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
            std::fputs(
                "orvex-recorder: --service is for the service manager; without it the "
                "recorder records in this console\n",
                stderr);
        } else {
            std::fprintf(stderr, "orvex-recorder: the service manager refused the service (%lu)\n",
                         GetLastError());
        }
        return 2;
    }
    return serviceExit;
}
