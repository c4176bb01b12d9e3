#pragma once
#include <chrono>
#include <filesystem>
#include <string>

#include "publish/MqttFailure.h"
#include "publish/MqttSettings.h"

struct MqttCheckResult {
    MqttFailure failure = MqttFailure::None;
    std::string detail;
};

// One connection to the broker with these settings, under a client id of its own (so that it
// never takes over a running publisher's session), closed at once. Blocks for at most timeout.
MqttCheckResult CheckMqttConnection(const MqttSettings& settings,
                                    const std::filesystem::path& settingsFolder,
                                    std::chrono::milliseconds timeout);
