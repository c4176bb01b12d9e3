#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "device/PollingCycle.h"
#include "publish/MqttFailure.h"
#include "publish/MqttSettings.h"
#include "publish/QueuedCycle.h"

// What the publisher tells its owner, on the publisher's own thread.
struct MqttEvent {
    enum class Type {
        Connected,
        Disconnected,  // a working connection ended
        Failed,        // an attempt failed; reported once per reason until a connection works
        Dropped,       // the queue was full: the oldest cycles were given up
    };
    Type type = Type::Connected;
    MqttFailure failure = MqttFailure::None;
    std::string detail;
    std::uint64_t dropped = 0;  // total given up so far
};

// Publishes every polling cycle to an MQTT broker from a thread of its own.
//
// Promises:
// - OnCycle only copies the cycle and wakes the thread: it never blocks on the broker or disk.
// - Every answered cycle goes to a bounded queue on disk first and leaves it only when the
//   broker has acknowledged all its messages (at QoS 0: when they are written); cycles are sent
//   in order with their own time stamps, also after a restart of the program.
// - When the queue is full the oldest cycle is dropped and counted.
// - The status topic is "online" (retained) on every connect, "silent" while the device does
//   not answer, and "offline" by the broker's will when the program or the network dies.
// - Reconnects wait 1 s doubling to 60 s, with jitter; a refusal is reported once.
// - Stop returns within about a second whatever the broker does.
class MqttPublisher {
public:
    struct Options {
        MqttSettings settings;
        std::filesystem::path settingsFolder;   // the queue file lives here
        std::uint64_t queueCapacity = 100'000;  // cycles: a day at the fastest polling pace
        std::string swVersion;
        std::function<void(const MqttEvent&)> onEvent;
        std::chrono::milliseconds minBackoff{1000};
        std::chrono::milliseconds maxBackoff{60000};
        std::chrono::milliseconds connectTimeout{10000};
    };
    struct Stats {
        bool connected = false;
        std::uint64_t queued = 0;
        std::uint64_t dropped = 0;
        std::uint64_t connectAttempts = 0;
        std::uint64_t cyclesDelivered = 0;
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

private:
    struct Incoming {
        bool responding = false;
        QueuedCycle cycle;
    };
    class Worker;

    Options options_;
    mutable std::mutex mutex_;
    std::deque<Incoming> inbox_;
    std::uint64_t inboxDropped_ = 0;
    bool stop_ = false;
    int wakeFd_ = -1;
    std::thread thread_;
    std::atomic<bool> connected_{false};
    std::atomic<std::uint64_t> queued_{0};
    std::atomic<std::uint64_t> dropped_{0};
    std::atomic<std::uint64_t> attempts_{0};
    std::atomic<std::uint64_t> delivered_{0};
};
