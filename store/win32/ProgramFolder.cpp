#include <windows.h>

#include <string>

#include "store/IniEx.h"

namespace fs = std::filesystem;

fs::path CIniEx::ProgramFolder() {
    // The module's own path, not the launch path as typed: that may be relative to a folder the
    // program has left, or have no folder at all when the program was found on PATH.
    std::wstring exe(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
        if (n == 0) {
            break;
        }
        if (n < exe.size()) {
            exe.resize(n);
            const fs::path path(exe);
            if (path.has_parent_path()) {
                return path.parent_path();
            }
            break;
        }
        if (exe.size() >= 32768) {
            break;
        }
        exe.resize(exe.size() * 2);
    }
    std::error_code ec;
    fs::path current = fs::current_path(ec);
    return ec ? fs::path(".") : current;
}
