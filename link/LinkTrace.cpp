#include "link/LinkTrace.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace linktrace {
namespace {

void AppendTimestamp(std::string& line) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char text[48];
    snprintf(text, sizeof text, "orvex %02d:%02d:%02d.%06ld ", local.tm_hour, local.tm_min,
             local.tm_sec, now.tv_nsec / 1000);
    line += text;
}

// One write() per line keeps lines of different threads apart.
void Emit(std::string& line) {
    line += '\n';
    const char* p = line.data();
    size_t left = line.size();
    while (left > 0) {
        ssize_t n = ::write(STDERR_FILENO, p, left);
        if (n <= 0)
            return;
        p += n;
        left -= static_cast<size_t>(n);
    }
}

}  // namespace

bool ReadSwitch() {
    const char* value = std::getenv("ORVEX_TRACE");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

void Frame(const char* tag, const uint8_t* bytes, int length, const char* note) {
    std::string line;
    line.reserve(64 + 3 * static_cast<size_t>(length > 0 ? length : 0));
    AppendTimestamp(line);
    line += tag;
    static const char kHex[] = "0123456789ABCDEF";
    for (int i = 0; i < length; ++i) {
        line += ' ';
        line += kHex[bytes[i] >> 4];
        line += kHex[bytes[i] & 0x0F];
    }
    if (note != nullptr) {
        line += "  (";
        line += note;
        line += ')';
    }
    Emit(line);
}

void Message(const char* message) {
    std::string line;
    AppendTimestamp(line);
    line += message;
    Emit(line);
}

}  // namespace linktrace
