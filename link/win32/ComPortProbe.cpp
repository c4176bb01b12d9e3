#include "link/win32/ComPortProbe.h"

#include <windows.h>

#include <array>
#include <string>

bool ComPortKnown(int portNumber) {
    const std::wstring name = L"COM" + std::to_wstring(portNumber);
    // COMMCONFIG ends in provider data of the driver's own size.
    alignas(COMMCONFIG) std::array<unsigned char, 1024> buffer{};
    auto* config = reinterpret_cast<COMMCONFIG*>(buffer.data());
    config->dwSize = sizeof(COMMCONFIG);
    DWORD size = static_cast<DWORD>(buffer.size());
    return GetDefaultCommConfigW(name.c_str(), config, &size) ||
           GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}
