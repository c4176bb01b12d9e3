// orvex-recorder publishing with no recording file: a port and [MQTT] ENABLED=1 are enough.
#include <signal.h>

#include <thread>

#include "tests/publish/Broker.h"
#include "tests/recorder/RecorderFixture.h"

namespace {

using namespace std::chrono_literals;

const char* const kConfig = R"(device id=23073 serial=4711
input 1 type=1 serial=101 valid=3 values=45.3,-2.5
)";

class RecorderPublishTest : public RecorderFixture {};

TEST_F(RecorderPublishTest, PublishesEveryCycleAndSaysOfflineAtTheStop) {
    Broker broker(dir / "broker", {});
    ASSERT_TRUE(broker.Start());
    Subscriber sub(broker.Port(), {"orvex/4711/#"});
    ASSERT_TRUE(sub.WaitConnected());
    sim = std::make_unique<SimProcess>(SimOptions{kConfig, {}});
    sim->LinkAs(dir / "ports", 7);
    WriteFile(dir / "orvex.ini",
              "[GENERAL]\r\nPORT_NR=7\r\nPORT_SPEED=9600\r\n[MQTT]\r\nENABLED=1"
              "\r\nHOST=127.0.0.1\r\nPORT=" +
                  std::to_string(broker.Port()) + "\r\n");
    auto recorder = Start();
    ASSERT_TRUE(sub.WaitFor("orvex/4711/input1", 2, 20000)) << recorder->Output();
    EXPECT_NE(sub.On("orvex/4711/input1")[0].payload.find(
                  R"("model": "TQ21", "serial": 101, "values": {"humidity": {"value": 45.3)"),
              std::string::npos);
    EXPECT_TRUE(recorder->WaitForLine("MQTT: połączono", 1s)) << recorder->Output();
    recorder->Signal(SIGTERM);
    EXPECT_EQ(recorder->WaitForExit(10s), 0);
    ASSERT_TRUE(sub.WaitFor("orvex/4711/status", 2));
    EXPECT_EQ(sub.On("orvex/4711/status").back().payload, "offline");
    EXPECT_FALSE(std::filesystem::exists(textPath));
}

TEST_F(RecorderPublishTest, UnusablePrefixOrClientIdIsRefusedNamingTheKey) {
    for (const auto& [line, key] :
         {std::pair{std::string("TOPIC_PREFIX=zaklad/site1/"), "TOPIC_PREFIX"},
          std::pair{std::string("TOPIC_PREFIX=a/+/b"), "TOPIC_PREFIX"},
          std::pair{"CLIENT_ID=" + std::string(300, 'x'), "CLIENT_ID"}}) {
        WriteFile(dir / "orvex.ini",
                  "[GENERAL]\r\nPORT_NR=7\r\nPORT_SPEED=9600\r\n[MQTT]\r\nENABLED=1\r\n"
                  "HOST=127.0.0.1\r\n" +
                      line + "\r\n");
        auto recorder = Start();
        EXPECT_EQ(recorder->WaitForExit(10s), 78) << line;
        EXPECT_NE(recorder->Output().find(std::string("[MQTT] ") + key + ":"), std::string::npos)
            << recorder->Output();
    }
    // Publishing off: the section's values are not used, so they stop nothing.
    WriteFile(
        dir / "orvex.ini",
        "[GENERAL]\r\nPORT_NR=7\r\nPORT_SPEED=9600\r\n[LOG]\r\nFILE_NAME=" + textPath.string() +
            "\r\nFILE_LOG=1\r\n[MQTT]\r\nENABLED=0\r\nTOPIC_PREFIX=/x\r\n");
    StartSim();
    auto recorder = Start();
    EXPECT_TRUE(recorder->WaitForLine("starting with", 10s)) << recorder->Output();
    recorder->Signal(SIGTERM);
    EXPECT_EQ(recorder->WaitForExit(10s), 0);
}

TEST_F(RecorderPublishTest, AlarmCommandsAreCarriedOutOrRefusedNamingTheKey) {
    Broker broker(dir / "broker", {});
    ASSERT_TRUE(broker.Start());
    Subscriber sub(broker.Port(), {"orvex/4711/#"});
    ASSERT_TRUE(sub.WaitConnected());
    sim = std::make_unique<SimProcess>(SimOptions{std::string(kConfig) + "reg 7 1\n", {}});
    sim->LinkAs(dir / "ports", 7);
    const std::string section =
        "[GENERAL]\r\nPORT_NR=7\r\nPORT_SPEED=9600\r\n[MQTT]\r\nENABLED=1"
        "\r\nHOST=127.0.0.1\r\nCOMMANDS=1\r\nPORT=" +
        std::to_string(broker.Port()) + "\r\n";
    {
        // Over a plain connection without a user: refused, and publishing goes on.
        WriteFile(dir / "orvex.ini", section);
        auto recorder = Start();
        EXPECT_TRUE(recorder->WaitForLine(
            "MQTT: [MQTT] COMMANDS: polecenia alarmów odrzucone: połączenie z brokerem bez "
            "szyfrowania TLS (TLS=0)",
            10s))
            << recorder->Output();
        ASSERT_TRUE(sub.WaitFor("orvex/4711/alarms", 1, 20000)) << recorder->Output();
        EXPECT_NE(sub.On("orvex/4711/alarms")[0].payload.find(R"("internal": 0, "external": 1})"),
                  std::string::npos);
        recorder->Signal(SIGTERM);
        EXPECT_EQ(recorder->WaitForExit(10s), 0);
    }
    // The broker has the new run's subscription once its "online" is here: the subscription
    // goes out before it.
    const std::string status = "orvex/4711/status";
    ASSERT_TRUE(sub.WaitFor(status, 2));
    for (int i = 0; i < 100 && sub.On(status).back().payload != "offline"; ++i) {
        std::this_thread::sleep_for(100ms);
    }
    ASSERT_EQ(sub.On(status).back().payload, "offline");
    const std::size_t before = sub.On(status).size();
    WriteFile(dir / "orvex.ini", section + "COMMANDS_INSECURE=1\r\n");
    auto recorder = Start();
    ASSERT_TRUE(sub.WaitFor(status, before + 1, 20000)) << recorder->Output();
    ASSERT_EQ(sub.On(status).back().payload, "online");
    sub.Publish("orvex/4711/alarms/set", R"({"internal": 1})");
    ASSERT_TRUE(sub.WaitFor("orvex/4711/alarms/result", 1, 20000)) << recorder->Output();
    EXPECT_NE(sub.On("orvex/4711/alarms/result")[0].payload.find(
                  R"("result": "ok", "message": null, "internal": 1, "external": 1})"),
              std::string::npos)
        << sub.On("orvex/4711/alarms/result")[0].payload;
    EXPECT_TRUE(recorder->WaitForLine("MQTT: polecenie alarmów {\"internal\": 1}: wykonane", 10s))
        << recorder->Output();
    recorder->Signal(SIGTERM);
    EXPECT_EQ(recorder->WaitForExit(10s), 0);
}

}  // namespace
