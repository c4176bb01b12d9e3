#include "sim/FrameAssembler.h"

#include <algorithm>

#include "link/ModbusCrc.h"

namespace {
constexpr size_t kMaxFrame = 256;
constexpr size_t kRequestLength = 8;
}  // namespace

void CFrameAssembler::Feed(const uint8_t* data, size_t size,
                           std::vector<std::vector<uint8_t>>& frames) {
    buffer_.insert(buffer_.end(), data, data + size);
    Scan(frames, false);
}

void CFrameAssembler::Flush(std::vector<std::vector<uint8_t>>& frames) {
    Scan(frames, true);
    buffer_.clear();
}

long CFrameAssembler::HeadLength() const {
    if (buffer_.size() < 2)
        return 0;
    switch (buffer_[1]) {
        case 1:
        case 2:
        case 3:
        case 4:
        case 5:
        case 6:
        case 8:
            return 8;
        case 7:
        case 11:
        case 12:
        case 17:
            return 4;
        case 22:
            return 10;
        case 15:
        case 16:
            return buffer_.size() < 7 ? 0 : 9 + long{buffer_[6]};
        case 23:
            return buffer_.size() < 11 ? 0 : 13 + long{buffer_[10]};
        default:
            return -1;
    }
}

bool CFrameAssembler::CrcHolds(size_t length) const {
    const uint16_t crc = ModbusCrc(buffer_.data(), length - 2);
    return buffer_[length - 2] == (crc & 0xFF) && buffer_[length - 1] == (crc >> 8);
}

void CFrameAssembler::Take(size_t length, std::vector<std::vector<uint8_t>>& frames) {
    frames.emplace_back(buffer_.begin(), buffer_.begin() + static_cast<long>(length));
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(length));
}

size_t CFrameAssembler::NextRequest() const {
    for (size_t offset = 1; offset + kRequestLength <= buffer_.size(); ++offset) {
        const uint8_t function = buffer_[offset + 1];
        if (function != 3 && function != 4 && function != 6)
            continue;
        const uint16_t crc = ModbusCrc(&buffer_[offset], kRequestLength - 2);
        if (buffer_[offset + 6] == (crc & 0xFF) && buffer_[offset + 7] == (crc >> 8))
            return offset;
    }
    return 0;
}

void CFrameAssembler::Scan(std::vector<std::vector<uint8_t>>& frames, bool final) {
    while (!buffer_.empty()) {
        const long length = HeadLength();
        if (length > 0 && buffer_.size() >= static_cast<size_t>(length)) {
            if (CrcHolds(static_cast<size_t>(length))) {
                Take(static_cast<size_t>(length), frames);
            } else {
                buffer_.erase(buffer_.begin());
            }
            continue;
        }
        if (!final) {
            // Waiting for more bytes, unless the head is noise in front of a complete request:
            // then the noise goes at once instead of after the gap.
            const size_t next = NextRequest();
            if (next > 0 || buffer_.size() > kMaxFrame) {
                buffer_.erase(buffer_.begin(),
                              buffer_.begin() + static_cast<long>(std::max<size_t>(next, 1)));
                continue;
            }
            return;
        }
        // After the gap: an unknown function's frame is everything received, if its CRC holds.
        if (length < 0 && buffer_.size() >= 4 && CrcHolds(buffer_.size())) {
            Take(buffer_.size(), frames);
            return;
        }
        buffer_.erase(buffer_.begin());
    }
}
