#pragma once
#include <QString>
#include <filesystem>

#include "store/IniEx.h"

// What the user is told when orvex.ini is refused at start or cannot be saved at exit. Empty
// when there is nothing to tell (the file opened, was saved, or never existed to be saved).
QString RefusedSettingsText(const std::filesystem::path& file, IniOpenResult result);
QString UnsavedSettingsText(const std::filesystem::path& file, IniSaveResult result, int error);
