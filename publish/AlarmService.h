#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

#include "publish/AlarmPayload.h"

class COrvexDriver;
class MqttPublisher;

// The alarm side of publishing: reads the device's alarm enables at a modest pace and carries
// out the alarm commands, through the driver's ReadAlarms and WriteAlarms as the alarms dialog
// does, and hands what the device said to the publisher. It has a thread of its own: a driver
// call waits for the Modbus master (a time-out per request when the device is silent), which
// neither the publisher's network thread nor the window may do.
//
// - A command is carried out as the dialog's OK is: both enables are read, the one the command
//   does not name is written back as read (2 as 1), and a failed read writes nothing. The
//   enables are read again afterwards: that is the answer's state.
// - The periodic read runs only while the device answers the polling; when it stops, the state
//   is published as not read (null), never as the last values.
class AlarmService {
public:
    struct Options {
        std::chrono::milliseconds readInterval{30000};
        std::size_t maxWaitingCommands = 4;  // beyond: refused, not queued for minutes
    };

    AlarmService(COrvexDriver& driver, MqttPublisher& publisher, Options options);
    ~AlarmService();  // Stop
    AlarmService(const AlarmService&) = delete;
    AlarmService& operator=(const AlarmService&) = delete;

    void Start();
    // Returns at once even while a call waits for a silent device: the call is abandoned (the
    // polling goes on), and the command it served and those still waiting are answered as
    // interrupted.
    void Stop();
    // Any thread; returns at once (the publisher's onAlarmCommand).
    void Submit(const AlarmCommand& command);

private:
    void Run();
    void ReadAndPublish();
    void Execute(const AlarmCommand& command);
    AlarmState ReadState();

    COrvexDriver& driver_;
    MqttPublisher& publisher_;
    const Options options_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<AlarmCommand> commands_;
    bool stop_ = false;
    std::atomic<bool> abandon_{false};  // the driver calls' way out, set by Stop
    std::thread thread_;
    // Only the thread's own.
    bool publishedRead_ = false;  // the last state published held values
};
