#pragma once
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "device/InputReading.h"

// One answered polling cycle as it waits for the broker: its original time and UTC offset, the
// concentrator's serial and the eight readings. The payloads are built when it is sent, so a
// cycle costs one small disk record instead of eight JSON texts.
struct QueuedCycle {
    std::chrono::system_clock::time_point time;
    int utcOffsetSeconds = 0;
    uint16_t deviceSerial = 0;
    InputReading readings[8] = {};
};

// A versioned little-endian record of every field.
std::string EncodeCycle(const QueuedCycle& cycle);
// Empty for a record of another length or version.
std::optional<QueuedCycle> DecodeCycle(std::string_view record);
