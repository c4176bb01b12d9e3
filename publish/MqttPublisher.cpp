#include "publish/MqttPublisher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <unordered_map>
#include <vector>

#include "publish/DiskQueue.h"
#include "publish/MqttPayload.h"
#include "publish/MqttSession.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::size_t kInboxLimit = 10'000;
// Cycles handed to the library at once: enough to fill the link, few enough that a broken
// connection has little to send again.
constexpr std::uint64_t kSendWindow = 32;
constexpr std::uint8_t kAllInputs = 0xFF;
constexpr milliseconds kStopGrace{1000};
constexpr milliseconds kMiscInterval{1000};
// The shortest wait for a cycle before "silent": a cycle of eight inputs takes about a second.
constexpr milliseconds kMinSilence{5000};
constexpr int kFirstFailureReason = 0x80;
constexpr milliseconds kDiagnosticsInterval{10000};
// Answers waiting for a connection: a command is never repeated, so few ever wait.
constexpr std::size_t kMaxWaitingAnswers = 16;

std::string ReasonCode(int reason) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%02x", reason);
    return code;
}

int Remaining(Clock::time_point deadline, Clock::time_point now) {
    if (deadline <= now) {
        return 0;
    }
    return static_cast<int>(std::chrono::ceil<milliseconds>(deadline - now).count());
}

// The discovery topics a run published, one a line, so that the next can remove what it no
// longer publishes.
constexpr const char* kDiscoveryFile = "mqtt-discovery.txt";
constexpr std::size_t kMaxDiscoveryList = 64 * 1024;

std::vector<std::string> ReadLines(const std::filesystem::path& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    std::string line;
    std::size_t total = 0;
    while (std::getline(in, line) && (total += line.size() + 1) <= kMaxDiscoveryList) {
        // Only a config topic is ever removed: a damaged list must not clear anything else.
        if (line.ends_with("/config") && line.find_first_of("+#") == std::string::npos) {
            lines.push_back(line);
        }
    }
    return lines;
}

void WriteLines(const std::filesystem::path& path, const std::set<std::string>& lines) {
    const std::filesystem::path temporary = path.string() + ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        for (const std::string& line : lines) {
            out << line << '\n';
        }
        if (!out.flush()) {
            return;  // the list is a convenience: the next connect simply removes less
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, path, ec);
}

}  // namespace

class MqttPublisher::Worker {
public:
    explicit Worker(MqttPublisher& owner)
        : publisher_(owner), options_(owner.options_), rng_(std::random_device{}()) {}

    void Run() {
        const std::filesystem::path queuePath = options_.settingsFolder / kQueueFile;
        if (!queue_.Open(queuePath, options_.queueCapacity)) {
            ReportQueueInMemory();
        }
        nextToSend_ = queue_.Front();
        reportedDropped_ = TotalDropped();
        settingsProblem_ = MqttSettingsProblem(options_.settings);
        if (!settingsProblem_.empty()) {
            lastReported_ = MqttFailure::Settings;
            publisher_.lastFailure_ = MqttFailure::Settings;
            Report({MqttEvent::Type::Failed, MqttFailure::Settings, settingsProblem_, {}, 0});
        }
        if (const std::string why = CommandsProblem(options_.settings); !why.empty()) {
            Report({MqttEvent::Type::CommandsRefused, MqttFailure::None, why, {}, 0});
        }
        UpdateStats();
        for (;;) {
            std::deque<Incoming> batch;
            std::deque<AlarmNews> alarmNews;
            bool stop = false;
            {
                std::lock_guard guard(publisher_.mutex_);
                batch.swap(publisher_.inbox_);
                alarmNews.swap(publisher_.alarmInbox_);
                stop = publisher_.stop_;
                inboxDropped_ = publisher_.inboxDropped_;
            }
            for (Incoming& in : batch) {
                Handle(in);
            }
            for (const AlarmNews& news : alarmNews) {
                HandleAlarms(news);
            }
            const auto now = Clock::now();
            WatchSilence(now);
            ReportDrops(now, false);
            UpdateStats();
            if (stop) {
                break;
            }
            if (!session_ && serial_ && now >= nextAttempt_ && settingsProblem_.empty()) {
                Connect();
            }
            if (session_ && connected_) {
                Pump();
            }
            Wait();
        }
        Shutdown();
        ReportDrops(Clock::now(), true);
        UpdateStats();
    }

private:
    void Handle(const Incoming& in) {
        const auto now = Clock::now();
        if (lastCycleAt_) {
            cycleInterval_ = now - *lastCycleAt_;
        }
        lastCycleAt_ = now;
        if (!in.responding) {
            // Nothing of a cycle the device did not answer is a measurement, and the last
            // values must not come back as current when Home Assistant asks.
            wantedStatus_ = kStatusSilent;
            valuesCurrent_ = false;
            return;
        }
        wantedStatus_ = kStatusOnline;
        const std::uint16_t serial = in.cycle.deviceSerial;
        if (serial_ && *serial_ != serial && session_) {
            // Another concentrator on the line: its own status topic needs its own will.
            Close();
            announced_.fill(std::nullopt);
            nextAttempt_ = Clock::now();
        }
        serial_ = serial;
        const bool wasOnDisk = queue_.OnDisk();
        queue_.Push(EncodeCycle(in.cycle));
        if (wasOnDisk && !queue_.OnDisk()) {
            ReportQueueInMemory();
        }
        if (queue_.Failing() && !writeFailureReported_) {
            writeFailureReported_ = true;
            Report({MqttEvent::Type::QueueWriteFailed,
                    MqttFailure::None,
                    (options_.settingsFolder / kQueueFile).string() + " (" +
                        FileErrorText(queue_.LastError()) + ")",
                    {},
                    TotalDropped()});
        } else if (!queue_.Failing()) {
            writeFailureReported_ = false;
        }
        const std::string iso = IsoTime(in.cycle.time, in.cycle.utcOffsetSeconds);
        for (int i = 0; i < 8; ++i) {
            current_[i] = DescribeInput(in.cycle.readings[i]);
            lastPayloads_[i] = InputPayload(current_[i], iso);
        }
        haveCurrent_ = true;
        valuesCurrent_ = true;
    }

    void HandleAlarms(const AlarmNews& news) {
        const std::string iso = IsoTime(news.time, LocalUtcOffset(news.time));
        if (news.state) {
            alarmsPayload_ = AlarmsPayload(*news.state, iso);
            alarmsPending_ = true;
            // The entities appear once the device has answered an alarm read.
            haveAlarms_ = haveAlarms_ || news.state->Read();
        }
        if (news.answer) {
            Answer(*news.answer, iso);
        }
    }

    void Answer(const AlarmAnswer& answer, const std::string& iso) {
        if (answers_.size() >= kMaxWaitingAnswers) {
            answers_.pop_front();
        }
        answers_.push_back(AlarmAnswerPayload(answer, iso));
        std::string detail = answer.command ? AlarmCommandJson(*answer.command) : "?";
        switch (answer.result) {
            case AlarmAnswer::Result::Ok:
                detail += ": wykonane";
                break;
            case AlarmAnswer::Result::Refused:
                detail += ": odrzucone: " + answer.message;
                break;
            case AlarmAnswer::Result::Failed:
                detail += ": nieudane: " + answer.message;
                break;
        }
        Report({MqttEvent::Type::AlarmCommandAnswered, MqttFailure::None, detail, {}, 0});
    }

    // On the network thread: only checked and handed on, never carried out here.
    void OnCommand(std::string_view payload, bool retained) {
        if (!commandsActive_) {
            return;  // a subscription of an earlier run, before the broker dropped it
        }
        AlarmAnswer refusal;
        refusal.result = AlarmAnswer::Result::Refused;
        const auto now = std::chrono::system_clock::now();
        const std::string iso = IsoTime(now, LocalUtcOffset(now));
        std::optional<AlarmCommand> command = ParseAlarmCommand(payload, refusal.message);
        if (!command) {
            Answer(refusal, iso);
            return;
        }
        refusal.command = command;
        if (retained) {
            // Kept by the broker for whoever comes: carried out it would act again on every
            // connect.
            refusal.message = "polecenie zachowane przez broker (retain) nie jest wykonywane";
        } else if (!options_.onAlarmCommand) {
            refusal.message = "ten program nie wykonuje poleceń alarmów";
        } else {
            options_.onAlarmCommand(*command);
            return;
        }
        Answer(refusal, iso);
    }

    void PublishAlarms() {
        const std::string& prefix = options_.settings.topicPrefix;
        if (alarmsPending_ && alarmsPayload_) {
            Publish(AlarmsTopic(prefix, sessionSerial_), *alarmsPayload_, true);
            alarmsPending_ = false;
        }
        for (const std::string& answer : answers_) {
            Publish(AlarmsResultTopic(prefix, sessionSerial_), answer, false);
        }
        answers_.clear();
    }

    // A polling thread that stops delivering (a port gone, a hung driver) must not leave
    // "online" standing over the last values.
    void WatchSilence(Clock::time_point now) {
        if (lastCycleAt_ && wantedStatus_ != kStatusSilent && now >= SilenceDeadline()) {
            wantedStatus_ = kStatusSilent;
            valuesCurrent_ = false;
        }
    }

    Clock::time_point SilenceDeadline() const {
        return *lastCycleAt_ + std::max<Clock::duration>(3 * cycleInterval_, kMinSilence);
    }

    // The true total: when dropping starts, then while it grows at most once per interval,
    // and what is left unreported when the publisher stops.
    void ReportDrops(Clock::time_point now, bool final) {
        const std::uint64_t total = TotalDropped();
        if (total == reportedDropped_) {
            return;
        }
        if (!final && lastDropReport_ && now - *lastDropReport_ < options_.dropReportInterval) {
            return;
        }
        reportedDropped_ = total;
        lastDropReport_ = now;
        Report({MqttEvent::Type::Dropped, MqttFailure::None, {}, {}, total});
    }

    void ReportQueueInMemory() {
        Report({MqttEvent::Type::QueueNotOnDisk,
                MqttFailure::None,
                (options_.settingsFolder / kQueueFile).string() + " (" +
                    FileErrorText(queue_.LastError()) + ")",
                {},
                TotalDropped()});
    }

    void Connect() {
        ++publisher_.attempts_;
        std::string password;
        if (!options_.settings.passwordFile.empty() &&
            ReadPasswordFile(options_.settings.passwordFile, password) != PasswordFileError::None) {
            Fail({MqttFailure::PasswordFile, options_.settings.passwordFile, {}});
            return;
        }
        MqttSession::Handlers handlers;
        handlers.connected = [this] { OnConnected(); };
        handlers.published = [this](int mid, int reason) { OnPublished(mid, reason); };
        handlers.message = [this](std::string_view topic, std::string_view payload, bool retained) {
            if (topic == HaStatusTopic(options_.settings.discoveryPrefix) && payload == "online") {
                forceDiscovery_ = true;
                republishValues_ = true;
                alarmsPending_ = alarmsPayload_.has_value();
            } else if (topic == AlarmsCommandTopic(options_.settings.topicPrefix, sessionSerial_)) {
                OnCommand(payload, retained);
            }
        };
        session_ = std::make_unique<MqttSession>(
            EffectiveClientId(options_.settings, options_.settingsFolder), false,
            std::move(handlers), mqtt5_);
        sessionSerial_ = *serial_;
        const MqttSession::Will will{StatusTopic(options_.settings.topicPrefix, sessionSerial_),
                                     std::string(kStatusOffline), options_.settings.qos};
        MqttReason reason;
        const MqttFailure f = session_->Begin(options_.settings, password, will, reason);
        std::fill(password.begin(), password.end(), '\0');
        if (f != MqttFailure::None) {
            Fail(reason);
            return;
        }
        connectDeadline_ = Clock::now() + options_.connectTimeout;
    }

    void OnConnected() {
        connected_ = true;
        publisher_.connected_ = true;
        publisher_.mqtt5_ = mqtt5_;
        publisher_.lastFailure_ = MqttFailure::None;
        if (!refusing_) {
            backoffStep_ = 0;  // a broker refusing publishes keeps the slow pace
            lastReported_.reset();
        }
        inflight_.clear();
        otherMids_.clear();
        nextToSend_ = queue_.Front();
        publishedStatus_.clear();
        publishedDiagnostics_.reset();
        forceDiscovery_ = true;
        clearStale_ = true;
        if (options_.settings.discovery) {
            session_->Subscribe(HaStatusTopic(options_.settings.discoveryPrefix), 1);
        }
        // QoS 0: the broker keeps no command for a later connect, so none is carried out late.
        // Without commands the persistent session must not keep an earlier run's subscription.
        const std::string commandTopic =
            AlarmsCommandTopic(options_.settings.topicPrefix, sessionSerial_);
        if (commandsActive_) {
            session_->Subscribe(commandTopic, 0);
        } else {
            session_->Unsubscribe(commandTopic);
        }
        alarmsPending_ = alarmsPayload_.has_value();
        Report({MqttEvent::Type::Connected, MqttFailure::None, {}, {}, TotalDropped()});
    }

    void OnPublished(int mid, int reason) {
        const auto it = inflight_.find(mid);
        if (it == inflight_.end()) {
            // Status or discovery: a refusal is told, but the measurements go on.
            const auto other = otherMids_.find(mid);
            if (other != otherMids_.end()) {
                if (reason >= kFirstFailureReason && refusedTopics_.insert(other->second).second) {
                    Report({MqttEvent::Type::PublishRefused, MqttFailure::PublishRefused,
                            other->second, ReasonCode(reason), TotalDropped()});
                }
                otherMids_.erase(other);
            }
            return;
        }
        const auto [sequence, input] = it->second;
        inflight_.erase(it);
        if (reason >= kFirstFailureReason) {
            RefusedMeasurement(sequence, input, reason);
            return;
        }
        if (sequence < queue_.Front()) {
            return;  // dropped meanwhile
        }
        acked_[sequence] |= static_cast<std::uint8_t>(1u << input);
        PopDelivered();
    }

    void PopDelivered() {
        acked_.erase(acked_.begin(), acked_.lower_bound(queue_.Front()));
        std::uint64_t n = 0;
        for (auto it = acked_.begin();
             it != acked_.end() && it->first == queue_.Front() + n && it->second == kAllInputs;
             it = acked_.erase(it)) {
            ++n;
        }
        if (n > 0) {
            queue_.Pop(n);
            publisher_.delivered_ += n;
            refusing_ = false;
            UpdateStats();
        }
    }

    // The cycle stays queued; the connection is given up and tried again at the growing pace,
    // so that a broker's access rules never empty the queue nor make a storm.
    void RefusedMeasurement(std::uint64_t sequence, int input, int reason) {
        std::string topic = InputTopic(options_.settings.topicPrefix, sessionSerial_, input + 1);
        std::string record;
        if (std::optional<QueuedCycle> c;
            queue_.Read(sequence, record) && (c = DecodeCycle(record))) {
            topic = InputTopic(options_.settings.topicPrefix, c->deviceSerial, input + 1);
        }
        if (!refusing_) {
            refusing_ = true;
            Report({MqttEvent::Type::PublishRefused, MqttFailure::PublishRefused, topic,
                    ReasonCode(reason), TotalDropped()});
        }
        refusalPending_ = true;
    }

    void Publish(const std::string& topic, std::string_view payload, bool retain) {
        int mid = 0;
        if (session_->Publish(topic, payload, options_.settings.qos, retain, &mid)) {
            otherMids_[mid] = topic;
        }
    }

    void Pump() {
        const std::string& prefix = options_.settings.topicPrefix;
        if (publishedStatus_ != wantedStatus_) {
            Publish(StatusTopic(prefix, sessionSerial_), wantedStatus_, true);
            publishedStatus_ = wantedStatus_;
        }
        PublishDiagnostics();
        PublishAlarms();
        if (haveCurrent_) {
            SyncDiscovery();
            if (republishValues_ && valuesCurrent_) {
                for (int i = 0; i < 8; ++i) {
                    if (options_.settings.Publishes(i + 1)) {
                        Publish(InputTopic(prefix, sessionSerial_, i + 1), lastPayloads_[i], false);
                    }
                }
            }
        }
        republishValues_ = false;
        nextToSend_ = std::max(nextToSend_, queue_.Front());
        const std::uint64_t end = queue_.Front() + queue_.Size();
        while (nextToSend_ < end && nextToSend_ - queue_.Front() < kSendWindow) {
            if (!Send(nextToSend_)) {
                break;
            }
            ++nextToSend_;
        }
    }

    // Sends the inputs of one queued cycle that the broker has not acknowledged yet.
    bool Send(std::uint64_t sequence) {
        std::string record;
        std::optional<QueuedCycle> cycle;
        if (queue_.Read(sequence, record)) {
            cycle = DecodeCycle(record);
        }
        std::uint8_t& mask = acked_[sequence];
        if (!cycle) {
            // Damaged on disk: nothing true can be sent, so it is given up and counted.
            mask = kAllInputs;
            ++damaged_;
            PopDelivered();
            return true;
        }
        const std::string iso = IsoTime(cycle->time, cycle->utcOffsetSeconds);
        for (int i = 0; i < 8; ++i) {
            if (!options_.settings.Publishes(i + 1)) {
                mask |= static_cast<std::uint8_t>(1u << i);
            }
            if ((mask & (1u << i)) != 0) {
                continue;
            }
            int mid = 0;
            const std::string payload = InputPayload(DescribeInput(cycle->readings[i]), iso);
            if (!session_->Publish(
                    InputTopic(options_.settings.topicPrefix, cycle->deviceSerial, i + 1), payload,
                    options_.settings.qos, false, &mid)) {
                return false;
            }
            inflight_[mid] = {sequence, i};
        }
        if (mask == kAllInputs) {
            PopDelivered();  // no input of it is published
        }
        return true;
    }

    // A change of the device's state or of the last error at once; the queue's and the drop
    // count's growth at most every kDiagnosticsInterval, so an outage's backlog sends little.
    void PublishDiagnostics() {
        Diagnostics now{wantedStatus_ == kStatusOnline, queue_.Size(), TotalDropped(), lastError_};
        if (publishedDiagnostics_ && *publishedDiagnostics_ == now) {
            return;
        }
        const auto at = Clock::now();
        const bool urgent = !publishedDiagnostics_ ||
                            publishedDiagnostics_->responding != now.responding ||
                            publishedDiagnostics_->lastError != now.lastError;
        if (!urgent && at - lastDiagnosticsAt_ < kDiagnosticsInterval) {
            return;
        }
        Publish(DiagnosticsTopic(options_.settings.topicPrefix, sessionSerial_),
                DiagnosticsPayload(now), true);
        publishedDiagnostics_ = now;
        lastDiagnosticsAt_ = at;
    }

    void SyncDiscovery() {
        DiscoveryContext context{options_.settings.topicPrefix, sessionSerial_, options_.swVersion,
                                 options_.settings.discoveryPrefix};
        bool changed = false;
        const bool force = forceDiscovery_;
        std::vector<std::pair<std::string, std::string>> diagnostics;
        if (options_.settings.discovery && (force || clearStale_)) {
            diagnostics = DiagnosticsDiscovery(context);
        }
        if (force) {
            for (const auto& [topic, config] : diagnostics) {
                Publish(topic, config, true);
            }
        }
        std::vector<std::pair<std::string, std::string>> alarms;
        const bool withAlarms = options_.settings.discovery && haveAlarms_;
        if (withAlarms && (force || clearStale_ || !alarmsAnnounced_)) {
            alarms = AlarmsDiscovery(context, commandsActive_);
        }
        if (!alarms.empty() && (force || !alarmsAnnounced_)) {
            for (const auto& [topic, config] : alarms) {
                Publish(topic, config, true);
            }
            changed = changed || !alarmsAnnounced_;
            alarmsAnnounced_ = true;
        }
        for (int i = 0; i < 8; ++i) {
            const InputDescription& now = current_[i];
            const bool present = options_.settings.discovery &&
                                 options_.settings.Publishes(i + 1) &&
                                 (now.kind == InputDescription::Kind::Sensor ||
                                  now.kind == InputDescription::Kind::Binary);
            std::optional<InputDescription>& out = announced_[i];
            if (out && (!present || !out->SameSensor(now))) {
                // An empty retained config removes the entity.
                for (const ChannelReading& c : out->channels) {
                    Publish(DiscoveryTopic(context, i + 1, *out, c), "", true);
                }
                out.reset();
                changed = true;
            }
            if (present && (!out || forceDiscovery_)) {
                for (const ChannelReading& c : now.channels) {
                    Publish(DiscoveryTopic(context, i + 1, now, c),
                            DiscoveryConfig(context, i + 1, now, c), true);
                }
                changed = changed || !out;
                out = now;
            }
        }
        forceDiscovery_ = false;
        if (!changed && !clearStale_) {
            return;
        }
        if (options_.settings.discovery && diagnostics.empty()) {
            diagnostics = DiagnosticsDiscovery(context);
        }
        std::set<std::string> topics;
        for (const auto& [topic, config] : diagnostics) {
            topics.insert(topic);
        }
        if (withAlarms && alarms.empty()) {
            alarms = AlarmsDiscovery(context, commandsActive_);
        }
        for (const auto& [topic, config] : alarms) {
            topics.insert(topic);
        }
        for (int i = 0; i < 8; ++i) {
            if (announced_[i]) {
                for (const ChannelReading& c : announced_[i]->channels) {
                    topics.insert(DiscoveryTopic(context, i + 1, *announced_[i], c));
                }
            }
        }
        if (clearStale_) {
            // Configs of an earlier run that this one does not publish (an input emptied or
            // changed while the program was stopped, discovery switched off) would leave dead
            // entities whose template fails on every message.
            clearStale_ = false;
            changed = true;
            for (const std::string& old : ReadLines(DiscoveryListPath())) {
                if (!topics.contains(old)) {
                    Publish(old, "", true);
                }
            }
        }
        if (changed) {
            WriteLines(DiscoveryListPath(), topics);
        }
    }

    std::filesystem::path DiscoveryListPath() const {
        return options_.settingsFolder / kDiscoveryFile;
    }

    void Wait() {
        pollfd fds[2] = {{publisher_.wakeFd_, POLLIN, 0}, {-1, 0, 0}};
        const auto now = Clock::now();
        int timeout = -1;
        if (session_) {
            fds[1].fd = session_->Socket();
            fds[1].events = static_cast<short>(POLLIN | (session_->WantWrite() ? POLLOUT : 0));
            timeout = static_cast<int>(kMiscInterval.count());
            if (!connected_) {
                timeout = std::min(timeout, Remaining(connectDeadline_, now));
            }
        } else if (serial_ && settingsProblem_.empty()) {
            timeout = Remaining(nextAttempt_, now);
        }
        if (lastCycleAt_ && wantedStatus_ != kStatusSilent) {
            const int silence = Remaining(SilenceDeadline(), now);
            timeout = timeout < 0 ? silence : std::min(timeout, silence);
        }
        const int n = poll(fds, fds[1].fd >= 0 ? 2 : 1, timeout);
        if (n > 0 && (fds[0].revents & POLLIN) != 0) {
            std::uint64_t value = 0;
            [[maybe_unused]] const ssize_t r = read(publisher_.wakeFd_, &value, sizeof value);
        }
        if (session_) {
            MqttReason reason;
            const MqttFailure f =
                session_->Service(fds[1].fd >= 0 ? fds[1].revents : short{0}, reason);
            if (f != MqttFailure::None) {
                Fail(reason);
            } else if (refusalPending_) {
                Fail({MqttFailure::PublishRefused, {}, {}});
            } else if (!connected_ && Clock::now() >= connectDeadline_) {
                Fail({MqttFailure::Timeout, {}, {}});
            }
        }
    }

    void Fail(const MqttReason& reason) {
        const MqttFailure failure = reason.failure;
        const bool wasConnected = connected_;
        session_.reset();
        connected_ = false;
        publisher_.connected_ = false;
        inflight_.clear();
        otherMids_.clear();
        refusalPending_ = false;
        nextToSend_ = queue_.Front();
        if (failure == MqttFailure::ProtocolVersion && mqtt5_) {
            mqtt5_ = false;  // a 3.1.1 broker: at once again in its language
            nextAttempt_ = Clock::now();
            return;
        }
        if (failure == MqttFailure::PublishRefused) {
            publisher_.lastFailure_ = failure;  // told once already, with its topic
        } else if (wasConnected && !refusing_) {
            backoffStep_ = 0;
            lastReported_ = failure;
            publisher_.lastFailure_ = failure;
            Report({MqttEvent::Type::Disconnected, failure, reason.detail, reason.original,
                    TotalDropped()});
        } else if (lastReported_ != failure) {
            lastReported_ = failure;
            publisher_.lastFailure_ = failure;
            Report(
                {MqttEvent::Type::Failed, failure, reason.detail, reason.original, TotalDropped()});
        }
        const double base = static_cast<double>(options_.minBackoff.count()) *
                            static_cast<double>(1u << std::min(backoffStep_, 16));
        ++backoffStep_;
        std::uniform_real_distribution<double> jitter(0.8, 1.2);
        const double delay = std::clamp(
            std::min(base, static_cast<double>(options_.maxBackoff.count())) * jitter(rng_),
            static_cast<double>(options_.minBackoff.count()),
            static_cast<double>(options_.maxBackoff.count()));
        nextAttempt_ = Clock::now() + milliseconds(static_cast<long long>(delay));
    }

    // Says "offline" and disconnects, waiting for the bytes to leave no longer than the grace.
    void Close() {
        if (!session_) {
            return;
        }
        if (connected_) {
            Publish(StatusTopic(options_.settings.topicPrefix, sessionSerial_), kStatusOffline,
                    true);
        }
        session_->Disconnect();
        const auto deadline = Clock::now() + kStopGrace;
        MqttReason ignored;
        while (session_->Socket() >= 0 && session_->WantWrite()) {
            const auto now = Clock::now();
            if (now >= deadline) {
                break;
            }
            pollfd fd{session_->Socket(), POLLOUT, 0};
            if (poll(&fd, 1, Remaining(deadline, now)) <= 0 ||
                session_->Service(fd.revents, ignored) != MqttFailure::None) {
                break;
            }
        }
        session_.reset();
        connected_ = false;
        publisher_.connected_ = false;
        inflight_.clear();
        otherMids_.clear();
        nextToSend_ = queue_.Front();
    }

    void Shutdown() { Close(); }

    void Report(const MqttEvent& event) {
        switch (event.type) {
            case MqttEvent::Type::Failed:
            case MqttEvent::Type::Disconnected:
            case MqttEvent::Type::PublishRefused:
                lastError_ = MqttFailureText(event.failure, event.detail);
                break;
            case MqttEvent::Type::QueueNotOnDisk:
            case MqttEvent::Type::QueueWriteFailed:
                lastError_ = "kolejka w pamięci: " + event.detail;
                break;
            default:
                break;
        }
        if (options_.onEvent) {
            options_.onEvent(event);
        }
    }

    std::uint64_t TotalDropped() const { return queue_.Dropped() + inboxDropped_ + damaged_; }

    void UpdateStats() {
        publisher_.queued_ = queue_.Size();
        publisher_.dropped_ = TotalDropped();
        publisher_.writeFailures_ = queue_.WriteFailures();
    }

    MqttPublisher& publisher_;
    const Options& options_;
    std::mt19937 rng_;
    DiskQueue queue_;
    std::unique_ptr<MqttSession> session_;
    bool connected_ = false;
    Clock::time_point connectDeadline_{};
    Clock::time_point nextAttempt_{};
    int backoffStep_ = 0;
    std::optional<MqttFailure> lastReported_;
    std::optional<std::uint16_t> serial_;
    std::uint16_t sessionSerial_ = 0;
    std::string wantedStatus_{kStatusOnline};
    std::string publishedStatus_;
    std::array<InputDescription, 8> current_{};
    std::array<std::string, 8> lastPayloads_{};
    bool haveCurrent_ = false;
    std::array<std::optional<InputDescription>, 8> announced_{};
    bool forceDiscovery_ = false;
    bool clearStale_ = false;
    std::string lastError_;
    std::optional<Diagnostics> publishedDiagnostics_;
    Clock::time_point lastDiagnosticsAt_{};
    bool republishValues_ = false;
    std::unordered_map<int, std::pair<std::uint64_t, int>> inflight_;
    std::map<std::uint64_t, std::uint8_t> acked_;
    std::unordered_map<int, std::string> otherMids_;  // status and discovery: their topics
    std::set<std::string> refusedTopics_;             // told once each
    std::uint64_t nextToSend_ = 0;
    std::uint64_t inboxDropped_ = 0;
    std::uint64_t damaged_ = 0;
    std::uint64_t reportedDropped_ = 0;
    std::optional<Clock::time_point> lastDropReport_;
    std::optional<Clock::time_point> lastCycleAt_;
    Clock::duration cycleInterval_{};
    bool valuesCurrent_ = false;
    bool writeFailureReported_ = false;
    bool mqtt5_ = true;
    bool refusing_ = false;        // a measurement was refused; no cycle delivered since
    bool refusalPending_ = false;  // the connection is to be given up after this service
    std::string settingsProblem_;
    const bool commandsActive_ = CommandsActive(options_.settings);
    std::optional<std::string> alarmsPayload_;  // the latest alarm read's
    bool alarmsPending_ = false;
    bool haveAlarms_ = false;
    bool alarmsAnnounced_ = false;
    std::deque<std::string> answers_;
};

MqttPublisher::MqttPublisher(Options options) : options_(std::move(options)) {
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

MqttPublisher::~MqttPublisher() {
    Stop();
    if (wakeFd_ >= 0) {
        close(wakeFd_);
    }
}

void MqttPublisher::Start() {
    if (thread_.joinable() || wakeFd_ < 0) {
        return;
    }
    {
        std::lock_guard guard(mutex_);
        stop_ = false;
    }
    thread_ = std::thread([this] {
        Worker worker(*this);
        worker.Run();
    });
}

void MqttPublisher::Stop() {
    if (!thread_.joinable()) {
        return;
    }
    {
        std::lock_guard guard(mutex_);
        stop_ = true;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t w = write(wakeFd_, &one, sizeof one);
    thread_.join();
}

void MqttPublisher::OnCycle(const PollingCycle& cycle) {
    Incoming in;
    in.responding = cycle.responding;
    if (cycle.responding) {
        in.cycle.time = cycle.time;
        in.cycle.utcOffsetSeconds = LocalUtcOffset(cycle.time);
        in.cycle.deviceSerial = cycle.info.serialNumber;
        std::copy(std::begin(cycle.readings), std::end(cycle.readings),
                  std::begin(in.cycle.readings));
    }
    {
        std::lock_guard guard(mutex_);
        if (inbox_.size() >= kInboxLimit) {
            inbox_.pop_front();
            ++inboxDropped_;
        }
        inbox_.push_back(std::move(in));
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t w = write(wakeFd_, &one, sizeof one);
}

void MqttPublisher::OnAlarmState(const AlarmState& state) {
    PostAlarmNews({std::chrono::system_clock::now(), state, std::nullopt});
}

void MqttPublisher::OnAlarmAnswer(const AlarmAnswer& answer) {
    PostAlarmNews({std::chrono::system_clock::now(), std::nullopt, answer});
}

void MqttPublisher::PostAlarmNews(AlarmNews news) {
    {
        std::lock_guard guard(mutex_);
        // A few a minute at most; the bound only guards a stalled thread.
        if (alarmInbox_.size() >= kMaxWaitingAnswers) {
            alarmInbox_.pop_front();
        }
        alarmInbox_.push_back(std::move(news));
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t w = write(wakeFd_, &one, sizeof one);
}

MqttPublisher::Stats MqttPublisher::GetStats() const {
    Stats s;
    s.connected = connected_;
    s.queued = queued_;
    s.dropped = dropped_;
    s.connectAttempts = attempts_;
    s.cyclesDelivered = delivered_;
    s.queueWriteFailures = writeFailures_;
    s.mqtt5 = mqtt5_;
    s.lastFailure = lastFailure_;
    return s;
}
