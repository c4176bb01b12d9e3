#include "publish/MqttPublisher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <unordered_map>

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

int Remaining(Clock::time_point deadline, Clock::time_point now) {
    if (deadline <= now) {
        return 0;
    }
    return static_cast<int>(std::chrono::ceil<milliseconds>(deadline - now).count());
}

}  // namespace

class MqttPublisher::Worker {
public:
    explicit Worker(MqttPublisher& owner)
        : p_(owner), o_(owner.options_), rng_(std::random_device{}()) {}

    void Run() {
        queue_.Open(o_.settingsFolder / kQueueFile, o_.queueCapacity);
        nextToSend_ = queue_.Front();
        lastDropped_ = queue_.Dropped();
        UpdateStats();
        for (;;) {
            std::deque<Incoming> batch;
            bool stop = false;
            {
                std::lock_guard guard(p_.mutex_);
                batch.swap(p_.inbox_);
                stop = p_.stop_;
                inboxDropped_ = p_.inboxDropped_;
            }
            for (Incoming& in : batch) {
                Handle(in);
            }
            UpdateStats();
            if (stop) {
                break;
            }
            const auto now = Clock::now();
            if (!session_ && serial_ && now >= nextAttempt_) {
                Connect();
            }
            if (session_ && connected_) {
                Pump();
            }
            Wait();
        }
        Shutdown();
        UpdateStats();
    }

private:
    void Handle(const Incoming& in) {
        if (!in.responding) {
            wantedStatus_ = kStatusSilent;
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
        queue_.Push(EncodeCycle(in.cycle));
        if (queue_.Dropped() != lastDropped_) {
            lastDropped_ = queue_.Dropped();
            if (!dropping_) {
                dropping_ = true;
                Report({MqttEvent::Type::Dropped, MqttFailure::None, {}, TotalDropped()});
            }
        } else {
            dropping_ = false;
        }
        const std::string iso = IsoTime(in.cycle.time, in.cycle.utcOffsetSeconds);
        for (int i = 0; i < 8; ++i) {
            current_[i] = DescribeInput(in.cycle.readings[i]);
            lastPayloads_[i] = InputPayload(current_[i], iso);
        }
        haveCurrent_ = true;
    }

    void Connect() {
        ++p_.attempts_;
        std::string password;
        if (!o_.settings.passwordFile.empty() &&
            ReadPasswordFile(o_.settings.passwordFile, password) != PasswordFileError::None) {
            Fail(MqttFailure::PasswordFile, o_.settings.passwordFile);
            return;
        }
        MqttSession::Handlers handlers;
        handlers.connected = [this] { OnConnected(); };
        handlers.published = [this](int mid) { OnPublished(mid); };
        handlers.message = [this](std::string_view topic, std::string_view payload) {
            if (topic == kHaStatusTopic && payload == "online") {
                forceDiscovery_ = true;
                republishValues_ = true;
            }
        };
        session_ = std::make_unique<MqttSession>(EffectiveClientId(o_.settings, o_.settingsFolder),
                                                 false, std::move(handlers));
        sessionSerial_ = *serial_;
        const MqttSession::Will will{StatusTopic(o_.settings.topicPrefix, sessionSerial_),
                                     std::string(kStatusOffline), o_.settings.qos};
        std::string detail;
        const MqttFailure f = session_->Begin(o_.settings, password, will, detail);
        std::fill(password.begin(), password.end(), '\0');
        if (f != MqttFailure::None) {
            Fail(f, detail);
            return;
        }
        connectDeadline_ = Clock::now() + o_.connectTimeout;
    }

    void OnConnected() {
        connected_ = true;
        p_.connected_ = true;
        backoffStep_ = 0;
        lastReported_.reset();
        inflight_.clear();
        nextToSend_ = queue_.Front();
        publishedStatus_.clear();
        forceDiscovery_ = true;
        session_->Subscribe(std::string(kHaStatusTopic), 1);
        Report({MqttEvent::Type::Connected, MqttFailure::None, {}, TotalDropped()});
    }

    void OnPublished(int mid) {
        const auto it = inflight_.find(mid);
        if (it == inflight_.end()) {
            return;  // status or discovery
        }
        const auto [sequence, input] = it->second;
        inflight_.erase(it);
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
            p_.delivered_ += n;
            UpdateStats();
        }
    }

    void Publish(const std::string& topic, std::string_view payload, bool retain) {
        session_->Publish(topic, payload, o_.settings.qos, retain, nullptr);
    }

    void Pump() {
        const std::string& prefix = o_.settings.topicPrefix;
        if (publishedStatus_ != wantedStatus_) {
            Publish(StatusTopic(prefix, sessionSerial_), wantedStatus_, true);
            publishedStatus_ = wantedStatus_;
        }
        if (haveCurrent_) {
            SyncDiscovery();
            if (republishValues_) {
                for (int i = 0; i < 8; ++i) {
                    Publish(InputTopic(prefix, sessionSerial_, i + 1), lastPayloads_[i], false);
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
            if ((mask & (1u << i)) != 0) {
                continue;
            }
            int mid = 0;
            const std::string payload = InputPayload(DescribeInput(cycle->readings[i]), iso);
            if (!session_->Publish(InputTopic(o_.settings.topicPrefix, cycle->deviceSerial, i + 1),
                                   payload, o_.settings.qos, false, &mid)) {
                return false;
            }
            inflight_[mid] = {sequence, i};
        }
        return true;
    }

    void SyncDiscovery() {
        const DiscoveryContext context{o_.settings.topicPrefix, sessionSerial_, o_.swVersion};
        for (int i = 0; i < 8; ++i) {
            const InputDescription& now = current_[i];
            const bool present = now.kind == InputDescription::Kind::Sensor ||
                                 now.kind == InputDescription::Kind::Binary;
            std::optional<InputDescription>& out = announced_[i];
            if (out && (!present || !out->SameSensor(now))) {
                // An empty retained config removes the entity.
                for (const ChannelReading& c : out->channels) {
                    Publish(DiscoveryTopic(sessionSerial_, i + 1, *out, c), "", true);
                }
                out.reset();
            }
            if (present && (!out || forceDiscovery_)) {
                for (const ChannelReading& c : now.channels) {
                    Publish(DiscoveryTopic(sessionSerial_, i + 1, now, c),
                            DiscoveryConfig(context, i + 1, now, c), true);
                }
                out = now;
            }
        }
        forceDiscovery_ = false;
    }

    void Wait() {
        pollfd fds[2] = {{p_.wakeFd_, POLLIN, 0}, {-1, 0, 0}};
        const auto now = Clock::now();
        int timeout = -1;
        if (session_) {
            fds[1].fd = session_->Socket();
            fds[1].events = static_cast<short>(POLLIN | (session_->WantWrite() ? POLLOUT : 0));
            timeout = static_cast<int>(kMiscInterval.count());
            if (!connected_) {
                timeout = std::min(timeout, Remaining(connectDeadline_, now));
            }
        } else if (serial_) {
            timeout = Remaining(nextAttempt_, now);
        }
        const int n = poll(fds, fds[1].fd >= 0 ? 2 : 1, timeout);
        if (n > 0 && (fds[0].revents & POLLIN) != 0) {
            std::uint64_t value = 0;
            [[maybe_unused]] const ssize_t r = read(p_.wakeFd_, &value, sizeof value);
        }
        if (session_) {
            std::string detail;
            const MqttFailure f =
                session_->Service(fds[1].fd >= 0 ? fds[1].revents : short{0}, detail);
            if (f != MqttFailure::None) {
                Fail(f, detail);
            } else if (!connected_ && Clock::now() >= connectDeadline_) {
                Fail(MqttFailure::Timeout, {});
            }
        }
    }

    void Fail(MqttFailure failure, const std::string& detail) {
        const bool wasConnected = connected_;
        session_.reset();
        connected_ = false;
        p_.connected_ = false;
        inflight_.clear();
        nextToSend_ = queue_.Front();
        if (wasConnected) {
            backoffStep_ = 0;
            lastReported_ = failure;
            Report({MqttEvent::Type::Disconnected, failure, detail, TotalDropped()});
        } else if (lastReported_ != failure) {
            lastReported_ = failure;
            Report({MqttEvent::Type::Failed, failure, detail, TotalDropped()});
        }
        const double base = static_cast<double>(o_.minBackoff.count()) *
                            static_cast<double>(1u << std::min(backoffStep_, 16));
        ++backoffStep_;
        std::uniform_real_distribution<double> jitter(0.8, 1.2);
        const double delay = std::clamp(
            std::min(base, static_cast<double>(o_.maxBackoff.count())) * jitter(rng_),
            static_cast<double>(o_.minBackoff.count()), static_cast<double>(o_.maxBackoff.count()));
        nextAttempt_ = Clock::now() + milliseconds(static_cast<long long>(delay));
    }

    // Says "offline" and disconnects, waiting for the bytes to leave no longer than the grace.
    void Close() {
        if (!session_) {
            return;
        }
        if (connected_) {
            Publish(StatusTopic(o_.settings.topicPrefix, sessionSerial_), kStatusOffline, true);
        }
        session_->Disconnect();
        const auto deadline = Clock::now() + kStopGrace;
        std::string detail;
        while (session_->Socket() >= 0 && session_->WantWrite()) {
            const auto now = Clock::now();
            if (now >= deadline) {
                break;
            }
            pollfd fd{session_->Socket(), POLLOUT, 0};
            if (poll(&fd, 1, Remaining(deadline, now)) <= 0 ||
                session_->Service(fd.revents, detail) != MqttFailure::None) {
                break;
            }
        }
        session_.reset();
        connected_ = false;
        p_.connected_ = false;
        inflight_.clear();
        nextToSend_ = queue_.Front();
    }

    void Shutdown() { Close(); }

    void Report(const MqttEvent& event) {
        if (o_.onEvent) {
            o_.onEvent(event);
        }
    }

    std::uint64_t TotalDropped() const { return queue_.Dropped() + inboxDropped_ + damaged_; }

    void UpdateStats() {
        p_.queued_ = queue_.Size();
        p_.dropped_ = TotalDropped();
    }

    MqttPublisher& p_;
    const Options& o_;
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
    bool republishValues_ = false;
    std::unordered_map<int, std::pair<std::uint64_t, int>> inflight_;
    std::map<std::uint64_t, std::uint8_t> acked_;
    std::uint64_t nextToSend_ = 0;
    std::uint64_t lastDropped_ = 0;
    std::uint64_t inboxDropped_ = 0;
    std::uint64_t damaged_ = 0;
    bool dropping_ = false;
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

MqttPublisher::Stats MqttPublisher::GetStats() const {
    Stats s;
    s.connected = connected_;
    s.queued = queued_;
    s.dropped = dropped_;
    s.connectAttempts = attempts_;
    s.cyclesDelivered = delivered_;
    return s;
}
