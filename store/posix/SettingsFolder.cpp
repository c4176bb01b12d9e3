#include "store/SettingsFolder.h"

#include <unistd.h>

#include <cstdlib>
#include <system_error>

namespace fs = std::filesystem;

bool CanKeepSettingsIn(const fs::path& folder) {
    if (folder.empty()) {
        return false;
    }
    // A settings file that is there is the user's, even one that cannot be written: it is read,
    // and the program says so at exit if the changes cannot be saved.
    const fs::path file = folder / kSettingsFile;
    std::error_code ec;
    if (fs::exists(fs::symlink_status(file, ec))) {
        return ::access(file.c_str(), R_OK) == 0;
    }
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
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
