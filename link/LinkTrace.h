#pragma once
#include <cstdint>

// Optional diagnostic trace of the device link on stderr, switched on by ORVEX_TRACE=1
// (read once, at the first use).
namespace linktrace {

bool ReadSwitch();

inline bool Enabled() {
    static const bool on = ReadSwitch();
    return on;
}

// One line: timestamp, tag, the bytes in hex, then the note (may be null).
void Frame(const char* tag, const uint8_t* bytes, int length, const char* note = nullptr);
// One line: timestamp and the message.
void Message(const char* message);

}  // namespace linktrace
