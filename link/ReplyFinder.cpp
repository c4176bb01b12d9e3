#include "link/ReplyFinder.h"

#include <cstring>

#include "link/ModbusCrc.h"

namespace {

constexpr uint8_t kExceptionBit = 0x80;
constexpr uint8_t kWriteSingle = 6;

bool KnownFunction(uint8_t function) {
    return function == 3 || function == 4 || function == kWriteSingle;
}

}  // namespace

void CReplyFinder::Begin(const uint8_t* newRequest, bool lineEchoes) {
    std::memcpy(request, newRequest, kRequestLength);
    Restart();
    const bool write = request[1] == kWriteSingle;
    echo = write && !lineEchoes ? Echo::None : Echo::Unknown;
}

void CReplyFinder::Restart() {
    echo = Echo::None;
    first = 0;
    start = 0;
    length = 0;
}

int CReplyFinder::FrameLength(const uint8_t* buffer, int k) const {
    const uint8_t function = buffer[k + 1];
    // Beyond where a reply may start, only this device's answer to this request counts;
    // at the start any frame does, so that a reply from elsewhere is reported at once.
    if (k > first && (buffer[k] != request[0] || (function & ~kExceptionBit) != request[1])) {
        return 0;
    }
    if (function & kExceptionBit)
        return KnownFunction(function & ~kExceptionBit) ? 5 : 0;
    if (function == kWriteSingle)
        return 8;
    return KnownFunction(function) ? buffer[k + 2] + 5 : 0;
}

bool CReplyFinder::Accept(const uint8_t* buffer, int k, int frameLength) {
    const int body = frameLength - 2;
    const uint16_t crc = ModbusCrc(buffer + k, static_cast<size_t>(body));
    if (buffer[k + body] != (crc & 0xFF) || buffer[k + body + 1] != (crc >> 8))
        return false;
    start = k;
    length = frameLength;
    return true;
}

bool CReplyFinder::Add(const uint8_t* buffer, int count) {
    if (Found() || count <= 0)
        return Found();
    const int newest = count - 1;
    if (echo == Echo::Unknown) {
        if (newest >= kRequestLength || buffer[newest] != request[newest]) {
            // Not an echo after all: a frame at index 0 may have ended already.
            echo = Echo::None;
            if (count >= 3) {
                const int n = FrameLength(buffer, 0);
                if (n >= 5 && n <= count && Accept(buffer, 0, n))
                    return true;
            }
        } else if (newest == kRequestLength - 1) {
            echo = Echo::Seen;
            first = kRequestLength;
            return false;
        }
    }
    // Only frames that end with the newest byte can have become complete.
    for (int k = first; k + 2 <= newest; ++k) {
        if (k == 0 && echo == Echo::Unknown)
            continue;  // could still be the echo
        const int n = FrameLength(buffer, k);
        if (n >= 5 && k + n == count && Accept(buffer, k, n))
            return true;
    }
    return false;
}

bool CReplyFinder::DamagedReply(const uint8_t* buffer, int count) const {
    if (Found() || count - first < 3)
        return false;
    if (buffer[first] != request[0] || buffer[first + 1] != request[1])
        return false;
    const int n = FrameLength(buffer, first);
    return n >= 5 && first + n <= count;
}
