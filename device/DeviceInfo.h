#pragma once
#include <cstdint>

// Value of register 0 that identifies a concentrator.
constexpr uint16_t kOrvexDeviceId = 23073;

// Identification read at the start of every polling cycle.
struct DeviceInfo {
    uint16_t deviceId = 0;
    uint8_t reg42Bytes[3] = {};
    uint8_t reg1Bytes[2] = {};
    uint16_t serialNumber = 0;
    // 0 identified, 3 not identified; nothing is identified before a read says so.
    uint8_t status = 3;
};
