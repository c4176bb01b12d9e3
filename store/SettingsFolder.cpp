#include "store/SettingsFolder.h"

#include <cstdlib>
#include <system_error>

#include "os/FileWrite.h"
#include "store/IniEx.h"
#include "store/SettingsFolderAccess.h"

namespace fs = std::filesystem;

namespace {

fs::path CreatedOrAsIs(const fs::path& folder) {
    CreateFolders(folder);  // a failure shows later as a store that did not open
    return folder;
}

}  // namespace

bool KeepsSettings(const SettingsFileView& view, UnwritableSettings unwritable) {
    if (!view.exists) {
        return view.folderTakesFile;
    }
    if (!view.readable) {
        return false;
    }
    return view.writable || view.folderTakesFile || unwritable == UnwritableSettings::Kept;
}

bool CanKeepSettingsIn(const fs::path& folder) {
    return !folder.empty() && KeepsSettings(LookAtSettings(folder), kUnwritableSettings);
}

fs::path ResolveSettingsFolder() {
    if (const char* injected = std::getenv("ORVEX_CONFIG_DIR");
        injected != nullptr && injected[0] != '\0') {
        std::error_code ec;
        const fs::path folder = fs::absolute(injected, ec);
        return CreatedOrAsIs(ec ? fs::path(injected) : folder);
    }
    const fs::path programFolder = CIniEx::ProgramFolder();
    if (CanKeepSettingsIn(programFolder)) {
        return programFolder;
    }
    return CreatedOrAsIs(UserConfigFolder());
}
