#include "recorder/RecorderLog.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "os/FileWrite.h"

void LogLine(LogLevel level, std::string_view message) {
    std::string line = "<" + std::to_string(static_cast<int>(level)) + ">";
    line += message;
    line += '\n';
    // One write per line, so that lines of the frame trace on the same stream never split it.
    // A failure is not told: there is nowhere to log to, and the recording goes on.
    WriteAll(STDERR_FILENO, line.data(), line.size());
}

std::string SystemErrorText(int error) {
    return std::strerror(error);
}
