#pragma once
// CRC-16/MODBUS for tests, written from the catalogue's parameters (width 16, polynomial 0x8005,
// initial 0xFFFF, input and output reflected, no final XOR) rather than from the program's
// reflected shift loop, so a frame the tests expect does not share a fault with the code under
// test. Its own test checks it against the published check value and frames.
#include <cstdint>
#include <vector>

namespace reference {

inline uint8_t Reflect8(uint8_t byte) {
    uint8_t out = 0;
    for (int bit = 0; bit < 8; ++bit) {
        if ((byte >> bit) & 1)
            out = static_cast<uint8_t>(out | (0x80 >> bit));
    }
    return out;
}

inline uint16_t Reflect16(uint16_t value) {
    return static_cast<uint16_t>(Reflect8(static_cast<uint8_t>(value >> 8)) |
                                 (Reflect8(static_cast<uint8_t>(value & 0xFF)) << 8));
}

inline uint16_t Crc16Modbus(const std::vector<uint8_t>& bytes) {
    uint16_t crc = 0xFFFF;
    for (uint8_t byte : bytes) {
        crc = static_cast<uint16_t>(crc ^ (Reflect8(byte) << 8));
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x8005)
                                 : static_cast<uint16_t>(crc << 1);
        }
    }
    return Reflect16(crc);
}

// The bytes with their CRC appended, low byte first as Modbus RTU sends it.
inline std::vector<uint8_t> WithCrc(std::vector<uint8_t> bytes) {
    const uint16_t crc = Crc16Modbus(bytes);
    bytes.push_back(static_cast<uint8_t>(crc & 0xFF));
    bytes.push_back(static_cast<uint8_t>(crc >> 8));
    return bytes;
}

// True when the frame's last two bytes are the CRC of the bytes before them.
inline bool CrcHolds(const std::vector<uint8_t>& frame) {
    if (frame.size() < 3)
        return false;
    const std::vector<uint8_t> body(frame.begin(), frame.end() - 2);
    return WithCrc(body) == frame;
}

}  // namespace reference
