#include <windows.h>
// After windows.h, which it needs.
#include <setupapi.h>

#include <array>
#include <string>
#include <vector>

#include "link/PortDiscovery.h"
#include "link/win32/ComPortProbe.h"
#include "os/win32/WideText.h"

// Windows: the device manager's "Ports" class through setupapi.dll, loaded at run time so that
// a system without it still lists ports by probing; the probe asks for each name's default
// configuration. The wide functions keep descriptions intact as UTF-8.
namespace portdiscovery {
namespace {

class CSetupApi {
public:
    CSetupApi() {
        library = LoadLibraryW(L"setupapi.dll");
        if (library == nullptr)
            return;
        ok = Find(classGuidsFromName, "SetupDiClassGuidsFromNameW") &&
             Find(getClassDevs, "SetupDiGetClassDevsW") &&
             Find(enumDeviceInfo, "SetupDiEnumDeviceInfo") &&
             Find(destroyDeviceInfoList, "SetupDiDestroyDeviceInfoList") &&
             Find(openDevRegKey, "SetupDiOpenDevRegKey") &&
             Find(getDeviceRegistryProperty, "SetupDiGetDeviceRegistryPropertyW");
    }
    ~CSetupApi() {
        if (library != nullptr)
            FreeLibrary(library);
    }
    CSetupApi(const CSetupApi&) = delete;
    CSetupApi& operator=(const CSetupApi&) = delete;
    bool Loaded() const { return ok; }

    decltype(&SetupDiClassGuidsFromNameW) classGuidsFromName = nullptr;
    decltype(&SetupDiGetClassDevsW) getClassDevs = nullptr;
    decltype(&SetupDiEnumDeviceInfo) enumDeviceInfo = nullptr;
    decltype(&SetupDiDestroyDeviceInfoList) destroyDeviceInfoList = nullptr;
    decltype(&SetupDiOpenDevRegKey) openDevRegKey = nullptr;
    decltype(&SetupDiGetDeviceRegistryPropertyW) getDeviceRegistryProperty = nullptr;

private:
    template <typename F>
    bool Find(F& function, const char* name) {
        function = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
        return function != nullptr;
    }

    HMODULE library = nullptr;
    bool ok = false;
};

// The device's "PortName" value, or empty when it has none that is a string.
std::string PortName(HKEY key) {
    std::array<wchar_t, 64> name{};
    DWORD type = 0;
    DWORD size = sizeof(wchar_t) * (name.size() - 1);
    if (RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name.data()),
                         &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    std::wstring text(name.data(), size / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0')
        text.pop_back();
    return Utf8FromWide(text);
}

std::string DeviceDescription(const CSetupApi& api, HDEVINFO devices, SP_DEVINFO_DATA& device) {
    std::array<wchar_t, 128> text{};  // 256 bytes
    DWORD type = 0;
    if (!api.getDeviceRegistryProperty(devices, &device, SPDRP_DEVICEDESC, &type,
                                       reinterpret_cast<BYTE*>(text.data()),
                                       sizeof(wchar_t) * (text.size() - 1), nullptr)) {
        return {};
    }
    return Utf8FromWide(text.data());
}

}  // namespace

DiscoveryRoots DefaultRoots() {
    return {};
}

bool FindPorts(PortTable& table, const DiscoveryRoots& /*roots*/) {
    CSetupApi api;
    if (!api.Loaded())
        return false;
    DWORD count = 0;
    api.classGuidsFromName(L"Ports", nullptr, 0, &count);
    if (count == 0)
        return false;
    std::vector<GUID> classes(count);
    if (!api.classGuidsFromName(L"Ports", classes.data(), count, &count) || count == 0)
        return false;
    HDEVINFO devices = api.getClassDevs(classes.data(), nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE)
        return false;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; api.enumDeviceInfo(devices, index, &device); ++index) {
        int number = 0;
        HKEY key = api.openDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key != INVALID_HANDLE_VALUE) {
            number = PortNumberFromName(PortName(key), static_cast<int>(table.size()));
            if (number > 0)
                table[number - 1].present = true;
            RegCloseKey(key);
        }
        if (number == 0)
            continue;
        // The last device with the number names it.
        std::string description = DeviceDescription(api, devices, device);
        if (!description.empty())
            table[number - 1].description = description;
    }
    api.destroyDeviceInfoList(devices);
    return true;
}

void ProbePorts(PortTable& table, bool probeAll, const DiscoveryRoots& /*roots*/) {
    for (size_t i = 0; i < table.size(); ++i) {
        if (!probeAll && table[i].present)
            continue;
        if (ComPortKnown(static_cast<int>(i + 1)))
            table[i] = {true, {}};
    }
}

}  // namespace portdiscovery
