#include "publish/AlarmService.h"

#include "device/OrvexDriver.h"
#include "publish/MqttPublisher.h"

namespace {

using Clock = std::chrono::steady_clock;

// The dialog's own messages: the same failure reads the same wherever it is seen.
constexpr const char* kReadFailed = "Nie można odczytać ustawień alarmów";
constexpr const char* kWriteFailed = "Ustawienie alarmów nie powiodło się";
constexpr const char* kInterrupted = "Polecenie przerwane: publikowanie zatrzymano";

}  // namespace

AlarmService::AlarmService(COrvexDriver& driver, MqttPublisher& publisher, Options options)
    : driver_(driver), publisher_(publisher), options_(options) {}

AlarmService::~AlarmService() {
    Stop();
}

void AlarmService::Start() {
    if (thread_.joinable()) {
        return;
    }
    {
        std::lock_guard guard(mutex_);
        stop_ = false;
    }
    abandon_ = false;
    thread_ = std::thread([this] { Run(); });
}

void AlarmService::Stop() {
    if (!thread_.joinable()) {
        return;
    }
    {
        std::lock_guard guard(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    abandon_ = true;
    driver_.WakeAbandoned();
    thread_.join();
}

void AlarmService::Submit(const AlarmCommand& command) {
    {
        std::lock_guard guard(mutex_);
        if (commands_.size() < options_.maxWaitingCommands) {
            commands_.push_back(command);
            wake_.notify_all();
            return;
        }
    }
    AlarmAnswer answer;
    answer.result = AlarmAnswer::Result::Refused;
    answer.command = command;
    answer.message = "zbyt wiele poleceń alarmów naraz; poprzednie jeszcze czekają na urządzenie";
    publisher_.OnAlarmAnswer(answer);
}

void AlarmService::Run() {
    // The first read as soon as the device answers, then at the set pace.
    auto nextRead = Clock::now();
    std::unique_lock guard(mutex_);
    for (;;) {
        wake_.wait_until(guard, nextRead, [&] { return stop_ || !commands_.empty(); });
        if (stop_) {
            // Whoever sent them waits for an answer: say they were not carried out.
            std::deque<AlarmCommand> left;
            left.swap(commands_);
            guard.unlock();
            for (const AlarmCommand& command : left) {
                AlarmAnswer answer;
                answer.command = command;
                answer.result = AlarmAnswer::Result::Failed;
                answer.message = kInterrupted;
                publisher_.OnAlarmAnswer(answer);
            }
            return;
        }
        if (!commands_.empty()) {
            const AlarmCommand command = commands_.front();
            commands_.pop_front();
            guard.unlock();
            Execute(command);
            guard.lock();
            nextRead = Clock::now() + options_.readInterval;
            continue;
        }
        if (Clock::now() < nextRead) {
            continue;
        }
        guard.unlock();
        const bool responding = driver_.IsDeviceResponding();
        ReadAndPublish();
        guard.lock();
        // Until the device answers, look again soon: its first cycle takes about a second.
        nextRead =
            Clock::now() + (responding ? options_.readInterval
                                       : std::min<std::chrono::milliseconds>(
                                             options_.readInterval, std::chrono::seconds(2)));
    }
}

AlarmState AlarmService::ReadState() {
    std::uint8_t enables[2] = {0, 0};
    if (driver_.ReadAlarms(enables, &abandon_) != 0) {
        return {};  // a read that did not complete gives nothing current, not even its first
    }
    return {static_cast<std::uint8_t>(enables[0] != 0 ? 1 : 0),
            static_cast<std::uint8_t>(enables[1] != 0 ? 1 : 0)};
}

void AlarmService::ReadAndPublish() {
    // A silent device would hold the Modbus master for a time-out per request, delaying the
    // polling that notices it is back.
    const AlarmState state = driver_.IsDeviceResponding() ? ReadState() : AlarmState{};
    if (!state.Read() && !publishedRead_) {
        return;  // nothing read yet, nothing to take back
    }
    publishedRead_ = state.Read();
    publisher_.OnAlarmState(state);
}

void AlarmService::Execute(const AlarmCommand& command) {
    AlarmAnswer answer;
    answer.command = command;
    std::uint8_t enables[2] = {0, 0};
    if (driver_.ReadAlarms(enables, &abandon_) != 0) {
        answer.result = AlarmAnswer::Result::Failed;
        answer.message = abandon_ ? kInterrupted : kReadFailed;
    } else {
        const std::uint8_t chosen[2] = {
            command.internal.value_or(enables[0] != 0 ? 1 : 0),
            command.external.value_or(enables[1] != 0 ? 1 : 0),
        };
        if (driver_.WriteAlarms(chosen, &abandon_) != 0) {
            answer.result = AlarmAnswer::Result::Failed;
            answer.message = abandon_ ? kInterrupted : kWriteFailed;
        }
        // After a failed write too: the device may have taken the first value. Not after a
        // stop: the state is then unknown, and published as not read.
        if (!abandon_) {
            answer.state = ReadState();
        }
    }
    publishedRead_ = answer.state.Read();
    publisher_.OnAlarmState(answer.state);
    publisher_.OnAlarmAnswer(answer);
}
