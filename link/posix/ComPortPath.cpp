#include <string>

#include "link/ComPortMap.h"

namespace comport {

std::filesystem::path ResolvePath(int portNumber, const std::filesystem::path& portsFolder,
                                  const std::filesystem::path& devRoot) {
    if (portNumber < 1 || portNumber > kMaxPort)
        return {};
    if (!portsFolder.empty()) {
        std::filesystem::path link = portsFolder / ("com" + std::to_string(portNumber));
        std::error_code ec;
        if (std::filesystem::is_symlink(link, ec))
            return link;
    }
    std::string name = DeviceNameForNumber(portNumber);
    return name.empty() ? std::filesystem::path() : devRoot / name;
}

}  // namespace comport
