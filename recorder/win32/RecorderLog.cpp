#include "recorder/RecorderLog.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "RecorderMessages.h"
#include "os/FileErrorCodes.h"
#include "os/LocalTime.h"
#include "os/win32/WideText.h"
#include "recorder/win32/ServiceStatus.h"

#include "os/FileWrite.h"

namespace {

std::string Prefix(LogLevel level) {
    const std::tm local = LocalTimeOf(std::time(nullptr));
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S ", &local);
    switch (level) {
        case LogLevel::Error:
            return std::string(stamp) + "error: ";
        case LogLevel::Warning:
            return std::string(stamp) + "warning: ";
        default:
            return stamp;
    }
}

// Registered by --install; without that the lines still go, with a note that the text is missing.
constexpr const wchar_t* kEventSource = L"orvex-recorder";

HANDLE EventSource() {
    static const HANDLE source = RegisterEventSourceW(nullptr, kEventSource);
    return source;
}

// A service has no console: its errors and warnings go to the Application log.
void ReportToEventLog(LogLevel level, std::string_view message) {
    if (level != LogLevel::Error && level != LogLevel::Warning) {
        return;
    }
    HANDLE source = EventSource();
    if (source == nullptr) {
        return;
    }
    std::wstring text = WideFromUtf8(message);
    // Instances share the source: each line says whose it is.
    if (const std::wstring name = servicestatus::ServiceName(); name != kEventSource) {
        text = name + L": " + text;
    }
    const wchar_t* strings[] = {text.c_str()};
    const bool error = level == LogLevel::Error;
    ReportEventW(source, error ? EVENTLOG_ERROR_TYPE : EVENTLOG_WARNING_TYPE, 0,
                 error ? MSG_RECORDER_ERROR : MSG_RECORDER_WARNING, nullptr, 1, 0, strings,
                 nullptr);
}

}  // namespace

void LogLine(LogLevel level, std::string_view message) {
    if (servicestatus::InService()) {
        ReportToEventLog(level, message);
    }
    const std::string line = Prefix(level) + std::string(message) + "\r\n";
    HANDLE out = GetStdHandle(STD_ERROR_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) {
        return;  // nowhere to log to: the recording goes on
    }
    DWORD mode = 0;
    if (GetConsoleMode(out, &mode)) {
        // A console shows UTF-16 whatever its code page, so paths with any letters read right.
        const std::wstring wide = WideFromUtf8(line);
        DWORD written = 0;
        WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    // Redirected to a file or a pipe: UTF-8, in one write so that lines never interleave.
    WriteAll(reinterpret_cast<std::intptr_t>(out), line.data(), line.size());
}

std::string SystemErrorText(int error) {
    if (error < kErrorSystemBase) {
        return std::strerror(error);
    }
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(error - kErrorSystemBase), 0, reinterpret_cast<wchar_t*>(&text),
        0, nullptr);
    std::wstring wide = length > 0 ? std::wstring(text, length) : std::wstring();
    LocalFree(text);
    while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L'.')) {
        wide.pop_back();
    }
    return wide.empty() ? "system error " + std::to_string(error - kErrorSystemBase)
                        : Utf8FromWide(wide);
}
