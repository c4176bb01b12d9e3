// orvex-recorder publishing with no recording file: a port and [MQTT] ENABLED=1 are enough.
#include <signal.h>

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

}  // namespace
