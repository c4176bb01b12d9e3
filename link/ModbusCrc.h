#pragma once
#include <cstddef>
#include <cstdint>

// Modbus RTU CRC-16 (polynomial 0xA001 reflected, start 0xFFFF); sent low byte first.
constexpr uint16_t CrcUpdate(uint8_t byte, uint16_t crc) {
    crc ^= byte;
    for (int i = 0; i < 8; ++i) {
        crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001)
                        : static_cast<uint16_t>(crc >> 1);
    }
    return crc;
}

constexpr uint16_t ModbusCrc(const uint8_t* bytes, size_t length) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < length; ++i)
        crc = CrcUpdate(bytes[i], crc);
    return crc;
}
