#include <string>

#include "link/ComPortMap.h"

namespace comport {

// Windows names every COM port itself; the ports folder and the device root play no part.
std::filesystem::path ResolvePath(int portNumber, const std::filesystem::path& /*portsFolder*/,
                                  const std::filesystem::path& /*devRoot*/) {
    if (portNumber < 1 || portNumber > kMaxPort)
        return {};
    // The device namespace form also reaches COM10 and above.
    return std::filesystem::path(L"\\\\.\\COM" + std::to_wstring(portNumber));
}

}  // namespace comport
