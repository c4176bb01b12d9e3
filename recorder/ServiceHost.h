#pragma once
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// The recorder as a service of a manager with its own protocol: Windows registers, starts and
// controls services itself. On Linux systemd starts the console program as it is, so there no
// option is taken and none of this runs.
struct ServiceOptions {
    enum class Action { None, Install, Uninstall, Run };
    Action action = Action::None;
    std::string name;                 // an instance beside the default service; empty: none
    std::vector<std::string> passOn;  // recorder options the installed service is started with
};

// Takes the service option at args[i], advancing i past its value. False for an argument that is
// not one (error stays empty) or a malformed one (error says why).
bool ParseServiceOption(const std::vector<std::string>& args, std::size_t& i,
                        ServiceOptions& options, std::string& error);
// The service part of --help; empty where there is none.
const char* ServiceHelp();
// --install or --uninstall; the exit status. settingsFolder may be empty (the default one).
int RunServiceCommand(const ServiceOptions& options, const std::filesystem::path& settingsFolder);
// Hands the process to the service manager, which has record run once as the service; the exit
// status. PrepareProcess must have run.
int RunAsService(const ServiceOptions& options, const std::filesystem::path& settingsFolder,
                 const std::function<int(const std::filesystem::path&)>& record);
