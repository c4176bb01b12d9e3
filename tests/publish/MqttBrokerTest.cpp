#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <thread>

#include "publish/MqttCheck.h"
#include "publish/MqttPayload.h"
#include "publish/MqttPublisher.h"
#include "tests/publish/Broker.h"
#include "tests/support/MakeReading.h"

extern char** environ;

namespace {

// A listening socket on a free loopback port (its number in port), for servers that are no
// ordinary broker; -1 on failure.
int LoopbackListener(uint16_t& port) {
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        listen(listener, 4) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        if (listener >= 0) {
            close(listener);
        }
        return -1;
    }
    port = ntohs(a.sin_port);
    return listener;
}

namespace fs = std::filesystem;
using namespace std::chrono;
using Type = MqttEvent::Type;

class EventLog {
public:
    void Add(const MqttEvent& e) {
        std::lock_guard guard(mutex_);
        events_.push_back(e);
        changed_.notify_all();
    }
    bool WaitFor(Type type, MqttFailure failure = MqttFailure::None, int timeoutMs = 10000) {
        std::unique_lock guard(mutex_);
        return changed_.wait_for(guard, milliseconds(timeoutMs),
                                 [&] { return CountLocked(type, failure) > 0; });
    }
    std::size_t Count(Type type, MqttFailure failure = MqttFailure::None) {
        std::lock_guard guard(mutex_);
        return CountLocked(type, failure);
    }
    std::size_t Size() {
        std::lock_guard guard(mutex_);
        return events_.size();
    }
    std::vector<MqttEvent> Of(Type type) {
        std::lock_guard guard(mutex_);
        std::vector<MqttEvent> out;
        for (const MqttEvent& e : events_) {
            if (e.type == type) {
                out.push_back(e);
            }
        }
        return out;
    }

private:
    std::size_t CountLocked(Type type, MqttFailure failure) const {
        std::size_t n = 0;
        for (const MqttEvent& e : events_) {
            n += e.type == type && (failure == MqttFailure::None || e.failure == failure);
        }
        return n;
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<MqttEvent> events_;
};

// Conditions that only a getter can show are looked at every few milliseconds, bounded.
bool Eventually(const std::function<bool()>& condition, int timeoutMs = 10000) {
    const auto deadline = steady_clock::now() + milliseconds(timeoutMs);
    while (!condition()) {
        if (steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(milliseconds(5));
    }
    return true;
}

const system_clock::time_point kStart = system_clock::time_point(seconds(1796648701));

// Cycle n: input 1 carries n as its humidity (tenths), so order and gaps show.
PollingCycle Cycle(int n, uint16_t serial = 2101) {
    PollingCycle c;
    c.time = kStart + seconds(n);
    c.responding = true;
    c.info.status = 0;
    c.info.serialNumber = serial;
    c.readings[0] = MakeReading(ModelTQ21, 501, {static_cast<int16_t>(n), 217});
    return c;
}

std::string ExpectedInput1(int n) {
    const PollingCycle c = Cycle(n);
    return InputPayload(DescribeInput(c.readings[0]), IsoTime(c.time, LocalUtcOffset(c.time)));
}

std::vector<std::string> Payloads(const std::vector<Subscriber::Message>& messages) {
    std::vector<std::string> out;
    for (const auto& m : messages) {
        out.push_back(m.payload);
    }
    return out;
}

class MqttBrokerTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("orvex-mqtt-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "settings");
    }
    void TearDown() override { fs::remove_all(dir); }

    MqttPublisher::Options Options(int port) {
        MqttPublisher::Options o;
        o.settings.enabled = true;
        o.settings.host = "127.0.0.1";
        o.settings.port = port;
        o.settings.keepalive = 10;
        o.settingsFolder = dir / "settings";
        o.swVersion = "test";
        // The real pace (1 s to 60 s) would make every test wait a minute.
        o.minBackoff = milliseconds(100);
        o.maxBackoff = milliseconds(1000);
        o.onEvent = [this](const MqttEvent& e) { events.Add(e); };
        return o;
    }

    // A CA, a server certificate for 127.0.0.1 signed by it, and an unrelated CA.
    void MakeCertificates() {
        const std::string d = (dir / "pki").string();
        fs::create_directories(d);
        const std::string ec = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
        ASSERT_TRUE(::Run("cd " + d + " && echo subjectAltName=IP:127.0.0.1 > san.ext" +
                          " && openssl req -x509 " + ec +
                          " -keyout ca.key -out ca.crt -days 2 -subj /CN=test-ca 2>/dev/null" +
                          " && openssl req -x509 " + ec +
                          " -keyout other.key -out other.crt -days 2 -subj /CN=other 2>/dev/null" +
                          " && openssl req " + ec +
                          " -keyout server.key -out server.csr -subj /CN=127.0.0.1 2>/dev/null" +
                          " && openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key" +
                          " -CAcreateserial -out server.crt -days 2 -extfile san.ext 2>/dev/null"));
        ASSERT_TRUE(
            ::Run("mosquitto_passwd -b -c " + (dir / "passwd").string() + " orvex goodpass"));
        std::ofstream(dir / "good.pw") << "goodpass\n";
        std::ofstream(dir / "bad.pw") << "wrongpass\n";
    }

    Broker::Config TlsBroker() {
        Broker::Config c;
        c.caFile = dir / "pki/ca.crt";
        c.certFile = dir / "pki/server.crt";
        c.keyFile = dir / "pki/server.key";
        c.passwordFile = dir / "passwd";
        return c;
    }

    MqttSettings TlsSettings(const Broker& broker, const char* ca, const char* passwordFile) {
        MqttSettings s;
        s.enabled = true;
        s.host = "127.0.0.1";
        s.port = broker.TlsPort();
        s.tls = true;
        s.caFile = (dir / "pki" / ca).string();
        s.username = "orvex";
        s.passwordFile = (dir / passwordFile).string();
        return s;
    }

    fs::path dir;
    EventLog events;
};

TEST_F(MqttBrokerTest, PublishesRetainedStatusValuesNullsAndDiscovery) {
    Broker broker(dir / "broker", {});
    ASSERT_TRUE(broker.Start());
    Subscriber sub(broker.Port(), {"orvex/#", "homeassistant/#"});
    ASSERT_TRUE(sub.WaitConnected());
    MqttPublisher pub(Options(broker.Port()));
    pub.Start();

    PollingCycle c = Cycle(1);
    c.readings[1] = MakeReading(ModelTQ21, 502, {0, 250}, {0, 1});  // humidity error
    pub.OnCycle(c);
    ASSERT_TRUE(sub.WaitFor("orvex/2101/input8", 1));
    EXPECT_EQ(sub.On("orvex/2101/input1")[0].payload, ExpectedInput1(1));
    EXPECT_NE(sub.On("orvex/2101/input2")[0].payload.find(
                  R"("humidity": {"value": null, "unit": "%"}, "temperature": {"value": 25.0)"),
              std::string::npos);
    EXPECT_NE(sub.On("orvex/2101/input3")[0].payload.find(R"("model": null)"), std::string::npos);
    ASSERT_TRUE(sub.WaitFor("homeassistant/sensor/orvex_2101_in2_humidity/config", 1));
    EXPECT_EQ(sub.On("homeassistant/sensor/orvex_2101_in2_humidity/config")[0].payload,
              DiscoveryConfig({"orvex", 2101, "test"}, 2, DescribeInput(c.readings[1]),
                              DescribeInput(c.readings[1]).channels[0]));
    {
        // What a newcomer sees: the retained status and configs.
        Subscriber late(broker.Port(), {"orvex/2101/status", "homeassistant/#"}, "late");
        ASSERT_TRUE(late.WaitFor("orvex/2101/status", 1));
        EXPECT_EQ(late.On("orvex/2101/status")[0].payload, "online");
        EXPECT_TRUE(late.On("orvex/2101/status")[0].retained);
        ASSERT_TRUE(late.WaitFor("homeassistant/sensor/orvex_2101_in1_temperature/config", 1));
        EXPECT_TRUE(late.On("homeassistant/sensor/orvex_2101_in1_temperature/config")[0].retained);
        EXPECT_TRUE(late.On("homeassistant/sensor/orvex_2101_in3_temperature/config").empty());
    }

    // A cycle without an answer: "silent", and no readings.
    PollingCycle silent;
    silent.time = kStart + seconds(2);
    pub.OnCycle(silent);
    ASSERT_TRUE(sub.WaitFor("orvex/2101/status", 2));
    EXPECT_EQ(sub.On("orvex/2101/status")[1].payload, "silent");
    pub.OnCycle(Cycle(3));
    ASSERT_TRUE(sub.WaitFor("orvex/2101/input1", 2));
    EXPECT_EQ(sub.On("orvex/2101/input1")[1].payload, ExpectedInput1(3));
    ASSERT_TRUE(sub.WaitFor("orvex/2101/status", 3));
    EXPECT_EQ(sub.On("orvex/2101/status")[2].payload, "online");

    // Another sensor on input 2 replaces its entities; an emptied input removes them.
    const std::string humidity2 = "homeassistant/sensor/orvex_2101_in2_humidity/config";
    PollingCycle swapped = Cycle(4);
    swapped.readings[1] = MakeReading(ModelTQ21, 999, {100, 200});
    pub.OnCycle(swapped);
    ASSERT_TRUE(sub.WaitFor(humidity2, 3));
    EXPECT_EQ(sub.On(humidity2)[1].payload, "");
    EXPECT_NE(sub.On(humidity2)[2].payload, "");
    pub.OnCycle(Cycle(5));
    ASSERT_TRUE(sub.WaitFor(humidity2, 4));
    EXPECT_EQ(sub.On(humidity2)[3].payload, "");
    Subscriber late(broker.Port(), {"homeassistant/#"}, "late2");
    ASSERT_TRUE(late.WaitFor("homeassistant/sensor/orvex_2101_in1_temperature/config", 1));
    EXPECT_TRUE(late.On(humidity2).empty());

    // A clean stop says "offline" itself.
    pub.Stop();
    ASSERT_TRUE(sub.WaitFor("orvex/2101/status", 4));
    EXPECT_EQ(sub.On("orvex/2101/status")[3].payload, "offline");
}

TEST_F(MqttBrokerTest, HomeAssistantComingOnlineGetsConfigsAndValuesAgain) {
    Broker broker(dir / "broker", {});
    ASSERT_TRUE(broker.Start());
    Subscriber sub(broker.Port(), {"orvex/#", "homeassistant/sensor/#"});
    ASSERT_TRUE(sub.WaitConnected());
    MqttPublisher pub(Options(broker.Port()));
    pub.Start();
    pub.OnCycle(Cycle(7));
    const std::string config = "homeassistant/sensor/orvex_2101_in1_humidity/config";
    ASSERT_TRUE(sub.WaitFor(config, 1));
    ASSERT_TRUE(sub.WaitFor("orvex/2101/input1", 1));
    ASSERT_TRUE(Eventually([&] { return pub.GetStats().queued == 0; }));
    sub.Publish("homeassistant/status", "online");
    ASSERT_TRUE(sub.WaitFor(config, 2));
    ASSERT_TRUE(sub.WaitFor("orvex/2101/input1", 2));
    EXPECT_EQ(sub.On(config)[1].payload, sub.On(config)[0].payload);
    EXPECT_EQ(Payloads(sub.On("orvex/2101/input1")),
              (std::vector<std::string>{ExpectedInput1(7), ExpectedInput1(7)}));
}

// The broker is away for 5 s (not the field's 30: the publisher's backoff is shortened too).
TEST_F(MqttBrokerTest, BrokerStoppedAndBackDeliversEveryCycleOnceInOrder) {
    Broker::Config config;
    config.persistence = true;  // the subscriber's session must outlive the broker's stop
    Broker broker(dir / "broker", config);
    ASSERT_TRUE(broker.Start());
    Subscriber sub(broker.Port(), {"orvex/2101/input1"}, "restart-sub", false);
    ASSERT_TRUE(sub.WaitConnected());
    MqttPublisher pub(Options(broker.Port()));
    pub.Start();
    constexpr int kCycles = 80;
    for (int n = 0; n < kCycles; ++n) {
        if (n == 10) {
            ASSERT_TRUE(sub.WaitFor("orvex/2101/input1", 10));
            broker.Stop();
        }
        if (n == 60) {
            ASSERT_TRUE(broker.Start());
        }
        pub.OnCycle(Cycle(n));
        std::this_thread::sleep_for(milliseconds(100));  // the polling pace
    }
    ASSERT_TRUE(sub.WaitFor("orvex/2101/input1", kCycles, 30000));
    ASSERT_TRUE(Eventually([&] { return pub.GetStats().queued == 0; }));
    std::vector<std::string> expected;
    for (int n = 0; n < kCycles; ++n) {
        expected.push_back(ExpectedInput1(n));
    }
    EXPECT_EQ(Payloads(sub.On("orvex/2101/input1")), expected);
    EXPECT_GE(events.Count(Type::Disconnected), 1u);
    EXPECT_EQ(pub.GetStats().dropped, 0u);
}

TEST_F(MqttBrokerTest, LastWillSaysOfflineWhenTheProgramIsKilled) {
    Broker broker(dir / "broker", {});
    ASSERT_TRUE(broker.Start());
    Subscriber sub(broker.Port(), {"orvex/4242/status"});
    ASSERT_TRUE(sub.WaitConnected());
    const std::string port = std::to_string(broker.Port());
    const std::string folder = (dir / "settings").string();
    char* argv[] = {const_cast<char*>(ORVEX_PUBLISH_CHILD), const_cast<char*>(port.c_str()),
                    const_cast<char*>(folder.c_str()), const_cast<char*>("4242"), nullptr};
    pid_t child = -1;
    ASSERT_EQ(posix_spawn(&child, ORVEX_PUBLISH_CHILD, nullptr, nullptr, argv, environ), 0);
    const bool online = sub.WaitFor("orvex/4242/status", 1);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    ASSERT_TRUE(online);
    EXPECT_EQ(sub.On("orvex/4242/status")[0].payload, "online");
    ASSERT_TRUE(sub.WaitFor("orvex/4242/status", 2));
    EXPECT_EQ(sub.On("orvex/4242/status")[1].payload, "offline");
    Subscriber late(broker.Port(), {"orvex/4242/status"}, "late");
    ASSERT_TRUE(late.WaitFor("orvex/4242/status", 1));
    EXPECT_EQ(late.On("orvex/4242/status")[0].payload, "offline");
    EXPECT_TRUE(late.On("orvex/4242/status")[0].retained);
}

TEST_F(MqttBrokerTest, ConnectionCheckNamesTheReason) {
    MakeCertificates();
    Broker broker(dir / "broker", TlsBroker());
    ASSERT_TRUE(broker.Start());
    const fs::path folder = dir / "settings";
    EXPECT_EQ(CheckMqttConnection(TlsSettings(broker, "ca.crt", "good.pw"), folder, 5s).failure,
              MqttFailure::None);
    EXPECT_EQ(CheckMqttConnection(TlsSettings(broker, "ca.crt", "bad.pw"), folder, 5s).failure,
              MqttFailure::BadCredentials);
    EXPECT_EQ(CheckMqttConnection(TlsSettings(broker, "other.crt", "good.pw"), folder, 5s).failure,
              MqttFailure::TlsCertificate);
    EXPECT_EQ(CheckMqttConnection(TlsSettings(broker, "ca.crt", "missing.pw"), folder, 5s).failure,
              MqttFailure::PasswordFile);
    // Without TLS the refusal comes the same way.
    MqttSettings noTls = TlsSettings(broker, "ca.crt", "bad.pw");
    noTls.tls = false;
    noTls.port = broker.Port();
    const MqttCheckResult refused = CheckMqttConnection(noTls, folder, 5s);
    EXPECT_EQ(refused.failure, MqttFailure::BadCredentials) << refused.detail;
    MqttSettings plain;
    plain.host = "127.0.0.1";
    plain.port = FreePort();
    EXPECT_EQ(CheckMqttConnection(plain, folder, 5s).failure, MqttFailure::ConnectionRefused);
}

TEST_F(MqttBrokerTest, TlsWithPasswordPublishesAndRefusalsAreReportedOnceWithoutAStorm) {
    MakeCertificates();
    Broker broker(dir / "broker", TlsBroker());
    ASSERT_TRUE(broker.Start());
    Subscriber sub(broker.Port(), {"orvex/#"}, "tls-sub", true, "orvex", "goodpass");
    ASSERT_TRUE(sub.WaitConnected());
    {
        MqttPublisher::Options o = Options(0);
        o.settings = TlsSettings(broker, "ca.crt", "good.pw");
        MqttPublisher pub(o);
        pub.Start();
        pub.OnCycle(Cycle(1));
        ASSERT_TRUE(sub.WaitFor("orvex/2101/input1", 1));
        EXPECT_EQ(sub.On("orvex/2101/input1")[0].payload, ExpectedInput1(1));
    }
    for (const auto& [ca, pw, failure] :
         {std::tuple{"ca.crt", "bad.pw", MqttFailure::BadCredentials},
          std::tuple{"other.crt", "good.pw", MqttFailure::TlsCertificate}}) {
        EventLog log;
        MqttPublisher::Options o = Options(0);
        o.settings = TlsSettings(broker, ca, pw);
        o.settingsFolder = dir / ca;
        fs::create_directories(o.settingsFolder);
        o.onEvent = [&log](const MqttEvent& e) { log.Add(e); };
        MqttPublisher pub(o);
        pub.Start();
        pub.OnCycle(Cycle(1));
        ASSERT_TRUE(log.WaitFor(Type::Failed, failure)) << ca << " " << pw;
        // Watching the retries for a while is the point here.
        std::this_thread::sleep_for(milliseconds(2500));
        pub.Stop();
        EXPECT_EQ(log.Size(), 1u) << ca << " " << pw;
        // 100 ms doubling to 1 s: about 6 attempts in 2.5 s; a storm would make hundreds.
        EXPECT_GE(pub.GetStats().connectAttempts, 3u);
        EXPECT_LE(pub.GetStats().connectAttempts, 8u);
        EXPECT_EQ(pub.GetStats().queued, 1u);
    }
}

TEST_F(MqttBrokerTest, AlarmCommandsAreTakenOverTlsWithAUserAndTheCheckNamesARefusal) {
    MakeCertificates();
    Broker broker(dir / "broker", TlsBroker());
    ASSERT_TRUE(broker.Start());
    const std::string result = "orvex/2101/alarms/result";
    const std::string internalSwitch =
        "homeassistant/switch/orvex_2101_alarm_internal_switch/config";
    Subscriber sub(broker.Port(), {"orvex/#", "homeassistant/#"}, "tls-sub", true, "orvex",
                   "goodpass");
    ASSERT_TRUE(sub.WaitConnected());
    MqttPublisher::Options o = Options(0);
    o.settings = TlsSettings(broker, "ca.crt", "good.pw");
    o.settings.commands = true;
    MqttPublisher pub(o);
    pub.Start();
    pub.OnCycle(Cycle(1));
    pub.OnAlarmState({1, 0});
    ASSERT_TRUE(sub.WaitFor(internalSwitch, 1));
    ASSERT_TRUE(sub.WaitFor("orvex/2101/alarms", 1));
    {
        Subscriber late(broker.Port(), {"orvex/2101/alarms"}, "late", true, "orvex", "goodpass");
        ASSERT_TRUE(late.WaitFor("orvex/2101/alarms", 1));
        EXPECT_TRUE(late.On("orvex/2101/alarms")[0].retained);
    }
    EXPECT_EQ(events.Count(Type::CommandsRefused), 0u);
    // Subscribed: a command is answered (this owner carries out none).
    sub.Publish("orvex/2101/alarms/set", R"({"external": 1})");
    ASSERT_TRUE(sub.WaitFor(result, 1));
    EXPECT_NE(
        sub.On(result)[0].payload.find(R"("command": {"external": 1}, "result": "refused", )"
                                       R"("message": "ten program nie wykonuje poleceń alarmów")"),
        std::string::npos)
        << sub.On(result)[0].payload;
    // An answer from the owner is published as it comes.
    AlarmAnswer answer;
    answer.command = AlarmCommand{1, std::nullopt};
    answer.state = {1, 0};
    pub.OnAlarmAnswer(answer);
    ASSERT_TRUE(sub.WaitFor(result, 2));
    EXPECT_NE(sub.On(result)[1].payload.find(R"("result": "ok")"), std::string::npos);

    MqttSettings plain;
    plain.host = "127.0.0.1";
    plain.port = broker.Port();
    plain.username = "orvex";
    plain.passwordFile = (dir / "good.pw").string();
    plain.commands = true;
    fs::permissions(dir / "good.pw", fs::perms::owner_read | fs::perms::owner_write);
    const MqttCheckResult check = CheckMqttConnection(plain, dir / "settings", 5s);
    EXPECT_EQ(check.failure, MqttFailure::None);
    ASSERT_EQ(check.warnings.size(), 1u);
    EXPECT_NE(check.warnings[0].find("[MQTT] COMMANDS: polecenia alarmów odrzucone"),
              std::string::npos);
    EXPECT_NE(check.warnings[0].find("TLS=0"), std::string::npos);
    plain.commandsInsecure = true;
    EXPECT_TRUE(CheckMqttConnection(plain, dir / "settings", 5s).warnings.empty());
}

TEST_F(MqttBrokerTest, QueueIsBoundedAndSurvivesARestartDuringAnOutage) {
    const int port = FreePort();
    MqttPublisher::Options o = Options(port);
    o.queueCapacity = 5;
    {
        MqttPublisher pub(o);
        pub.Start();
        for (int n = 0; n < 20; ++n) {
            pub.OnCycle(Cycle(n));
        }
        ASSERT_TRUE(Eventually([&] { return pub.GetStats().dropped == 15; }));
        EXPECT_EQ(pub.GetStats().queued, 5u);
        // Told when dropping starts; within the minute no more.
        EXPECT_EQ(events.Count(Type::Dropped), 1u);
        // The refused connection is reported from the network thread, maybe after the drops.
        ASSERT_TRUE(events.WaitFor(Type::Failed, MqttFailure::ConnectionRefused));
        EXPECT_EQ(events.Count(Type::Failed, MqttFailure::ConnectionRefused), 1u);
    }
    // The stop tells the true total, not the first drop's count (unless that was all).
    ASSERT_LE(events.Count(Type::Dropped), 2u);
    EXPECT_EQ(events.Of(Type::Dropped).back().dropped, 15u);
    EXPECT_LE(fs::file_size(dir / "settings" / MqttPublisher::kQueueFile), 64u + 5u * 512u);

    Broker::Config config;
    config.port = port;
    Broker broker(dir / "broker", config);
    ASSERT_TRUE(broker.Start());
    Subscriber sub(broker.Port(), {"orvex/2101/input1"});
    ASSERT_TRUE(sub.WaitConnected());
    MqttPublisher pub(o);
    pub.Start();
    // The queue is still full: the new cycle pushes out the oldest.
    pub.OnCycle(Cycle(20));
    ASSERT_TRUE(sub.WaitFor("orvex/2101/input1", 5));
    std::vector<std::string> expected;
    for (int n = 16; n <= 20; ++n) {
        expected.push_back(ExpectedInput1(n));
    }
    EXPECT_EQ(Payloads(sub.On("orvex/2101/input1")), expected);
    ASSERT_TRUE(Eventually([&] { return pub.GetStats().queued == 0; }));
    EXPECT_EQ(pub.GetStats().dropped, 16u);
}

TEST_F(MqttBrokerTest, DropsAreReportedAgainWhileTheyGrowAtTheGivenPace) {
    MqttPublisher::Options o = Options(FreePort());
    o.queueCapacity = 5;
    o.dropReportInterval = milliseconds(0);
    MqttPublisher pub(o);
    pub.Start();
    for (int n = 0; n < 70; ++n) {
        pub.OnCycle(Cycle(n));
    }
    ASSERT_TRUE(Eventually([&] { return pub.GetStats().dropped == 65; }));
    pub.Stop();
    const auto drops = events.Of(Type::Dropped);
    ASSERT_FALSE(drops.empty());
    EXPECT_EQ(drops.back().dropped, 65u);
    for (std::size_t i = 1; i < drops.size(); ++i) {
        EXPECT_GT(drops[i].dropped, drops[i - 1].dropped);
    }
}

TEST_F(MqttBrokerTest, UnusableSettingsAreRefusedNotReplaced) {
    MqttPublisher::Options o = Options(FreePort());
    o.settings.topicPrefix = "zaklad/site1/";
    MqttPublisher pub(o);
    pub.Start();
    pub.OnCycle(Cycle(1));
    ASSERT_TRUE(events.WaitFor(Type::Failed, MqttFailure::Settings));
    EXPECT_NE(events.Of(Type::Failed)[0].detail.find("TOPIC_PREFIX"), std::string::npos);
    ASSERT_TRUE(Eventually([&] { return pub.GetStats().queued == 1; }));
    pub.Stop();
    EXPECT_EQ(pub.GetStats().connectAttempts, 0u);
    EXPECT_EQ(pub.GetStats().lastFailure, MqttFailure::Settings);
    MqttSettings bad;
    bad.clientId = std::string(300, 'c');
    EXPECT_EQ(CheckMqttConnection(bad, dir / "settings", 1s).failure, MqttFailure::Settings);
}

// The broker's access rules let the status through but not the readings: MQTT 5 shows the
// refusal, and the cycles wait in the queue until the rules change.
TEST_F(MqttBrokerTest, RefusedPublishKeepsTheCyclesQueuedAndIsToldOnce) {
    const fs::path acl = dir / "acl";
    std::ofstream(acl) << "topic read #\ntopic readwrite site2/+/status\n"
                          "topic readwrite site2/+/diagnostics\ntopic readwrite homeassistant/#\n";
    Broker::Config config;
    config.aclFile = acl;
    Broker broker(dir / "broker", config);
    ASSERT_TRUE(broker.Start());
    Subscriber sub(broker.Port(), {"site2/#"});
    ASSERT_TRUE(sub.WaitConnected());
    MqttPublisher::Options o = Options(broker.Port());
    o.settings.topicPrefix = "site2";
    MqttPublisher pub(o);
    pub.Start();
    for (int n = 0; n < 5; ++n) {
        pub.OnCycle(Cycle(n));
    }
    ASSERT_TRUE(events.WaitFor(Type::PublishRefused, MqttFailure::PublishRefused));
    EXPECT_EQ(events.Of(Type::PublishRefused)[0].detail.rfind("site2/2101/input", 0), 0u);
    EXPECT_EQ(events.Of(Type::PublishRefused)[0].original, "0x87");
    EXPECT_TRUE(pub.GetStats().mqtt5);
    EXPECT_EQ(pub.GetStats().queued, 5u);
    EXPECT_EQ(pub.GetStats().cyclesDelivered, 0u);
    // A few retries later still told once, and nothing lost.
    ASSERT_TRUE(Eventually([&] { return pub.GetStats().connectAttempts >= 3; }));
    EXPECT_EQ(events.Count(Type::PublishRefused), 1u);
    EXPECT_EQ(pub.GetStats().queued, 5u);
    EXPECT_TRUE(sub.On("site2/2101/input1").empty());

    std::ofstream(acl)
        << "topic read #\ntopic readwrite site2/#\ntopic readwrite homeassistant/#\n";
    ASSERT_TRUE(broker.Reload());
    ASSERT_TRUE(sub.WaitFor("site2/2101/input1", 5, 15000));
    std::vector<std::string> expected;
    for (int n = 0; n < 5; ++n) {
        expected.push_back(ExpectedInput1(n));
    }
    const auto got = Payloads(sub.On("site2/2101/input1"));
    EXPECT_EQ(std::vector<std::string>(got.begin(), got.begin() + 5), expected);
    ASSERT_TRUE(Eventually([&] { return pub.GetStats().queued == 0; }));
    EXPECT_EQ(pub.GetStats().dropped, 0u);
}

TEST_F(MqttBrokerTest, QueueFileThatCannotBeUsedIsToldAtStartAndByTheCheck) {
    fs::create_directories(dir / "settings" / MqttPublisher::kQueueFile);  // not a file
    const std::string problem = QueueFileProblem(dir / "settings");
    EXPECT_NE(problem.find(MqttPublisher::kQueueFile), std::string::npos);
    EXPECT_NE(problem.find("to nie jest zwykły plik"), std::string::npos);
    EXPECT_EQ(QueueFileProblem(dir), "");
    MqttPublisher pub(Options(FreePort()));
    pub.Start();
    ASSERT_TRUE(events.WaitFor(Type::QueueNotOnDisk));
    EXPECT_NE(events.Of(Type::QueueNotOnDisk)[0].detail.find(MqttPublisher::kQueueFile),
              std::string::npos);
    pub.OnCycle(Cycle(1));
    ASSERT_TRUE(Eventually([&] { return pub.GetStats().queued == 1; }));
}

// The settings folder on a small file system that fills during an outage: the cycles the disk
// refuses are held in memory, the failure is told once, and all arrive in order.
TEST_F(MqttBrokerTest, FullDiskDuringAnOutageLosesNoCycle) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "mounting a small file system needs root";
    }
    const fs::path small = dir / "small";
    fs::create_directories(small);
    ASSERT_TRUE(::Run("mount -t tmpfs -o size=16k tmpfs " + small.string()));
    struct Unmount {
        fs::path path;
        ~Unmount() { ::Run("umount " + path.string()); }
    } unmount{small};
    Broker::Config config;
    config.persistence = true;
    Broker broker(dir / "broker", config);
    ASSERT_TRUE(broker.Start());
    {
        Subscriber sub(broker.Port(), {"orvex/2101/input1"}, "full-sub", false);
        ASSERT_TRUE(sub.WaitConnected());
    }
    broker.Stop();
    MqttPublisher::Options o = Options(broker.Port());
    o.settingsFolder = small;
    MqttPublisher pub(o);
    pub.Start();
    constexpr int kCycles = 120;
    for (int n = 0; n < kCycles; ++n) {
        pub.OnCycle(Cycle(n));
    }
    ASSERT_TRUE(Eventually([&] { return pub.GetStats().queued == kCycles; }));
    ASSERT_TRUE(events.WaitFor(Type::QueueWriteFailed));
    EXPECT_EQ(events.Count(Type::QueueWriteFailed), 1u);
    EXPECT_NE(events.Of(Type::QueueWriteFailed)[0].detail.find("brak miejsca na dysku"),
              std::string::npos);
    EXPECT_GT(pub.GetStats().queueWriteFailures, 0u);
    ASSERT_TRUE(broker.Start());
    Subscriber sub(broker.Port(), {"orvex/2101/input1"}, "full-sub", false);
    ASSERT_TRUE(sub.WaitFor("orvex/2101/input1", kCycles, 30000));
    std::vector<std::string> expected;
    for (int n = 0; n < kCycles; ++n) {
        expected.push_back(ExpectedInput1(n));
    }
    EXPECT_EQ(Payloads(sub.On("orvex/2101/input1")), expected);
    ASSERT_TRUE(Eventually([&] { return pub.GetStats().queued == 0; }));
    EXPECT_EQ(pub.GetStats().dropped, 0u);
}

TEST_F(MqttBrokerTest, SilenceFollowsWhenCyclesStopComing) {
    Broker broker(dir / "broker", {});
    ASSERT_TRUE(broker.Start());
    Subscriber sub(broker.Port(), {"orvex/2101/status"});
    ASSERT_TRUE(sub.WaitConnected());
    MqttPublisher pub(Options(broker.Port()));
    pub.Start();
    pub.OnCycle(Cycle(1));
    pub.OnCycle(Cycle(2));
    ASSERT_TRUE(sub.WaitFor("orvex/2101/status", 1));
    EXPECT_EQ(sub.On("orvex/2101/status")[0].payload, "online");
    // No further cycle: the polling has stopped, and "online" must not stand.
    ASSERT_TRUE(sub.WaitFor("orvex/2101/status", 2, 15000));
    EXPECT_EQ(sub.On("orvex/2101/status")[1].payload, "silent");
}

TEST_F(MqttBrokerTest, ServerThatIsNoBrokerAndBadTlsFilesAreNamedInPolish) {
    // Answers like a web server.
    uint16_t port = 0;
    const int listener = LoopbackListener(port);
    ASSERT_GE(listener, 0);
    std::thread web([listener] {
        const int c = accept(listener, nullptr, nullptr);
        if (c >= 0) {
            char buffer[256];
            [[maybe_unused]] const ssize_t r = read(c, buffer, sizeof buffer);
            const char reply[] = "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n";
            [[maybe_unused]] const ssize_t w = write(c, reply, sizeof reply - 1);
            close(c);
        }
    });
    MqttSettings s;
    s.host = "127.0.0.1";
    s.port = port;
    const MqttCheckResult web1 = CheckMqttConnection(s, dir / "settings", 5s);
    web.join();
    close(listener);
    EXPECT_EQ(web1.failure, MqttFailure::NotBroker) << web1.original;

    s.tls = true;
    s.caFile = (dir / "missing.crt").string();
    MqttCheckResult tls = CheckMqttConnection(s, dir / "settings", 5s);
    EXPECT_EQ(tls.failure, MqttFailure::TlsFiles);
    EXPECT_EQ(tls.detail, "plik CA „" + s.caFile + "” nie istnieje");
    std::ofstream(dir / "text.crt") << "not a certificate\n";
    s.caFile = (dir / "text.crt").string();
    tls = CheckMqttConnection(s, dir / "settings", 5s);
    EXPECT_EQ(tls.failure, MqttFailure::TlsFiles);
    EXPECT_NE(tls.detail.find("PEM"), std::string::npos);
    // Every text shown is Polish: no English from the library.
    for (const MqttCheckResult& r : {web1, tls}) {
        const std::string shown = MqttFailureText(r.failure, r.detail);
        EXPECT_EQ(shown.find("Success"), std::string::npos) << shown;
        EXPECT_EQ(shown.find("Invalid"), std::string::npos) << shown;
    }
}

TEST_F(MqttBrokerTest, ConfigsOfAnEarlierRunThatNoLongerFitAreRemovedAtConnect) {
    Broker broker(dir / "broker", {});
    ASSERT_TRUE(broker.Start());
    const std::string humidity2 = "homeassistant/sensor/orvex_2101_in2_humidity/config";
    const std::string humidity1 = "homeassistant/sensor/orvex_2101_in1_humidity/config";
    {
        Subscriber sub(broker.Port(), {"homeassistant/#"});
        ASSERT_TRUE(sub.WaitConnected());
        MqttPublisher pub(Options(broker.Port()));
        pub.Start();
        PollingCycle c = Cycle(1);
        c.readings[1] = MakeReading(ModelTQ21, 502, {300, 250});
        pub.OnCycle(c);
        ASSERT_TRUE(sub.WaitFor(humidity2, 1));
    }
    // Input 2 was emptied while the program was stopped.
    Subscriber sub(broker.Port(), {"homeassistant/#"});
    ASSERT_TRUE(sub.WaitFor(humidity2, 1));  // the retained config
    MqttPublisher pub(Options(broker.Port()));
    pub.Start();
    pub.OnCycle(Cycle(2));
    ASSERT_TRUE(sub.WaitFor(humidity2, 2));
    EXPECT_EQ(sub.On(humidity2)[1].payload, "");
    Subscriber late(broker.Port(), {"homeassistant/#"}, "late");
    ASSERT_TRUE(late.WaitFor(humidity1, 1));
    EXPECT_TRUE(late.On(humidity2).empty());
    EXPECT_TRUE(late.On("homeassistant/sensor/orvex_2101_in2_temperature/config").empty());
}

TEST_F(MqttBrokerTest, TwoPrefixesWithOneSerialKeepTheirOwnDevices) {
    Broker broker(dir / "broker", {});
    ASSERT_TRUE(broker.Start());
    std::vector<std::unique_ptr<MqttPublisher>> pubs;
    for (const char* site : {"zaklad/site1", "zaklad/site2"}) {
        MqttPublisher::Options o = Options(broker.Port());
        o.settings.topicPrefix = site;
        o.settingsFolder = dir / site;
        fs::create_directories(o.settingsFolder);
        pubs.push_back(std::make_unique<MqttPublisher>(o));
        pubs.back()->Start();
        pubs.back()->OnCycle(Cycle(1));
    }
    Subscriber late(broker.Port(), {"homeassistant/#"}, "late");
    const std::string site1 = "homeassistant/sensor/orvex_zaklad_site1_2101_in1_humidity/config";
    const std::string site2 = "homeassistant/sensor/orvex_zaklad_site2_2101_in1_humidity/config";
    ASSERT_TRUE(late.WaitFor(site1, 1));
    ASSERT_TRUE(late.WaitFor(site2, 1));
    EXPECT_NE(late.On(site1)[0].payload.find(R"("state_topic": "zaklad/site1/2101/input1")"),
              std::string::npos);
    EXPECT_NE(late.On(site2)[0].payload.find(R"("state_topic": "zaklad/site2/2101/input1")"),
              std::string::npos);
}

TEST_F(MqttBrokerTest, InputsAndDiscoverySwitchesLimitWhatIsPublished) {
    Broker broker(dir / "broker", {});
    ASSERT_TRUE(broker.Start());
    Subscriber sub(broker.Port(), {"orvex/#", "homeassistant/#"});
    ASSERT_TRUE(sub.WaitConnected());
    MqttPublisher::Options o = Options(broker.Port());
    o.settings.inputs = "10111111";
    o.settings.discovery = false;
    MqttPublisher pub(o);
    pub.Start();
    pub.OnCycle(Cycle(1));
    ASSERT_TRUE(sub.WaitFor("orvex/2101/input8", 1));
    ASSERT_TRUE(Eventually([&] { return pub.GetStats().queued == 0; }));
    EXPECT_EQ(sub.On("orvex/2101/input1").size(), 1u);
    EXPECT_TRUE(sub.On("orvex/2101/input2").empty());
    for (const auto& m : sub.All()) {
        EXPECT_NE(m.topic.rfind("homeassistant/", 0), 0u) << m.topic;
    }
}

// A broker of MQTT 3.1.1 only: it refuses an MQTT 5 CONNECT with the 3.1.1 answer
// "unacceptable protocol version", and acknowledges every QoS 1 publish.
class Broker311 {
public:
    Broker311() {
        listener_ = LoopbackListener(port_);
        thread_ = std::thread([this] { Serve(); });
    }
    ~Broker311() {
        shutdown(listener_, SHUT_RDWR);
        close(listener_);
        thread_.join();
    }
    int Port() const { return port_; }
    bool WaitFor(const std::string& topic, std::size_t count) {
        std::unique_lock guard(mutex_);
        return changed_.wait_for(guard, seconds(10), [&] {
            return std::count(topics_.begin(), topics_.end(), topic) >= static_cast<long>(count);
        });
    }
    std::vector<int> Levels() {
        std::lock_guard guard(mutex_);
        return levels_;
    }

private:
    static bool ReadAll(int fd, unsigned char* p, std::size_t n) {
        while (n > 0) {
            const ssize_t r = read(fd, p, n);
            if (r <= 0) {
                return false;
            }
            p += r;
            n -= static_cast<std::size_t>(r);
        }
        return true;
    }
    static void Send(int fd, std::initializer_list<unsigned char> bytes) {
        const std::vector<unsigned char> v(bytes);
        [[maybe_unused]] const ssize_t w = write(fd, v.data(), v.size());
    }
    void Serve() {
        for (;;) {
            const int c = accept(listener_, nullptr, nullptr);
            if (c < 0) {
                return;
            }
            for (;;) {
                unsigned char type = 0;
                std::size_t length = 0;
                int shift = 0;
                unsigned char b = 0x80;
                if (!ReadAll(c, &type, 1)) {
                    break;
                }
                while ((b & 0x80) != 0 && ReadAll(c, &b, 1)) {
                    length |= static_cast<std::size_t>(b & 0x7F) << shift;
                    shift += 7;
                }
                std::vector<unsigned char> body(length);
                if (length > 0 && !ReadAll(c, body.data(), length)) {
                    break;
                }
                if (type == 0x10) {
                    const int level = body.size() > 6 ? body[6] : 0;
                    {
                        std::lock_guard guard(mutex_);
                        levels_.push_back(level);
                    }
                    if (level != 4) {
                        Send(c, {0x20, 0x02, 0x00, 0x01});
                        break;
                    }
                    Send(c, {0x20, 0x02, 0x00, 0x00});
                } else if ((type & 0xF0) == 0x30) {
                    const std::size_t topicLength = (body[0] << 8) | body[1];
                    const std::string topic(body.begin() + 2, body.begin() + 2 + topicLength);
                    if ((type & 0x06) != 0) {
                        Send(c, {0x40, 0x02, body[2 + topicLength], body[3 + topicLength]});
                    }
                    std::lock_guard guard(mutex_);
                    topics_.push_back(topic);
                    changed_.notify_all();
                } else if (type == 0x82) {
                    Send(c, {0x90, 0x03, body[0], body[1], 0x00});
                } else if (type == 0xC0) {
                    Send(c, {0xD0, 0x00});
                } else if (type == 0xE0) {
                    break;
                }
            }
            close(c);
        }
    }
    int listener_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> topics_;
    std::vector<int> levels_;
};

TEST_F(MqttBrokerTest, BrokerWithoutMqtt5IsSpokenToIn311) {
    Broker311 broker;
    MqttPublisher pub(Options(broker.Port()));
    pub.Start();
    pub.OnCycle(Cycle(1));
    pub.OnCycle(Cycle(2));
    ASSERT_TRUE(broker.WaitFor("orvex/2101/input1", 2));
    ASSERT_TRUE(Eventually([&] { return pub.GetStats().queued == 0; }));
    EXPECT_FALSE(pub.GetStats().mqtt5);
    EXPECT_EQ(broker.Levels(), (std::vector<int>{5, 4}));
    EXPECT_EQ(events.Count(Type::Failed), 0u);
    pub.Stop();  // the fake serves one connection at a time
    MqttSettings s;
    s.host = "127.0.0.1";
    s.port = broker.Port();
    EXPECT_EQ(CheckMqttConnection(s, dir / "settings", 5s).failure, MqttFailure::None);
}

TEST_F(MqttBrokerTest, DiagnosticsAreRetainedAndFollowTheDeviceAtOnce) {
    Broker broker(dir / "broker", {});
    ASSERT_TRUE(broker.Start());
    const std::string topic = "orvex/2101/diagnostics";
    Subscriber sub(broker.Port(), {topic, "homeassistant/sensor/orvex_2101_diag_device/config"});
    ASSERT_TRUE(sub.WaitConnected());
    MqttPublisher pub(Options(broker.Port()));
    pub.Start();
    pub.OnCycle(Cycle(1));
    ASSERT_TRUE(sub.WaitFor(topic, 1));
    EXPECT_TRUE(sub.WaitFor("homeassistant/sensor/orvex_2101_diag_device/config", 1));
    EXPECT_NE(sub.On(topic)[0].payload.find(R"("device": "responding")"), std::string::npos);
    PollingCycle silent;
    silent.time = kStart + seconds(2);
    pub.OnCycle(silent);
    ASSERT_TRUE(sub.WaitFor(topic, 2));
    EXPECT_NE(sub.On(topic).back().payload.find(R"("device": "silent")"), std::string::npos);
    Subscriber late(broker.Port(), {topic}, "late");
    ASSERT_TRUE(late.WaitFor(topic, 1));
    EXPECT_TRUE(late.On(topic)[0].retained);
}

TEST_F(MqttBrokerTest, StopDoesNotWaitForABrokerThatNeverAnswers) {
    // Takes the connection (the kernel completes it) but never says a word.
    uint16_t port = 0;
    const int listener = LoopbackListener(port);
    ASSERT_GE(listener, 0);
    MqttPublisher pub(Options(port));
    pub.Start();
    pub.OnCycle(Cycle(1));
    ASSERT_TRUE(Eventually([&] { return pub.GetStats().connectAttempts >= 1; }));
    pub.Stop();  // returns: a hang here fails the test by its time-out
    EXPECT_FALSE(pub.GetStats().connected);
    EXPECT_EQ(pub.GetStats().queued, 1u);
    close(listener);
}

}  // namespace
