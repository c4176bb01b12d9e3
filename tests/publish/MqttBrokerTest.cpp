#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

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
        EXPECT_EQ(events.Count(Type::Dropped), 1u);
        // The refused connection is reported from the network thread, maybe after the drops.
        ASSERT_TRUE(events.WaitFor(Type::Failed, MqttFailure::ConnectionRefused));
        EXPECT_EQ(events.Count(Type::Failed, MqttFailure::ConnectionRefused), 1u);
    }
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

TEST_F(MqttBrokerTest, StopDoesNotWaitForABrokerThatNeverAnswers) {
    // Takes the connection (the kernel completes it) but never says a word.
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    MqttPublisher pub(Options(ntohs(a.sin_port)));
    pub.Start();
    pub.OnCycle(Cycle(1));
    ASSERT_TRUE(Eventually([&] { return pub.GetStats().connectAttempts >= 1; }));
    pub.Stop();  // returns: a hang here fails the test by its time-out
    EXPECT_FALSE(pub.GetStats().connected);
    EXPECT_EQ(pub.GetStats().queued, 1u);
    close(listener);
}

}  // namespace
