#include "store/SettingsFolder.h"

#include <cstdlib>
#include <system_error>

#include "store/IniEx.h"

namespace fs = std::filesystem;

namespace {

fs::path CreatedOrAsIs(const fs::path& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);  // a failure shows later as a store that did not open
    return folder;
}

}  // namespace

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
