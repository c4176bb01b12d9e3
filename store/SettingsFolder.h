#pragma once
#include <filesystem>

inline constexpr const char* kSettingsFile = "orvex.ini";
// Beside the settings file: recorded rows that could not be written when the program ended.
inline constexpr const char* kRescueFolder = "niezapisane";

// Where orvex.ini (and the ports/ folder beside it) lives:
// 1. $ORVEX_CONFIG_DIR when set and not empty (created when needed): demos and tests;
// 2. the folder of the running executable, when orvex.ini is there and readable, or can be
//    created there;
// 3. otherwise the user's own settings folder (see UserConfigFolder), created when needed.
std::filesystem::path ResolveSettingsFolder();

// Step 2's test: true when the settings file in folder can be read, or, when there is none,
// created.
bool CanKeepSettingsIn(const std::filesystem::path& folder);

// Step 3's folder for the given environment values (either may be null or empty, UTF-8): on
// POSIX systems $XDG_CONFIG_HOME/orvex, by default ~/.config/orvex, from XDG_CONFIG_HOME and
// HOME; on Windows %APPDATA%\orvex, by default %USERPROFILE%\AppData\Roaming\orvex, from
// APPDATA and USERPROFILE.
std::filesystem::path UserConfigFolder(const char* configHome, const char* home);
// The same for this process's environment.
std::filesystem::path UserConfigFolder();
