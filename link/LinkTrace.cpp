#include "link/LinkTrace.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "link/TraceSink.h"
#include "os/LocalTime.h"

namespace linktrace {
namespace {

void AppendTimestamp(std::string& line) {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const system_clock::time_point whole = floor<seconds>(now);
    const long micros = static_cast<long>(duration_cast<microseconds>(now - whole).count());
    const std::tm local = LocalTimeOf(system_clock::to_time_t(whole));
    char text[48];
    snprintf(text, sizeof text, "orvex %02d:%02d:%02d.%06ld ", local.tm_hour, local.tm_min,
             local.tm_sec, micros);
    line += text;
}

void Emit(std::string& line) {
    line += '\n';
    WriteTraceLine(line);
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
