#pragma once
#include <filesystem>

inline constexpr const char* kSettingsFile = "orvex.ini";
// Beside the settings file: recorded rows that could not be written when the program ended.
inline constexpr const char* kRescueFolder = "niezapisane";

// Where orvex.ini (and the ports/ folder beside it) lives:
// 1. $ORVEX_CONFIG_DIR when set and not empty (created when needed): demos and tests;
// 2. the folder of the running executable, when orvex.ini can be kept there (CanKeepSettingsIn);
// 3. otherwise the user's own settings folder (see UserConfigFolder), created when needed.
std::filesystem::path ResolveSettingsFolder();

// Step 2's test, on what the platform sees of the folder (see KeepsSettings).
bool CanKeepSettingsIn(const std::filesystem::path& folder);

// What step 2 looks at.
struct SettingsFileView {
    bool exists = false;           // something stands at the settings file's name
    bool readable = false;         // it is a file that can be read
    bool writable = false;         // it is a file that can be written
    bool folderTakesFile = false;  // a new file can be created in the folder
};
// How a settings file that can be read but not written counts in a folder that takes no new
// file. Kept on POSIX systems: it is the user's, read, and the program says at exit that the
// changes could not be saved. Passed over on Windows: such a folder is an installed program's
// (Program Files), whose files a user cannot change.
enum class UnwritableSettings { Kept, PassedOver };
// Step 2's rule: the folder is taken when the settings file there can be read and kept up to
// date, or, when there is none, created.
bool KeepsSettings(const SettingsFileView& view, UnwritableSettings unwritable);

// Step 3's folder for the given environment values (either may be null or empty, UTF-8): on
// POSIX systems $XDG_CONFIG_HOME/orvex, by default ~/.config/orvex, from XDG_CONFIG_HOME and
// HOME; on Windows %APPDATA%\orvex, by default %USERPROFILE%\AppData\Roaming\orvex, from
// APPDATA and USERPROFILE.
std::filesystem::path UserConfigFolder(const char* configHome, const char* home);
// The same for this process's environment.
std::filesystem::path UserConfigFolder();
