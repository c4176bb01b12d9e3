#pragma once
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "publish/MqttFailure.h"
#include "publish/MqttSettings.h"

struct MqttCheckResult {
    MqttFailure failure = MqttFailure::None;
    std::string detail;    // Polish, a path or a topic
    std::string original;  // the library's own words, for a log
    // What works but needs care (a password file others can read, a queue kept in memory,
    // alarm commands asked for but refused).
    std::vector<std::string> warnings;
};

// One connection to the broker with these settings, under a client id of its own (so that it
// never takes over a running publisher's session), closed at once. Blocks for at most timeout.
// MQTT 5 first, 3.1.1 when the broker does not speak it.
MqttCheckResult CheckMqttConnection(const MqttSettings& settings,
                                    const std::filesystem::path& settingsFolder,
                                    std::chrono::milliseconds timeout);

// Why the publisher's queue file in settingsFolder could not be kept on disk, naming the file;
// empty when it can. Creates nothing.
std::string QueueFileProblem(const std::filesystem::path& settingsFolder);
