#include "store/SettingsFolder.h"

#include <windows.h>

#include <optional>
#include <string>

#include "os/PathText.h"
#include "os/win32/LongPath.h"
#include "os/win32/WideText.h"
#include "store/SettingsFolderAccess.h"

namespace fs = std::filesystem;

namespace {

std::optional<std::string> Environment(const wchar_t* name) {
    std::wstring value(256, L'\0');
    for (;;) {
        const DWORD n =
            GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
        if (n == 0) {
            return std::nullopt;
        }
        if (n < value.size()) {
            value.resize(n);
            return Utf8FromWide(value);
        }
        value.resize(n);
    }
}

// Whether the existing file opens with this access; everybody else's use of it is allowed.
bool Opens(const std::wstring& file, DWORD access) {
    const HANDLE h =
        CreateFileW(file.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        // Held by a program that shares it with nobody: that says nothing of the rights.
        return GetLastError() == ERROR_SHARING_VIOLATION && access == GENERIC_WRITE;
    }
    CloseHandle(h);
    return true;
}

// Windows has no access() that tells of ACLs and read-only media: only creating a file says
// whether the folder takes one. The probe goes when its handle is closed.
bool TakesNewFile(const fs::path& folder) {
    for (unsigned attempt = 0; attempt < 16; ++attempt) {
        const fs::path probe =
            folder / ("orvex.ini.probe-" + std::to_string(GetCurrentProcessId()) + "-" +
                      std::to_string(attempt));
        const HANDLE h = CreateFileW(LongPath(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) {
            return false;
        }
    }
    return false;
}

bool IsAbsolute(const char* path) {
    return path != nullptr && PathFromUtf8(path).is_absolute();
}

}  // namespace

const UnwritableSettings kUnwritableSettings = UnwritableSettings::PassedOver;

SettingsFileView LookAtSettings(const fs::path& folder) {
    SettingsFileView view;
    const std::wstring file = LongPath(folder / kSettingsFile);
    const DWORD attributes = GetFileAttributesW(file.c_str());
    view.exists = attributes != INVALID_FILE_ATTRIBUTES;
    // A folder of that name opens neither way (no backup semantics asked for). The read-only
    // attribute is the user's word, as for the save, whoever could open the file anyway.
    view.readable = view.exists && Opens(file, GENERIC_READ);
    view.writable =
        view.readable && (attributes & FILE_ATTRIBUTE_READONLY) == 0 && Opens(file, GENERIC_WRITE);
    view.folderTakesFile = TakesNewFile(folder);
    return view;
}

fs::path UserConfigFolder(const char* appData, const char* userProfile) {
    if (IsAbsolute(appData)) {
        return PathFromUtf8(appData) / "orvex";
    }
    if (IsAbsolute(userProfile)) {
        return PathFromUtf8(userProfile) / "AppData" / "Roaming" / "orvex";
    }
    std::error_code ec;
    const fs::path temp = fs::temp_directory_path(ec);
    return (ec ? fs::path("C:\\") : temp) / "orvex";
}

fs::path UserConfigFolder() {
    const std::optional<std::string> appData = Environment(L"APPDATA");
    const std::optional<std::string> userProfile = Environment(L"USERPROFILE");
    return UserConfigFolder(appData ? appData->c_str() : nullptr,
                            userProfile ? userProfile->c_str() : nullptr);
}
