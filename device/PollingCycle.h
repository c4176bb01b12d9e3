#pragma once
#include <chrono>
#include <functional>

#include "device/DeviceInfo.h"
#include "device/InputReading.h"

// What one polling cycle ended with: the published readings after a whole cycle, or only
// responding == false when the device did not answer (the readings are then the last published
// ones and must not be taken as new).
struct PollingCycle {
    std::chrono::system_clock::time_point time;
    bool responding = false;
    DeviceInfo info = {};
    InputReading readings[8] = {};
};

// Called on the polling thread at the end of every cycle; must return quickly and must not call
// back into the driver's Start, Stop or listener registration.
using CycleListener = std::function<void(const PollingCycle&)>;
