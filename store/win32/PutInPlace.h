#pragma once
#include <filesystem>
#include <string_view>

#include "store/IniFileAccess.h"

namespace inifile {

// Puts the closed, complete new file temp (holding content) in place of target. The old file is
// never lost without the new one taking its place, and the last copy of the settings is never
// deleted: Done, or FolderRefused with target as it was and temp removed, or WriteFailed when
// target is gone and temp, holding the settings, had to stay. error receives errno on failure.
Replaced PutInPlace(const std::filesystem::path& temp, const std::filesystem::path& target,
                    bool hadOld, std::string_view content, int& error);

}  // namespace inifile
