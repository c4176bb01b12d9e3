#include "app/SettingsQuery.h"

#include <cstring>
#include <string>

#include "link/ComPortMap.h"
#include "store/IniEx.h"
#include "store/SettingsFolder.h"

namespace {

// The port the window would open: only a COM number the program can map counts.
int ConfiguredPort(const std::filesystem::path& folder) {
    CIniEx ini(4);
    // Read only: asking must leave no settings file where there was none.
    if (!ini.Open(folder / kSettingsFile, /*writeOnClose=*/false, /*createIfMissing=*/false,
                  /*caseInsensitive=*/true)) {
        return 0;
    }
    const int port = ini.GetInt("GENERAL", "PORT_NR", 0);
    return port >= 1 && port <= comport::kMaxPort ? port : 0;
}

}  // namespace

std::optional<int> AnswerSettingsQuery(int argc, char** argv, std::FILE* out) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--settings-folder") == 0) {
            std::fprintf(out, "%s\n", ResolveSettingsFolder().string().c_str());
            return 0;
        }
        if (std::strcmp(argv[i], "--settings-port") == 0) {
            std::fprintf(out, "%d\n", ConfiguredPort(ResolveSettingsFolder()));
            return 0;
        }
    }
    return std::nullopt;
}
