#pragma once
#include <filesystem>
#include <memory>
#include <string>

#include "publish/MqttSettings.h"

class COrvexDriver;

// Publishing every polling cycle, as this build has it: over MQTT (mqtt/), or not at all in a
// build without libmosquitto (nomqtt/: ORVEX_MQTT=OFF, the Windows build), where [MQTT]
// ENABLED=1 is told once in the log and recording goes on.
class CRecorderPublisher {
public:
    // False in a build that cannot publish.
    static bool Available();
    // Why publishing with these settings cannot start, naming the key; empty when it can or
    // when publishing is off.
    static std::string SettingsProblem(const MqttSettings& settings);

    explicit CRecorderPublisher(COrvexDriver& driver);
    ~CRecorderPublisher();
    CRecorderPublisher(const CRecorderPublisher&) = delete;
    CRecorderPublisher& operator=(const CRecorderPublisher&) = delete;

    // Starts publishing when settings ask for it (the disk queue lives in stateFolder); stops
    // what ran before.
    void Start(const MqttSettings& settings, const std::filesystem::path& stateFolder);
    // Within a second, whatever the broker does; "offline" is sent when it can be.
    void Stop();

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};
