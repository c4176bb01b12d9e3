#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "device/PollingCycle.h"
#include "publish/AlarmPayload.h"
#include "publish/MqttFailure.h"
#include "publish/MqttSettings.h"
#include "publish/QueuedCycle.h"

// What the publisher tells its owner, on the publisher's own thread.
struct MqttEvent {
    enum class Type {
        Connected,
        Disconnected,  // a working connection ended
        Failed,        // an attempt failed; reported once per reason until a connection works
        Dropped,       // cycles were given up (dropped: the total so far)
        // The queue file cannot be used: the queue lives in memory and a crash loses it.
        QueueNotOnDisk,
        // The disk refused a queued cycle (full, quota): held in memory, bounded.
        QueueWriteFailed,
        // The broker refused a publish (MQTT 5 reason code); detail names the topic. A refused
        // cycle stays queued and is retried at the reconnect pace.
        PublishRefused,
        // COMMANDS=1 with settings that do not allow commands: detail names the key and why.
        // Publishing goes on; commands are not subscribed to.
        CommandsRefused,
        // An alarm command was answered: detail says what was asked and how it ended.
        AlarmCommandAnswered,
    };
    Type type = Type::Connected;
    MqttFailure failure = MqttFailure::None;
    std::string detail;         // Polish, a path or a topic
    std::string original;       // the library's own words, for a log only
    std::uint64_t dropped = 0;  // total given up so far
};

// Publishes every polling cycle to an MQTT broker from a thread of its own.
//
// Promises:
// - OnCycle only copies the cycle and wakes the thread: it never blocks on the broker or disk.
// - Every answered cycle goes to a bounded queue on disk first and leaves it only when the
//   broker has acknowledged all its messages (at QoS 0: when they are written); cycles are sent
//   in order with their own time stamps, also after a restart of the program.
// - When the queue is full the oldest cycle is dropped and counted; the true total is reported
//   when dropping starts and again, while it grows, at most once per dropReportInterval.
// - Only cycles the device answered are published; an input whose read did not complete is
//   published with null values. Without a cycle for three cycle times the status is "silent".
// - Settings that cannot be used (MqttSettingsProblem) are reported and never connected with.
// - MQTT 5 where the broker speaks it, so that a refused publish is seen; 3.1.1 otherwise.
// - The status topic is "online" (retained) on every connect, "silent" while the device does
//   not answer, and "offline" by the broker's will when the program or the network dies.
// - Reconnects wait 1 s doubling to 60 s, with jitter; a refusal is reported once.
// - Alarm states are published retained as they come (OnAlarmState). Alarm commands are
//   subscribed to only with CommandsActive settings; they are checked on this thread and handed
//   to onAlarmCommand, never carried out here; every command gets one answer on the result
//   topic. Without commands an earlier run's subscription is dropped at the connect.
// - Stop returns within about a second whatever the broker does.
class MqttPublisher {
public:
    struct Options {
        MqttSettings settings;
        std::filesystem::path settingsFolder;   // the queue file lives here
        std::uint64_t queueCapacity = 100'000;  // cycles: a day at the fastest polling pace
        std::string swVersion;
        std::function<void(const MqttEvent&)> onEvent;
        // A valid alarm command from the broker (only with CommandsActive settings), on the
        // publisher's thread: hand it to whoever owns the driver and return at once; the
        // answer comes back through OnAlarmAnswer. Without it commands are refused.
        std::function<void(const AlarmCommand&)> onAlarmCommand;
        std::chrono::milliseconds minBackoff{1000};
        std::chrono::milliseconds maxBackoff{60000};
        std::chrono::milliseconds connectTimeout{10000};
        std::chrono::milliseconds dropReportInterval{60000};
    };
    struct Stats {
        bool connected = false;
        std::uint64_t queued = 0;
        std::uint64_t dropped = 0;
        std::uint64_t connectAttempts = 0;
        std::uint64_t cyclesDelivered = 0;
        std::uint64_t queueWriteFailures = 0;
        bool mqtt5 = false;                           // the working connection speaks MQTT 5
        MqttFailure lastFailure = MqttFailure::None;  // None once a connection works
    };

    static constexpr const char* kQueueFile = "mqtt-queue.bin";

    explicit MqttPublisher(Options options);
    ~MqttPublisher();
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    void Start();
    void Stop();
    // A cycle listener: any thread, returns at once.
    void OnCycle(const PollingCycle& cycle);
    Stats GetStats() const;
    // The latest alarm read and a command's answer: any thread, return at once. The state is
    // published retained (only what that read found); answers are not retained.
    void OnAlarmState(const AlarmState& state);
    void OnAlarmAnswer(const AlarmAnswer& answer);

private:
    struct Incoming {
        bool responding = false;
        QueuedCycle cycle;
    };
    struct AlarmNews {
        std::chrono::system_clock::time_point time;
        std::optional<AlarmState> state;
        std::optional<AlarmAnswer> answer;
    };
    class Worker;
    void PostAlarmNews(AlarmNews news);

    Options options_;
    mutable std::mutex mutex_;
    std::deque<Incoming> inbox_;
    std::uint64_t inboxDropped_ = 0;
    std::deque<AlarmNews> alarmInbox_;
    bool stop_ = false;
    int wakeFd_ = -1;
    std::thread thread_;
    std::atomic<bool> connected_{false};
    std::atomic<std::uint64_t> queued_{0};
    std::atomic<std::uint64_t> dropped_{0};
    std::atomic<std::uint64_t> attempts_{0};
    std::atomic<std::uint64_t> delivered_{0};
    std::atomic<std::uint64_t> writeFailures_{0};
    std::atomic<bool> mqtt5_{false};
    std::atomic<MqttFailure> lastFailure_{MqttFailure::None};
};
