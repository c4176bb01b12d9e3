#include "tests/wine/WineSim.h"

#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <cstdlib>
#include <sstream>

namespace winesim {

int ComNumber() {
    const char* value = std::getenv("ORVEX_TEST_COM");
    return value != nullptr ? std::atoi(value) : 0;
}

std::wstring WinePath(const char* variable) {
    const char* value = std::getenv(variable);
    if (value == nullptr || *value != '/')
        return {};
    std::wstring path = L"Z:";
    for (const char* p = value; *p != '\0'; ++p)
        path += *p == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*p));
    return path;
}

std::string ReadFileOf(const char* variable) {
    const std::wstring path = WinePath(variable);
    if (path.empty())
        return {};
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    CloseHandle(file);
    return text;
}

std::vector<std::string> SimLines(const std::string& prefix) {
    std::istringstream lines(ReadFileOf("ORVEX_TEST_SIM_OUTPUT"));
    std::vector<std::string> found;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(prefix, 0) == 0)
            found.push_back(line);
    }
    return found;
}

bool EndSimulator() {
    const std::wstring path = WinePath("ORVEX_TEST_SIM_INPUT");
    if (path.empty())
        return false;
    // Opening the fifo lets its relay start; closing it, the only writer, ends the input.
    HANDLE fifo = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (fifo == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(fifo);
    return true;
}

std::chrono::microseconds ProcessCpuTime() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return {};
    auto ticks = [](const FILETIME& t) {
        return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return std::chrono::microseconds((ticks(kernel) + ticks(user)) / 10);
}

int ThreadCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    const DWORD self = GetCurrentProcessId();
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == self)
            ++count;
    }
    CloseHandle(snapshot);
    return count;
}

}  // namespace winesim
