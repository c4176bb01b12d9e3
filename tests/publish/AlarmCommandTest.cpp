// The alarms over MQTT end to end: orvex-sim behind the real driver, a real mosquitto, the
// publisher and the alarm service wired as both programs wire them.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>

#include "publish/AlarmService.h"
#include "publish/MqttPublisher.h"
#include "tests/device/DriverHarness.h"
#include "tests/publish/Broker.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The simulator's default serial.
constexpr uint16_t kSerial = 1234;
const std::string kAlarms = "orvex/1234/alarms";
const std::string kSet = "orvex/1234/alarms/set";
const std::string kResult = "orvex/1234/alarms/result";
const std::string kHaStatus = "homeassistant/status";

class AlarmCommandTest : public DriverHarness {
protected:
    void SetUp() override {
        DriverHarness::SetUp();
        broker = std::make_unique<Broker>(folder / "broker", Broker::Config{});
        ASSERT_TRUE(broker->Start());
        fs::create_directories(folder / "settings");
    }

    void TearDown() override {
        if (driver && listener != 0) {
            driver->RemoveCycleListener(listener);
        }
        // As the owners do: nothing calls the service once the publisher has stopped.
        if (alarms) {
            alarms->Stop();
            publisher->Stop();
        }
        alarms.reset();
        publisher.reset();
        broker.reset();
        DriverHarness::TearDown();
    }

    MqttSettings Settings(bool commands, bool insecure) {
        MqttSettings s;
        s.enabled = true;
        s.host = "127.0.0.1";
        s.port = broker->Port();
        s.keepalive = 10;
        s.commands = commands;
        s.commandsInsecure = insecure;
        return s;
    }

    // As the window and the recorder wire them.
    void StartPublishing(const MqttSettings& settings) {
        MqttPublisher::Options o;
        o.settings = settings;
        o.settingsFolder = folder / "settings";
        o.swVersion = "test";
        o.minBackoff = 100ms;
        o.maxBackoff = 1000ms;
        o.onEvent = [this](const MqttEvent& e) {
            std::lock_guard guard(eventMutex);
            events.push_back(e);
        };
        o.onAlarmCommand = [this](const AlarmCommand& c) {
            ++submitted;
            alarms->Submit(c);
        };
        publisher = std::make_unique<MqttPublisher>(o);
        // A short pace keeps the test short; nothing waits for it to pass.
        alarms = std::make_unique<AlarmService>(*driver, *publisher, AlarmService::Options{200ms});
        publisher->Start();
        alarms->Start();
        MqttPublisher* target = publisher.get();
        listener =
            driver->AddCycleListener([target](const PollingCycle& c) { target->OnCycle(c); });
    }

    std::vector<MqttEvent> Events(MqttEvent::Type type) {
        std::lock_guard guard(eventMutex);
        std::vector<MqttEvent> out;
        for (const MqttEvent& e : events) {
            if (e.type == type) {
                out.push_back(e);
            }
        }
        return out;
    }

    // The driver's own read of the registers, as the dialog would see them (2 stays 2).
    std::pair<int, int> DeviceAlarms() {
        uint8_t enables[2] = {9, 9};
        EXPECT_EQ(driver->ReadAlarms(enables), 0);
        return {enables[0], enables[1]};
    }

    // Sends a command and, behind it, Home Assistant's "online", which makes the publisher send
    // its configs again. The broker hands a client's messages on in order, so once the configs
    // are back, an answer to the command would have come before them.
    void CommandThenHaOnline(Subscriber& sub, const std::string& payload,
                             const std::string& configTopic) {
        const std::size_t before = sub.On(configTopic).size();
        sub.Publish(kSet, payload);
        sub.Publish(kHaStatus, "online");
        ASSERT_TRUE(sub.WaitFor(configTopic, before + 1));
    }

    std::unique_ptr<Broker> broker;
    std::unique_ptr<MqttPublisher> publisher;
    std::unique_ptr<AlarmService> alarms;
    int listener = 0;
    std::atomic<int> submitted{0};
    std::mutex eventMutex;
    std::vector<MqttEvent> events;
};

const std::string kInternalSensor = "homeassistant/binary_sensor/orvex_1234_alarm_internal/config";
const std::string kInternalSwitch = "homeassistant/switch/orvex_1234_alarm_internal_switch/config";

TEST_F(AlarmCommandTest, StatesArePublishedRetainedAndWithoutCommandsNothingIsTaken) {
    StartSim("device serial=1234\nreg 6 2\nreg 7 0\n");
    StartDriver();
    Subscriber sub(broker->Port(), {"orvex/#", "homeassistant/#"});
    ASSERT_TRUE(sub.WaitConnected());
    StartPublishing(Settings(false, false));

    // The device's 2 is on, as in the dialog.
    ASSERT_TRUE(sub.WaitFor(kAlarms, 1));
    EXPECT_NE(sub.On(kAlarms)[0].payload.find(R"("internal": 1, "external": 0})"),
              std::string::npos)
        << sub.On(kAlarms)[0].payload;
    ASSERT_TRUE(sub.WaitFor(kInternalSensor, 1));
    EXPECT_EQ(sub.On(kInternalSensor)[0].payload,
              AlarmsDiscovery({"orvex", kSerial, "test"}, false)[0].second);
    {
        Subscriber late(broker->Port(), {kAlarms}, "late");
        ASSERT_TRUE(late.WaitFor(kAlarms, 1));
        EXPECT_TRUE(late.On(kAlarms)[0].retained);
    }

    // A change made behind the program's back shows at the next read.
    sim->Command("reg 7 1");
    ASSERT_TRUE(WaitUntil([&] {
        for (const auto& m : sub.On(kAlarms)) {
            if (m.payload.find(R"("internal": 1, "external": 1})") != std::string::npos) {
                return true;
            }
        }
        return false;
    }));

    // COMMANDS off: not subscribed, so neither a valid nor an invalid command is answered, and
    // nothing is written.
    sim->ClearLog();
    CommandThenHaOnline(sub, R"({"internal": 0})", kInternalSensor);
    CommandThenHaOnline(sub, "{}", kInternalSensor);
    EXPECT_TRUE(sub.On(kResult).empty());
    EXPECT_EQ(Count(Requests(), "6 6 0"), 0);
    EXPECT_EQ(DeviceAlarms(), std::make_pair(2, 1));
    EXPECT_TRUE(sub.On(kInternalSwitch).empty());
    EXPECT_TRUE(Events(MqttEvent::Type::CommandsRefused).empty());

    // A silent device: the state is taken back (null), never left standing as current.
    sim->Command("fault exception");
    ASSERT_TRUE(WaitUntil([&] {
        return sub.On(kAlarms).back().payload.find(R"("internal": null, "external": null})") !=
               std::string::npos;
    }));
}

TEST_F(AlarmCommandTest, CommandSetsTheAlarmAsTheDialogDoesAndTheDeviceAnswers) {
    StartSim("device serial=1234\nreg 6 0\nreg 7 2\n");
    StartDriver();
    Subscriber sub(broker->Port(), {"orvex/#", "homeassistant/#"});
    ASSERT_TRUE(sub.WaitConnected());
    // A command the broker kept: handed over at the connect, it would act at every connect.
    sub.Publish(kSet, R"({"internal": 1})", true);
    StartPublishing(Settings(true, true));
    ASSERT_TRUE(sub.WaitFor(kResult, 1));
    EXPECT_NE(sub.On(kResult)[0].payload.find(
                  R"("command": {"internal": 1}, "result": "refused", )"
                  R"("message": "polecenie zachowane przez broker (retain) nie jest wykonywane")"),
              std::string::npos)
        << sub.On(kResult)[0].payload;
    sub.Publish(kSet, "", true);  // removed; as a live message it is no command
    ASSERT_TRUE(sub.WaitFor(kResult, 2));
    EXPECT_NE(sub.On(kResult)[1].payload.find(R"("command": null, "result": "refused")"),
              std::string::npos);
    EXPECT_EQ(DeviceAlarms(), std::make_pair(0, 2));
    ASSERT_TRUE(sub.WaitFor(kInternalSwitch, 1));
    EXPECT_EQ(sub.On(kInternalSwitch)[0].payload,
              AlarmsDiscovery({"orvex", kSerial, "test"}, true)[2].second);
    sub.Clear();

    sub.Publish(kSet, R"({"internal": 1})");
    ASSERT_TRUE(sub.WaitFor(kResult, 1));
    const std::string answer = sub.On(kResult)[0].payload;
    EXPECT_NE(answer.find(R"("command": {"internal": 1}, "result": "ok", "message": null, )"
                          R"("internal": 1, "external": 1})"),
              std::string::npos)
        << answer;
    EXPECT_FALSE(sub.On(kResult)[0].retained);
    // Both written, the external one as read (2 as 1), as the dialog's OK does.
    EXPECT_EQ(DeviceAlarms(), std::make_pair(1, 1));
    EXPECT_NE(sub.On(kAlarms).back().payload.find(R"("internal": 1, "external": 1})"),
              std::string::npos);

    sub.Publish(kSet, R"({"external": 0, "internal": 0})");
    ASSERT_TRUE(sub.WaitFor(kResult, 2));
    EXPECT_NE(sub.On(kResult)[1].payload.find(R"("result": "ok")"), std::string::npos);
    EXPECT_EQ(DeviceAlarms(), std::make_pair(0, 0));

    // Refused before the device is asked: a value out of range, a payload that is no command.
    sim->ClearLog();
    sub.Publish(kSet, R"({"internal": 3})");
    ASSERT_TRUE(sub.WaitFor(kResult, 3));
    EXPECT_NE(sub.On(kResult)[2].payload.find(
                  R"("command": null, "result": "refused", "message": "wartość spoza zakresu: )"
                  R"x(internal = 3 (dozwolone 0 lub 1)")x"),
              std::string::npos)
        << sub.On(kResult)[2].payload;
    sub.Publish(kSet, "ON");
    ASSERT_TRUE(sub.WaitFor(kResult, 4));
    EXPECT_NE(sub.On(kResult)[3].payload.find(R"("result": "refused", "message": "niepoprawne)"),
              std::string::npos);
    EXPECT_EQ(Count(Requests(), "6 6 1"), 0);
    EXPECT_EQ(DeviceAlarms(), std::make_pair(0, 0));
    EXPECT_EQ(Events(MqttEvent::Type::AlarmCommandAnswered).size(), 6u);

    // A device that cannot be read is not written: the dialog's message, and nothing current.
    sim->Command("fault exception");
    sub.Publish(kSet, R"({"internal": 1})");
    ASSERT_TRUE(sub.WaitFor(kResult, 5, 20000));
    EXPECT_NE(sub.On(kResult)[4].payload.find(
                  R"("result": "failed", "message": "Nie można odczytać ustawień alarmów", )"
                  R"("internal": null, "external": null})"),
              std::string::npos)
        << sub.On(kResult)[4].payload;
    sim->Command("fault none");
    EXPECT_EQ(DeviceAlarms(), std::make_pair(0, 0));
}

TEST_F(AlarmCommandTest, CommandsOverPlainConnectionWithoutUserAreRefusedPublishingGoesOn) {
    StartSim("device serial=1234\nreg 6 1\n");
    StartDriver();
    Subscriber sub(broker->Port(), {"orvex/#", "homeassistant/#"});
    ASSERT_TRUE(sub.WaitConnected());
    StartPublishing(Settings(true, false));
    ASSERT_TRUE(sub.WaitFor("orvex/1234/input1", 1));
    ASSERT_TRUE(sub.WaitFor(kInternalSensor, 1));
    const auto refused = Events(MqttEvent::Type::CommandsRefused);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_NE(refused[0].detail.find("[MQTT] COMMANDS"), std::string::npos);
    EXPECT_NE(refused[0].detail.find("TLS=0"), std::string::npos);
    EXPECT_NE(refused[0].detail.find("COMMANDS_INSECURE=1"), std::string::npos);

    sim->ClearLog();
    CommandThenHaOnline(sub, R"({"internal": 0})", kInternalSensor);
    CommandThenHaOnline(sub, "{}", kInternalSensor);
    EXPECT_TRUE(sub.On(kResult).empty());
    EXPECT_TRUE(sub.On(kInternalSwitch).empty());
    EXPECT_EQ(DeviceAlarms(), std::make_pair(1, 0));
}

// Closing the window or changing the settings stops the service: that must not wait for a
// command stuck behind a silent device (a Modbus time-out per request), and the command is
// answered as interrupted, not as a device failure. The polling goes on meanwhile.
TEST_F(AlarmCommandTest, StopDoesNotWaitForACommandHeldByASilentDevice) {
    StartSim("device serial=1234\nreg 6 0\nreg 7 0\n");
    StartDriver();
    ASSERT_TRUE(WaitForFirstPublication());
    Subscriber sub(broker->Port(), {"orvex/#"});
    ASSERT_TRUE(sub.WaitConnected());
    StartPublishing(Settings(true, true));
    ASSERT_TRUE(sub.WaitFor(kAlarms, 1));

    sim->Command("fault silence");
    sim->ClearLog();
    sub.Publish(kSet, R"({"internal": 1})");
    ASSERT_TRUE(WaitUntil([this] { return submitted == 1; }));
    // An alarm read now waits for the silent device: the command's, or a periodic one with
    // the command queued behind it. Either way the stop must not wait, and the command is
    // answered.
    ASSERT_TRUE(WaitUntil([this] { return Count(Requests(), "3 6 1") > 0; }, 20000ms));
    const auto start = std::chrono::steady_clock::now();
    alarms->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);  // a time-out alone is 5.5 s

    ASSERT_TRUE(sub.WaitFor(kResult, 1));
    EXPECT_NE(
        sub.On(kResult)[0].payload.find(
            R"("result": "failed", "message": "Polecenie przerwane: publikowanie zatrzymano")"),
        std::string::npos)
        << sub.On(kResult)[0].payload;
    EXPECT_EQ(Count(Requests(), "6 6 1"), 0);
    sim->Command("fault none");
    EXPECT_TRUE(WaitUntil([this] { return driver->IsDeviceResponding(); }));
    EXPECT_EQ(DeviceAlarms(), std::make_pair(0, 0));
}

}  // namespace
