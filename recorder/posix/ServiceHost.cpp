#include "recorder/ServiceHost.h"

// systemd runs the console program itself: there is nothing to install or dispatch.
bool ParseServiceOption(const std::vector<std::string>&, std::size_t&, ServiceOptions&,
                        std::string&) {
    return false;
}

const char* ServiceHelp() {
    return "";
}

int RunServiceCommand(const ServiceOptions&, const std::filesystem::path&) {
    return 2;
}

int RunAsService(const ServiceOptions&, const std::filesystem::path& settingsFolder,
                 const std::function<int(const std::filesystem::path&)>& record) {
    return record(settingsFolder);
}
