#include "recorder/RecorderLog.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

void LogLine(LogLevel level, std::string_view message) {
    std::string line = "<" + std::to_string(static_cast<int>(level)) + ">";
    line += message;
    line += '\n';
    // One write per line, so that lines of the frame trace on the same stream never split it.
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;  // nowhere to log to: the recording goes on
        }
        done += static_cast<std::size_t>(n);
    }
}

std::string SystemErrorText(int error) {
    return std::strerror(error);
}
