#include "store/SettingsFolder.h"

#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "store/SettingsFolderAccess.h"

namespace fs = std::filesystem;

const UnwritableSettings kUnwritableSettings = UnwritableSettings::Kept;

SettingsFileView LookAtSettings(const fs::path& folder) {
    SettingsFileView view;
    const fs::path file = folder / kSettingsFile;
    std::error_code ec;
    view.exists = fs::exists(fs::symlink_status(file, ec));
    view.readable = view.exists && ::access(file.c_str(), R_OK) == 0;
    view.writable = view.exists && ::access(file.c_str(), W_OK) == 0;
    view.folderTakesFile = ::access(folder.c_str(), W_OK | X_OK) == 0;
    return view;
}

fs::path UserConfigFolder(const char* xdgConfigHome, const char* home) {
    // Relative values of XDG_CONFIG_HOME are invalid and must be ignored.
    if (xdgConfigHome != nullptr && xdgConfigHome[0] == '/') {
        return fs::path(xdgConfigHome) / "orvex";
    }
    if (home != nullptr && home[0] != '\0') {
        return fs::path(home) / ".config" / "orvex";
    }
    return fs::path("/tmp") / "orvex";
}

fs::path UserConfigFolder() {
    return UserConfigFolder(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
}
