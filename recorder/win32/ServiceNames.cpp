#include "recorder/win32/ServiceNames.h"

#include <windows.h>

#include <algorithm>

#include "os/win32/WideText.h"

namespace servicenames {

std::wstring ServiceName(const std::string& instance) {
    std::wstring name = kDefaultName;
    if (!instance.empty()) {
        name += L"@" + WideFromUtf8(instance);
    }
    return name;
}

bool ValidInstance(const std::string& instance) {
    const auto allowed = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '.' || c == '_' || c == '-';
    };
    // A name of dots only would make the folder "." or "..".
    return !instance.empty() && instance.size() <= 64 &&
           std::all_of(instance.begin(), instance.end(), allowed) &&
           instance.find_first_not_of('.') != std::string::npos;
}

std::filesystem::path DefaultFolder(const std::string& instance) {
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"ProgramData", buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return {};
    }
    std::filesystem::path folder = std::filesystem::path(std::wstring(buffer, length)) / L"orvex";
    if (!instance.empty()) {
        folder /= WideFromUtf8(instance);
    }
    return folder;
}

std::wstring QuotedArgument(const std::wstring& arg) {
    // Backslashes are doubled only where a quote follows them.
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, L'\\');
    return quoted + L"\"";
}

}  // namespace servicenames
