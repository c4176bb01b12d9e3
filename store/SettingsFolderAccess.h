#pragma once
#include <filesystem>

#include "store/SettingsFolder.h"

// The platform's part of the settings-folder rule.

// What stands at the settings file's name in folder, and whether the folder takes a new file.
// Looking leaves nothing behind.
SettingsFileView LookAtSettings(const std::filesystem::path& folder);

// The platform's choice for an unwritable settings file (see UnwritableSettings).
extern const UnwritableSettings kUnwritableSettings;
